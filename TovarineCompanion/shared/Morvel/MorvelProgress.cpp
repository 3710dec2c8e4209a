#include "MorvelProgress.h"

#include <array>
#include <utility>

namespace tovarine::MorvelProgress {

std::optional<Step> nextStep(const QString& name)
{
    static const std::array<std::pair<const char*, const char16_t*>, 9> kTable{{
        {"loaded", u"Checking the scan\u2026"},
        {"prepare", u"Closing tunnels and holes\u2026"},
        {"topology", u"Reducing the scan\u2026"},
        {"decimate", u"Finding hard edges\u2026"},
        {"features", u"Laying out quads (QuadriFlow)\u2026"},
        {"reflow", u"Building the cage\u2026"},
        {"cage", u"Fitting the cage\u2026"},
        {"refit", u"Measuring deviation\u2026"},
        {"measure", u"Writing .3dm and .vellacot\u2026"},
    }};
    for (std::size_t i = 0; i < kTable.size(); ++i) {
        if (name == QLatin1String(kTable[i].first)) {
            const double position = static_cast<double>(i + 1);
            return Step{QString::fromUtf16(kTable[i].second), position * 0.9 / 10 + 0.08};
        }
    }
    return std::nullopt;
}

} // namespace tovarine::MorvelProgress
