#include "ColmapDetailTable.h"

#include <QFile>
#include <algorithm>
#include <cmath>

namespace tovarine::ColmapDetailTable {

using Detail = PhotogrammetrySession::Detail;

ColmapLevelSettings settingsFor(Detail detail, const PhotogrammetrySession::CustomDetailSpecification& custom)
{
    switch (detail) {
    case Detail::preview:
        return {640, 1024, 8, 5, 10'000};
    case Detail::reduced:
        return {1024, 2048, 9, 5, 30'000, 0, 1024};
    case Detail::medium:
        return {1600, 4096, 9, 5, 250'000, 0, 2048};
    case Detail::full:
        return {3200, 8192, 10, 5, 1'000'000, 1600, 4096};
    case Detail::raw:
        return {0, 16384, 10, 5, 0, 1600, 8192};
    case Detail::custom: {
        ColmapLevelSettings settings{0, 16384, 10, 5, 0, 1600};
        settings.maxTriangles = static_cast<std::size_t>(std::max(custom.maximumPolygonCount, 0));
        using Dimension = PhotogrammetrySession::TextureDimension;
        const bool diffuse = custom.outputTextureMaps.isEmpty() ||
                             custom.outputTextureMaps.contains(PhotogrammetrySession::TextureMap::diffuseColor);
        const Dimension d = custom.maximumTextureDimension;
        const int side = d == Dimension::oneK    ? 1024
                         : d == Dimension::twoK  ? 2048
                         : d == Dimension::fourK ? 4096
                                                 : 8192;
        settings.textureSizePx = diffuse ? std::min(side, kMaxTextureSizePx) : 0;
        settings.textureJpeg = custom.textureFormat == PhotogrammetrySession::TextureFormat::jpeg;
        return settings;
    }
    }
    return {1600, 4096, 9, 5, 250'000};
}

bool useExhaustiveMatching(int frameCount, PhotogrammetrySession::SampleOrdering ordering)
{
    return frameCount <= kExhaustiveMaxFrames || ordering == PhotogrammetrySession::SampleOrdering::unordered;
}

int extractionThreads(int imageSizePx, qint64 availableMemoryBytes, int maxThreads)
{
    constexpr double kGiB = 1024.0 * 1024.0 * 1024.0;
    const double side = std::max(imageSizePx, 640) / 3200.0;
    const double perThread = (2.2 * side * side + 0.1) * kGiB;
    const double budget = static_cast<double>(availableMemoryBytes) * kMemoryShare;
    const int fits = static_cast<int>(std::floor(budget / perThread));
    return std::clamp(fits, 1, std::max(maxThreads, 1));
}

qint64 availableMemoryBytes()
{
    QFile meminfo(QStringLiteral("/proc/meminfo"));
    if (!meminfo.open(QIODevice::ReadOnly)) {
        return kMemoryBudgetBytes;
    }
    for (const QByteArray& line : meminfo.readAll().split('\n')) {
        if (line.startsWith("MemAvailable:")) {
            const QList<QByteArray> f = line.simplified().split(' ');
            bool ok = false;
            const qint64 kib = f.value(1).toLongLong(&ok);
            if (ok) {
                return kib * 1024;
            }
        }
    }
    return kMemoryBudgetBytes;
}

} // namespace tovarine::ColmapDetailTable

namespace tovarine::ColmapDetailTable {

int poissonTrim(int levelTrim, std::size_t pointCount)
{
    const double supportedDepth = std::log2(static_cast<double>(std::max<std::size_t>(pointCount, 1))) / 2.0;
    return std::clamp(static_cast<int>(std::floor(supportedDepth)) - 2, 0, std::max(levelTrim, 0));
}

} // namespace tovarine::ColmapDetailTable

namespace tovarine::ColmapDetailTable {

int poissonThreads(std::size_t pointCount, int maxThreads)
{
    constexpr std::size_t kSmallCloudPoints = 50'000;
    return pointCount < kSmallCloudPoints ? 1 : std::max(maxThreads, 1);
}

} // namespace tovarine::ColmapDetailTable
