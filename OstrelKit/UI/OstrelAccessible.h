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
// A face Qt made of the widget before is replaced by the kit's. The change is announced the way the face can
// carry it: a switch's as a change of its selected state (a check box announces its checked state itself);
// a value that is not a number is read when asked for, never announced as a value change.
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
    double step = 0.0;        // what one arrow key moves
    qsizetype numberFrom = 0; // where in text() its number begins (after a format's literal text)
    // The slider stops only on steps: assistive technology's Increase and Decrease then move it one step, as
    // one arrow key does. Otherwise they move it one unit of the shown number's last digit (see below).
    bool stepped = false;
};

// Makes `slider` speak as a slider of doubles: its spoken value text is model.text(), and a value set by
// assistive technology goes to model.setValue(). The widget's own accessible name and description stay its
// label and hint (an empty description is an empty hint, not the tooltip). A face Qt made of the slider
// before is replaced.
// Its numbers (range, current value, minimum increment) are what a screen reader on this desktop reads: the
// AT-SPI bridge sends only these, never the text, and the reader writes the current value with as many
// decimals as the increment has. So where the text shows a number, the current value is that number as shown
// (a width of 299.9 shown "299pt" is 299) and the increment is one unit of its last digit (0.01 for "0.75",
// 1 for "299"), so the reader says the digits the text shows; the text's other words (a unit, a caption) do
// not reach it. Without a number in the text they are model.value() and model.step. The bridge carries out
// Increase and Decrease as the current value plus or minus that increment, which on a stepped slider would
// round back to the step it came from; a stepped slider's face does them itself, as one arrow key.
void setSpokenSlider(QAbstractSlider* slider, SpokenSliderModel model);
// Tells assistive technology that the value of a slider given a model above has changed.
void spokenSliderChanged(QAbstractSlider* slider);

// The spoken value and selected state as the accessibility layer reports them (what a screen reader reads).
QString spokenValue(QWidget* widget);
bool spokenSelected(QWidget* widget);

} // namespace ostrel
