#include "OstrelPreferences.h"

#include "OstrelNumberFormat.h"
#include "PrefsKey.h"

#include <cmath>

namespace ostrel::OstrelPreferences {

QString lickableLabel(double x)
{
    if (x == 0.0) {
        return QStringLiteral("NotLickable");
    }
    if (x < 0.26) {
        return QStringLiteral("Barely Damp");
    }
    if (x < 0.51) {
        return QStringLiteral("Dewy");
    }
    if (x < 0.76) {
        return QStringLiteral("Glossy");
    }
    if (x < 0.99) {
        return QStringLiteral("Lickable");
    }
    return QStringLiteral("LustLickable \u2726");
}

bool swatchOutlined(double swatchValue, double intensity)
{
    return std::abs(swatchValue - intensity) < 0.13;
}

QString sidebarWidthText(double widthPt)
{
    // Adding +0.0 turns the -0 of a small negative width into 0.
    return OstrelNumberFormat::fixed(std::trunc(widthPt) + 0.0, 0) + QStringLiteral("pt");
}

QString scaleText(double value)
{
    return OstrelNumberFormat::fixed(value, 1);
}

void resetAll(UserDefaults& store)
{
    store.setValue(PrefsKey::lickableIntensity, kLickableIntensityDefault);
    store.setValue(PrefsKey::vorraLick, false);
    store.setValue(PrefsKey::sidebarWidth, kSidebarWidthDefault);
    store.setValue(PrefsKey::uiScale, kUiScaleDefault);
    store.setValue(PrefsKey::labelScale, kLabelScaleDefault);
    store.setValue(PrefsKey::reducedMotion, false);
}

} // namespace ostrel::OstrelPreferences
