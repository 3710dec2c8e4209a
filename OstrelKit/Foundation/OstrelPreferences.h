#pragma once

#include "UserDefaults.h"

#include <QString>

#include <array>

// The display-free rules of the kit's Preferences form: the intensity caption, the swatches, the value texts
// and the reset. Any thread (the store serialises its own access).
namespace ostrel::OstrelPreferences {

// The intensity swatches, in order.
inline constexpr std::array<double, 5> kSwatchValues{0.0, 0.25, 0.5, 0.75, 1.0};

// Defaults the form shows while a key is absent.
inline constexpr double kLickableIntensityDefault = 0.0;
inline constexpr double kSidebarWidthDefault = 340.0;
inline constexpr double kUiScaleDefault = 1.0;
inline constexpr double kLabelScaleDefault = 1.0;

// "NotLickable" at exactly 0, then "Barely Damp" below 0.26 (negative values too), "Dewy" below 0.51,
// "Glossy" below 0.76, "Lickable" below 0.99, "LustLickable ✦" otherwise.
QString lickableLabel(double intensity);

// A swatch is outlined while it lies less than 0.13 from the intensity (two neighbours can both be).
bool swatchOutlined(double swatchValue, double intensity);

// The sidebar width as a whole number (fraction dropped toward zero) followed by "pt": 299.9 → "299pt".
QString sidebarWidthText(double widthPt);

// The scales' one-decimal text ("%.1f").
QString scaleText(double value);

// Writes the six kit defaults in order: lickableIntensity 0.0, vorraLick false, sidebarWidth 340.0,
// uiScale 1.0, labelScale 1.0, reducedMotion false. Leaves iconScale and every other key alone.
void resetAll(UserDefaults& store);

} // namespace ostrel::OstrelPreferences
