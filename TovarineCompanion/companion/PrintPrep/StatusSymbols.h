#pragma once

#include <QColor>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QString>

// The status symbols of the result panels' status lines: one mapping from a status to its symbol name,
// colour and drawing, so every panel shows the same marks. GUI thread only (pixmaps).
namespace tovarine::StatusSymbols {

enum class Status { ok, warning };

// "checkmark.circle" or "exclamationmark.triangle".
QString symbolName(Status status);

// Green for ok, yellow for a warning.
QColor color(Status status);

// The symbol drawn in its colour, `sizePx` square (device pixel ratio 1): an outlined circle with a check,
// or an outlined triangle with an exclamation mark.
QPixmap pixmap(Status status, int sizePx);

// Drawing pieces shared with the other windows' own symbol sets, each of which keeps its proportions.

// A transparent pixmap `sizePx` logical pixels square, drawn at `scale` device pixels per logical pixel.
QPixmap blank(int sizePx, qreal scale = 1.0);

// The check stroke of an `s`-pixel square: (0.3, 0.52) s to (0.44, 0.66) s to (0.7, 0.36) s.
QPainterPath checkPath(qreal s);

// Proportions of an exclamation triangle, as fractions of its size.
struct TriangleProportions
{
    qreal stroke; // line width; also the apex's and the base corners' inset
    qreal barEnd; // the bar runs from 0.38 down to here
    qreal dot;    // centre of the dot (radius 0.7 strokes)
};

// An outlined triangle with an exclamation mark in `color`, base at 0.9 of the size, on a blank(sizePx,
// scale) pixmap.
QPixmap exclamationTriangle(int sizePx, qreal scale, const QColor& color, const TriangleProportions& shape);

} // namespace tovarine::StatusSymbols
