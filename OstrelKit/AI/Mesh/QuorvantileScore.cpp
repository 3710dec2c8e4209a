#include "QuorvantileScore.h"

#include <algorithm>

namespace ostrel::QuorvantileScore {

QString modelBase(const QString& name)
{
    const QStringList pieces = name.split(u':', Qt::SkipEmptyParts);
    return pieces.isEmpty() ? name : pieces.first();
}

std::optional<double> score(const QuorvantileNode& node, const QStringList& preferredModels, bool localNode)
{
    const qsizetype n = preferredModels.size();
    if (n == 0) {
        return std::nullopt;
    }
    const QuorvantileManifest& manifest = node.manifest();
    const QString* match = nullptr;
    for (const QString& preferred : preferredModels) {
        const QString base = modelBase(preferred);
        const bool served = std::any_of(manifest.ollamaModels().begin(), manifest.ollamaModels().end(),
                                        [&](const QString& model) { return model.startsWith(base); });
        if (served) {
            match = &preferred;
            break;
        }
    }
    if (!match) {
        return std::nullopt;
    }
    const qsizetype k = preferredModels.indexOf(*match);
    const double modelTerm = kModelWeight * (1.0 - static_cast<double>(k) / static_cast<double>(n));
    const auto& vram = manifest.gpuVRAMMB();
    const double memoryTerm =
        (!vram || *vram < 1) ? kUnknownMemoryValue
                             : kMemoryWeight * std::min(static_cast<double>(*vram) / kMemoryScaleMB, 1.0);
    const double loadTerm = kLoadWeight * (1.0 - manifest.currentLoad());
    return modelTerm + memoryTerm + loadTerm + (localNode ? kLocalBonus : 0.0);
}

} // namespace ostrel::QuorvantileScore
