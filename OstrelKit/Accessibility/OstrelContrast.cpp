#include "OstrelContrast.h"

#include "OstrelNumberFormat.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace ostrel::OstrelContrast {

namespace {

double linearised(double c)
{
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

struct Srgb
{
    double red, green, blue;
};

std::optional<Srgb> toSrgb(const QColor& color)
{
    if (!color.isValid()) {
        return std::nullopt;
    }
    const QColor rgb = color.toRgb();
    const auto inRange = [](float c) { return c >= 0.0f && c <= 1.0f && std::isfinite(c); };
    // ExtendedRgb colours keep components beyond 0…1: those lie outside sRGB.
    if (color.spec() == QColor::ExtendedRgb &&
        !(inRange(color.redF()) && inRange(color.greenF()) && inRange(color.blueF()))) {
        return std::nullopt;
    }
    return Srgb{rgb.redF(), rgb.greenF(), rgb.blueF()};
}

double luminance(const Srgb& c)
{
    return relativeLuminance(c.red, c.green, c.blue);
}

QString lineFor(const std::optional<double>& r, const QString& label)
{
    if (!r) {
        return QStringLiteral("[%1] could not compute contrast (color space issue)").arg(label);
    }
    const auto verdict = [](bool pass) { return pass ? QStringLiteral("PASS") : QStringLiteral("FAIL"); };
    return QStringLiteral("[%1] contrast %2:1 \u2014 AA: %3, AAA: %4")
        .arg(label, OstrelNumberFormat::fixed(*r, 2), verdict(*r >= 4.5), verdict(*r >= 7.0));
}

void print(const QString& line)
{
    std::fputs((line + QLatin1Char('\n')).toUtf8().constData(), stdout);
}

} // namespace

double relativeLuminance(double red, double green, double blue)
{
    return 0.2126 * linearised(red) + 0.7152 * linearised(green) + 0.0722 * linearised(blue);
}

double ratio(double luminance1, double luminance2)
{
    const auto [low, high] = std::minmax(luminance1, luminance2);
    return (high + 0.05) / (low + 0.05);
}

std::optional<double> ratio(const QColor& first, const QColor& second)
{
    const auto a = toSrgb(first);
    const auto b = toSrgb(second);
    if (!a || !b) {
        return std::nullopt;
    }
    return ratio(luminance(*a), luminance(*b));
}

bool meetsAA(const QColor& foreground, const QColor& background)
{
    const auto r = ratio(foreground, background);
    return r && *r >= 4.5;
}

bool meetsAAA(const QColor& foreground, const QColor& background)
{
    const auto r = ratio(foreground, background);
    return r && *r >= 7.0;
}

QString auditLine(const QColor& color, const QColor& background, const QString& label)
{
    return lineFor(ratio(color, background), label);
}

QStringList standardPaletteLines()
{
    // Exact components (a QColor would round them to 16 bits), so the ratios are those of the stated values.
    struct Audited
    {
        const char* label;
        Srgb color;
    };
    static constexpr Audited colours[] = {
        {"Gold", {0.84, 0.72, 0.35}},     {"Gold Light", {0.97, 0.90, 0.60}}, {"Teal", {0.30, 0.90, 0.95}},
        {"Amber", {0.94, 0.75, 0.38}},    {"Cream", {0.94, 0.88, 0.75}},      {"Red", {0.90, 0.25, 0.20}},
        {"Green", {0.30, 0.95, 0.60}},    {"Warning", {0.95, 0.70, 0.10}},    {"White", {1.0, 1.0, 1.0}},
        {"Gray 70%", {0.70, 0.70, 0.70}}, {"Gray 50%", {0.50, 0.50, 0.50}},
    };
    constexpr Srgb background{0.09, 0.08, 0.12};
    constexpr Srgb surface{0.14, 0.13, 0.19};
    QStringList lines{QStringLiteral("\u2550\u2550\u2550 Ostrel Palette Contrast Audit \u2550\u2550\u2550"),
                      QStringLiteral("\u2500\u2500 Against ostrelBg (0.09, 0.08, 0.12) \u2500\u2500")};
    for (const auto& c : colours) {
        lines << lineFor(ratio(luminance(c.color), luminance(background)),
                         QString::fromUtf8(c.label) + QStringLiteral(" on Bg"));
    }
    lines << QStringLiteral("\u2500\u2500 Against ostrelSurface (0.14, 0.13, 0.19) \u2500\u2500");
    for (const auto& c : colours) {
        lines << lineFor(ratio(luminance(c.color), luminance(surface)),
                         QString::fromUtf8(c.label) + QStringLiteral(" on Surface"));
    }
    return lines;
}

void audit(const QColor& color, const QColor& background, const QString& label)
{
    print(auditLine(color, background, label));
    std::fflush(stdout);
}

void auditStandardPalette()
{
    for (const QString& line : standardPaletteLines()) {
        print(line);
    }
    std::fflush(stdout);
}

} // namespace ostrel::OstrelContrast
