#include "OstrelPalette.h"

namespace ostrel::OstrelPalette {

QColor srgb(double red, double green, double blue, double opacity)
{
    return QColor::fromRgbF(float(red), float(green), float(blue), float(opacity));
}

QColor withOpacity(const QColor& color, double factor)
{
    QColor result = color;
    result.setAlphaF(float(color.alphaF() * factor));
    return result;
}

const QColor& ostrelGold()
{
    static const QColor c = srgb(0.84, 0.72, 0.35);
    return c;
}

const QColor& ostrelGoldLight()
{
    static const QColor c = srgb(0.97, 0.90, 0.60);
    return c;
}

const QColor& ostrelGoldDark()
{
    static const QColor c = srgb(0.52, 0.40, 0.12);
    return c;
}

const QColor& ostrelGoldDeep()
{
    static const QColor c = srgb(0.78, 0.54, 0.16);
    return c;
}

const QColor& ostrelPurpleLight()
{
    static const QColor c = srgb(0.60, 0.22, 0.75);
    return c;
}

const QColor& ostrelSurface()
{
    static const QColor c = srgb(0.14, 0.13, 0.19);
    return c;
}

const QColor& ostrelAmber()
{
    static const QColor c = srgb(0.94, 0.75, 0.38);
    return c;
}

const QColor& ostrelCream()
{
    static const QColor c = srgb(0.94, 0.88, 0.75);
    return c;
}

const QColor& ostrelRed()
{
    static const QColor c = srgb(0.90, 0.25, 0.20);
    return c;
}

} // namespace ostrel::OstrelPalette
