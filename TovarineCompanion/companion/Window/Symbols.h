#pragma once

#include <QColor>
#include <QPixmap>

// The few symbols the main window draws, as pixmaps of the given pixel size (device pixel ratio 1).
namespace tovarine::Symbols {

QPixmap warningTriangle(int sizePx, const QColor& color);
QPixmap checkmarkCircleFill(int sizePx, const QColor& color);
QPixmap gear(int sizePx, const QColor& color);

} // namespace tovarine::Symbols
