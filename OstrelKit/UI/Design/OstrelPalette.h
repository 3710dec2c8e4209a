#pragma once

#include <QColor>

// The kit's nine named colours: fixed sRGB values at full opacity, built once on first use and shared.
// They never follow the desktop's light or dark appearance. Any thread (each value is a function-local
// constant initialised thread-safely).
namespace ostrel::OstrelPalette {

const QColor& ostrelGold();
const QColor& ostrelGoldLight();
const QColor& ostrelGoldDark();
const QColor& ostrelGoldDeep();
const QColor& ostrelPurpleLight();
const QColor& ostrelSurface();
const QColor& ostrelAmber();
const QColor& ostrelCream();
const QColor& ostrelRed();

// An sRGB colour from components on the 0…1 scale.
QColor srgb(double red, double green, double blue, double opacity = 1.0);

// `color` with its opacity multiplied by `factor` (0…1).
QColor withOpacity(const QColor& color, double factor);

} // namespace ostrel::OstrelPalette
