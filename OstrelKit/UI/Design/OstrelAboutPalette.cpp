#include "OstrelAboutPalette.h"

#include "OstrelPalette.h"

namespace ostrel {

const OstrelAboutPalette& OstrelAboutPalette::defaultPalette()
{
    using namespace OstrelPalette;
    static const OstrelAboutPalette palette{
        srgb(0.055, 0.04, 0.09),
        {srgb(0.78, 0.54, 0.16), srgb(0.94, 0.75, 0.38), srgb(0.55, 0.34, 0.08), srgb(0.78, 0.54, 0.16)},
        srgb(0.18, 0.12, 0.28),
        srgb(0.08, 0.05, 0.14),
        withOpacity(ostrelGoldDark(), 0.5),
        ostrelCream(),
        ostrelAmber(),
        srgb(0.48, 0.38, 0.26),
        srgb(0.45, 0.35, 0.22),
        withOpacity(ostrelAmber(), 0.7),
        srgb(0.70, 0.58, 0.38),
        srgb(0.40, 0.30, 0.55),
    };
    return palette;
}

} // namespace ostrel
