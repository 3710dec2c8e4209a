#pragma once

#include <QString>

#include <optional>

class QWidget;

// Gives any widget the spoken label, hint, value and tooltip that assistive technology and the pointer show,
// the same way for every kit control. GUI thread only.
namespace ostrel {

// Spoken label `label`; spoken hint `hint` (empty when absent); tooltip the hint, or the label without one.
void ostrelAccessible(QWidget* widget, const QString& label,
                      const std::optional<QString>& hint = std::nullopt);

// For a widget that acts as a switch: spoken label `label`, spoken value "On" or "Off", the selected state
// while on, and the tooltip "<label>: On" or "<label>: Off". Call again when the switch changes.
void ostrelAccessibleToggle(QWidget* widget, const QString& label, bool isOn);

// Sets the value assistive technology speaks for `widget` (used by the two functions above and the slider).
// The first call must come before anything asks for the widget's accessible face (for a new widget: before
// setting its accessible name or showing it).
void setSpokenValue(QWidget* widget, const QString& value);

// The spoken value and selected state as the accessibility layer reports them (what a screen reader reads).
QString spokenValue(QWidget* widget);
bool spokenSelected(QWidget* widget);

} // namespace ostrel
