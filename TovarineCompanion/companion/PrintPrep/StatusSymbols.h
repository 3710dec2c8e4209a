#pragma once

#include <QColor>
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

// The symbol drawn in its colour, `sizePx` square (device pixel ratio 1), with the kit's status drawing.
QPixmap pixmap(Status status, int sizePx);

} // namespace tovarine::StatusSymbols
