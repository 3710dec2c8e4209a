#include "HelpTheme.h"

#include "OstrelPalette.h"

namespace ostrel {

const HelpTheme& HelpTheme::defaultTheme()
{
    using OstrelPalette::srgb;
    static const HelpTheme theme{
        srgb(0.06, 0.05, 0.09),      // background
        srgb(0.10, 0.09, 0.14),      // surface
        srgb(0.75, 0.73, 0.80),      // text
        QColor(Qt::white),           // textBright
        srgb(0.45, 0.43, 0.50),      // textDim
        srgb(0.84, 0.72, 0.35),      // accent
        srgb(0.84, 0.72, 0.35, 0.5), // accentDim
    };
    return theme;
}

} // namespace ostrel
