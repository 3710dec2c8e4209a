#pragma once

#include <QColor>
#include <QFont>
#include <QString>

class QLabel;
class QLineEdit;
class QWidget;

// The result panels' look over the main window's dark result view: faces (sizes in pixels), colours and the
// number fields with their unit labels. GUI thread only.
namespace tovarine::PanelStyle {

inline const QColor kYellow{255, 214, 10};
inline const QColor kGreen{48, 209, 88};

// The system face, or the fixed-pitch one, at `pixelSize`.
QFont font(bool monospaced, int pixelSize);

// A style sheet for a label: white at `opacity` (0...1).
QString whiteText(double opacity);

// The style sheet of a rounded-border text field.
QString fieldStyleSheet();

// A right-aligned number field named `name`, `widthPx` wide, with the field style sheet.
QLineEdit* numberField(const QString& name, int widthPx);

// The empty unit label beside a number field: fixed-pitch 11 px, white at 60%.
QLabel* unitLabel();

// The room one line of fixed-pitch text at `pixelSize` takes in the result view, whatever the face: 1.2 times
// the size, rounded. The usual faces' own line boxes run from 1.1 to 1.4 times the size (the tall ones keep
// room for stacked accents above the letters), and the status lines that keep their room would otherwise take
// the model preview's room with the taller ones.
int monospacedLinePx(int pixelSize);

// Keeps `widget`'s room in its layout while it is hidden (a status line that appears after an action).
void keepPlaceWhenHidden(QWidget* widget);

// The style sheet of the panels' push buttons and of the segments of a segmented picker (checkable tool
// buttons; the checked one is lit).
QString buttonStyleSheet();

// The style sheet of a small slider tinted yellow.
QString sliderStyleSheet();

} // namespace tovarine::PanelStyle
