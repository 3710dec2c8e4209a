#include "PreviewLook.h"

#include "OstrelNumberFormat.h"

#include <algorithm>
#include <cmath>

namespace tovarine::PreviewLook {

ShadingMode shadingMode(const QString& storedValue)
{
    if (storedValue == QLatin1String("albedo")) {
        return ShadingMode::albedo;
    }
    if (storedValue == QLatin1String("wireframe")) {
        return ShadingMode::wireframe;
    }
    return ShadingMode::lit;
}

float adjustChannel(float channel, float brightness, float contrast)
{
    return std::clamp((channel - 0.5f) * contrast + 0.5f + brightness, 0.0f, 1.0f);
}

QString brightnessLabel(double value)
{
    const long long n = std::llround(value * 100.0);
    if (n < 0) {
        return QString::number(n);
    }
    return QLatin1Char('+') + QString::number(n);
}

QString contrastLabel(double value)
{
    return ostrel::OstrelNumberFormat::fixed(value, 2) + QChar(0x00D7);
}

double resetOpacity(double value, double defaultValue)
{
    return std::abs(value - defaultValue) < kAtDefaultTolerance ? kResetOpacityAtDefault
                                                                : kResetOpacityChanged;
}

} // namespace tovarine::PreviewLook
