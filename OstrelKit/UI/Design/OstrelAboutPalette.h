#pragma once

#include <QColor>
#include <QList>

namespace ostrel {

// The About window's twelve colours. A palette given in a model replaces all twelve; there is no mixing
// with the defaults. Plain value; any thread.
struct OstrelAboutPalette
{
    QColor background;
    QList<QColor> accentBar; // top-to-bottom gradient of the left edge bar
    QColor iconBackgroundTop;
    QColor iconBackgroundBottom;
    QColor iconStroke;
    QColor appNameColor;
    QColor appNameAccentColor;
    QColor descriptorColor;
    QColor creditLabelColor;
    QColor creditValueColor;
    QColor bylineGreyColor;
    QColor versionColor;

    // The kit's default About palette, built once on first use.
    static const OstrelAboutPalette& defaultPalette();
};

} // namespace ostrel
