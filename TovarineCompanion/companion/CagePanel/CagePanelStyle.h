#pragma once

#include <QColor>
#include <QFont>
#include <QPixmap>
#include <QString>

// The cage panel's look, matching the main window's dark result view: colours, faces (sizes in pixels) and
// the two status symbols. GUI thread only (pixmaps).
namespace tovarine::CagePanelStyle {

inline const QColor kYellow{255, 214, 10};
inline const QColor kGreen{48, 209, 88};

enum class Face { system, monospaced };
QFont font(Face face, int pixelSize);

// A style-sheet colour, "rgba(r, g, b, a)", of `color` at `opacity` (0...1).
QString css(const QColor& color, double opacity = 1.0);

// The style sheet of the panel's push buttons.
QString buttonStyleSheet();

// An outlined circle with a check inside.
QPixmap checkmarkCircle(int sizePx, const QColor& color);
// An outlined triangle with an exclamation mark inside.
QPixmap exclamationTriangle(int sizePx, const QColor& color);

} // namespace tovarine::CagePanelStyle
