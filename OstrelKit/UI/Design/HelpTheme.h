#pragma once

#include <QColor>

namespace ostrel {

// The help window's seven colours. `defaultTheme()` is the kit's shared default (the record's `default`
// member; renamed because `default` is a C++ keyword), built once on first use. Any thread.
struct HelpTheme
{
    QColor background;
    QColor surface;
    QColor text;
    QColor textBright;
    QColor textDim;
    QColor accent;
    QColor accentDim;

    static const HelpTheme& defaultTheme();
};

} // namespace ostrel
