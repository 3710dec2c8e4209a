#pragma once

#include "OstrelAboutPalette.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace ostrel {

// The content of the About window, filled by the application; no validation. Plain value: the window keeps
// its own copy. Any thread.
struct OstrelAboutModel
{
    QString appName;       // first half of the name line and of the window title
    QString appNameAccent; // second half, drawn in the accent colour
    QString versionString; // shown unchanged
    QString descriptor;    // one line under the name
    QString tagline;       // animated line above the name
    QString tagline2;      // animated line below the descriptor
    QStringList emblems;   // short texts drawn in the icon tile (single emoji in practice)
    std::optional<OstrelAboutPalette> palette; // absent: OstrelAboutPalette::defaultPalette()

    const OstrelAboutPalette& effectivePalette() const
    {
        return palette ? *palette : OstrelAboutPalette::defaultPalette();
    }

    // "About " followed directly by appName and appNameAccent (no blank between the two names).
    QString windowTitle() const { return QStringLiteral("About ") + appName + appNameAccent; }
};

} // namespace ostrel
