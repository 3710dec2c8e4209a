#include "MorvelScanReader.h"

#include "UsdzFile.h"

#include <QtEndian>
#include <cstring>
#include <unordered_map>

namespace tovarine::MorvelScanReader {

namespace {

struct PointKey
{
    std::uint32_t x, y, z;
    bool operator==(const PointKey&) const = default;
};

struct PointKeyHash
{
    std::size_t operator()(const PointKey& k) const noexcept
    {
        std::uint64_t h = k.x;
        h = h * 0x9E3779B97F4A7C15ull ^ k.y;
        h = h * 0x9E3779B97F4A7C15ull ^ k.z;
        return static_cast<std::size_t>(h ^ (h >> 29));
    }
};

std::uint32_t bitsOf(float value)
{
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

} // namespace

QString Failure::localizedDescription() const
{
    switch (kind) {
    case Kind::noAsset:
        return QStringLiteral("the scan file could not be read");
    case Kind::noTriangles:
        return QStringLiteral("the scan has no triangles");
    case Kind::tooManyVertices:
        return QStringLiteral("the scan has too many vertices (4294967296 or more)");
    }
    return {};
}

Expected<MorvelScan, Failure> fromMesh(const ModelMesh& mesh, std::uint64_t maxWeldedVertices)
{
    const std::size_t sourceCount = mesh.positions.size() / 3;
    std::unordered_map<PointKey, std::uint32_t, PointKeyHash> weldMap;
    weldMap.reserve(sourceCount);
    std::vector<float> welded;
    welded.reserve(sourceCount * 3);
    std::vector<std::uint32_t> localToWelded(sourceCount);

    for (std::size_t i = 0; i < sourceCount; ++i) {
        const float x = mesh.positions[3 * i];
        const float y = mesh.positions[3 * i + 1];
        const float z = mesh.positions[3 * i + 2];
        const float mx = 1000.0f * x;
        const float my = -1000.0f * z;
        const float mz = 1000.0f * y;
        const PointKey key{bitsOf(mx), bitsOf(my), bitsOf(mz)};
        const auto found = weldMap.find(key);
        if (found != weldMap.end()) {
            localToWelded[i] = found->second;
            continue;
        }
        const std::uint64_t next = welded.size() / 3;
        if (next >= maxWeldedVertices) {
            return unexpected(Failure{Failure::Kind::tooManyVertices});
        }
        weldMap.emplace(key, static_cast<std::uint32_t>(next));
        welded.insert(welded.end(), {mx, my, mz});
        localToWelded[i] = static_cast<std::uint32_t>(next);
    }

    std::vector<std::uint32_t> indices;
    indices.reserve(mesh.indices.size());
    for (std::size_t t = 0; t + 2 < mesh.indices.size(); t += 3) {
        const std::uint32_t a = mesh.indices[t];
        const std::uint32_t b = mesh.indices[t + 1];
        const std::uint32_t c = mesh.indices[t + 2];
        if (a >= sourceCount || b >= sourceCount || c >= sourceCount) {
            continue;
        }
        indices.insert(indices.end(), {localToWelded[a], localToWelded[b], localToWelded[c]});
    }

    if (indices.empty() || welded.empty()) {
        return unexpected(Failure{Failure::Kind::noTriangles});
    }

    MorvelScan scan;
    scan.positions.resize(static_cast<qsizetype>(welded.size() * 4));
    scan.triangles.resize(static_cast<qsizetype>(indices.size() * 4));
    auto* positionBytes = reinterpret_cast<uchar*>(scan.positions.data());
    for (std::size_t i = 0; i < welded.size(); ++i) {
        qToLittleEndian(bitsOf(welded[i]), positionBytes + 4 * i);
    }
    auto* triangleBytes = reinterpret_cast<uchar*>(scan.triangles.data());
    for (std::size_t i = 0; i < indices.size(); ++i) {
        qToLittleEndian(indices[i], triangleBytes + 4 * i);
    }
    scan.vertexCount = static_cast<std::int64_t>(welded.size() / 3);
    scan.triangleCount = static_cast<std::int64_t>(indices.size() / 3);
    scan.sourceVertexCount = static_cast<std::int64_t>(sourceCount);
    return scan;
}

Expected<MorvelScan, Failure> read(const QString& usdzPath)
{
    const auto mesh = UsdzFile::read(usdzPath);
    if (!mesh) {
        return unexpected(Failure{Failure::Kind::noAsset});
    }
    return fromMesh(mesh.value());
}

} // namespace tovarine::MorvelScanReader
