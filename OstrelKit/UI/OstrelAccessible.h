#pragma once

#include <QString>
#include <functional>
#include <optional>

class QAbstractSlider;
class QWidget;

// Gives any widget the spoken label, hint, value and tooltip that assistive technology and the pointer show,
// the same way for every kit control. GUI thread only.
namespace ostrel {

// Spoken label `label`; spoken hint `hint` (empty when absent, not the tooltip); tooltip the hint, or the
// label without one. A button keeps its states and actions. The empty hint holds for buttons and plain
// widgets; other Qt widgets (text fields, labels) keep their own faces, which speak the tooltip as the hint
// when the description is empty.
void ostrelAccessible(QWidget* widget, const QString& label,
                      const std::optional<QString>& hint = std::nullopt);

// For a widget that acts as a switch: spoken label `label`, spoken value "On" or "Off", the selected state
// while on, and the tooltip "<label>: On" or "<label>: Off". Call again when the switch changes. A check
// box (or any button) keeps what it tells assistive technology itself: checkable, checked and its toggle
// action.
void ostrelAccessibleToggle(QWidget* widget, const QString& label, bool isOn);

// Sets the value assistive technology speaks for `widget` (used by the two functions above and the slider).
// A face Qt made of the widget before is replaced by the kit's.
void setSpokenValue(QWidget* widget, const QString& value);

// What assistive technology reads and sets on a slider whose integer positions stand for a double value: the
// value itself, its range, the step one key press moves, the text to speak for it, and how to set it.
struct SpokenSliderModel
{
    std::function<double()> value;
    std::function<void(double)> setValue;
    std::function<QString()> text;
    double lower = 0.0;
    double upper = 1.0;
    double step = 0.0; // what one arrow key moves
};

// Makes `slider` speak as a slider of doubles: its accessible value is model.value() (with the range and
// step), its spoken value text model.text(), and a value set by assistive technology goes to
// model.setValue(). The widget's own accessible name and description stay its label and hint (an empty
// description is an empty hint, not the tooltip). A face Qt made of the slider before is replaced.
void setSpokenSlider(QAbstractSlider* slider, SpokenSliderModel model);
// Tells assistive technology that the value of a slider given a model above has changed.
void spokenSliderChanged(QAbstractSlider* slider);

// The spoken value and selected state as the accessibility layer reports them (what a screen reader reads).
QString spokenValue(QWidget* widget);
bool spokenSelected(QWidget* widget);

} // namespace ostrel
