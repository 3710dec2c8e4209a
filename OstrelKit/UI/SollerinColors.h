#pragma once

#include <QColor>

namespace ostrel {

// The axis gizmo's colours (sRGB): one per axis and the disc behind them. Plain value type, any thread.
struct SollerinColors
{
    SollerinColors(QColor xAxis, QColor yAxis, QColor zAxis, QColor background);

    // Gold X, cyan Y, lavender-grey Z on a dark disc at 30% opacity; built once on first use.
    static const SollerinColors& defaultColors();

    QColor xAxis;
    QColor yAxis;
    QColor zAxis;
    QColor background;
};

} // namespace ostrel
