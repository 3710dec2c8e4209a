#pragma once

#include <QColor>
#include <QString>
#include <QStringList>

#include <optional>

// Contrast per the Web Content Accessibility Guidelines 2: relative luminance of sRGB colours, the contrast
// ratio, the AA (4.5) and AAA (7.0) thresholds for normal text, and a fixed audit of the kit's palette
// against two dark backgrounds printed to standard output. No state; any thread.
namespace ostrel::OstrelContrast {

// Relative luminance (0…1) of sRGB components on the 0…1 scale.
double relativeLuminance(double red, double green, double blue);

// (the larger + 0.05) / (the smaller + 0.05): 1…21, whatever the order of the arguments.
double ratio(double luminance1, double luminance2);

// The ratio of two colours, alpha ignored; absent when either colour cannot be expressed in sRGB (an
// invalid colour, or extended-range components outside 0…1).
std::optional<double> ratio(const QColor& first, const QColor& second);

// Ratio present and at least 4.5 (AA) or 7.0 (AAA).
bool meetsAA(const QColor& foreground, const QColor& background);
bool meetsAAA(const QColor& foreground, const QColor& background);

// The audit's line for one colour, without the line end:
// "[<label>] contrast <ratio %.2f>:1 — AA: PASS|FAIL, AAA: PASS|FAIL", or
// "[<label>] could not compute contrast (color space issue)".
QString auditLine(const QColor& color, const QColor& background, const QString& label);

// The palette report's 25 lines: heading, then eleven colours against the dark background and against the
// surface colour, each block under its own section line.
QStringList standardPaletteLines();

// Print auditLine() / standardPaletteLines() to standard output, one line each.
void audit(const QColor& color, const QColor& background, const QString& label);
void auditStandardPalette();

} // namespace ostrel::OstrelContrast
