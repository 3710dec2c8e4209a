#pragma once

#include <QColor>
#include <QFont>
#include <QString>

// The main window's look: its colours (the dark-scheme system colours) and faces, sizes in pixels.
namespace tovarine::WindowStyle {

inline const QColor kYellow{255, 214, 10};
inline const QColor kCyan{100, 210, 255};
inline const QColor kRed{255, 69, 58};
inline const QColor kGreen{48, 209, 88};

// `color` with its alpha set to `opacity` (0...1).
QColor withOpacity(const QColor& color, double opacity);
// A style-sheet colour, "rgba(r, g, b, a)".
QString css(const QColor& color);
QString css(const QColor& color, double opacity);

enum class Face { system, serif, monospaced };
QFont font(Face face, int pixelSize, QFont::Weight weight = QFont::Normal);

} // namespace tovarine::WindowStyle
