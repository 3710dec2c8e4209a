#pragma once

#include <QColor>
#include <QSize>
#include <QString>

class QFont;
class QLabel;
class QWidget;

// Shared set-up of the kit's floating windows. Each standard window is a top-level widget kept for the life
// of the process: closing only hides it. GUI thread only.
namespace ostrel::OstrelWindows {

// Makes `window` a floating top-level window: title bar with a close button (and maximise when
// `resizable`), kept above the application's ordinary windows where the window manager allows, not
// deleted on close, filled with `background`, with content size `sizePt` (points are device-independent
// pixels). A window that is not resizable gets a fixed size.
void prepareFloating(QWidget* window, const QString& title, QSize sizePt, const QColor& background,
                     bool resizable);

// Centres `window` on the screen it will appear on (the primary screen when it has none yet).
void centreOnScreen(QWidget* window);

// Shows `window` (again, restoring it when minimised) and brings it to the front as the active window.
void present(QWidget* window);

// Escape and the desktop's Close key (Ctrl+W) close `window` while it or one of its children has the focus.
void closeOnEscape(QWidget* window);

// Fills `widget`'s background with `color` through its palette.
void fillBackground(QWidget* widget, const QColor& color);

// Sets the text colour of a label or other text widget through its palette.
void setTextColor(QWidget* widget, const QColor& color);

// A label showing `text` as plain text (never rich text) in `font` and `color`.
QLabel* plainLabel(const QString& text, const QFont& font, const QColor& color, QWidget* parent);

// A line one pixel high filled with `color`, as wide as its layout makes it.
QWidget* hairline(const QColor& color, QWidget* parent);

// Draws `widget` and its children at `opacity` (0...1) through an opacity effect.
void fade(QWidget* widget, double opacity);

// Shows plain `text` in `label` with `extraPt` points of extra space between its lines (blanks and line
// breaks kept as typed, long lines wrapped). Set the label's font first.
void setLineSpacedText(QLabel* label, const QString& text, double extraPt);

// Gives every scroll bar under `widget` a slim bar in the window's own colours: `track` behind, `handle`
// for the thumb (the desktop's default style draws light bars that clash with the kit's dark windows).
void styleScrollBars(QWidget* widget, const QColor& track, const QColor& handle);

} // namespace ostrel::OstrelWindows
