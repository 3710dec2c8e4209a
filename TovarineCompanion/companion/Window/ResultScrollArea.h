#pragma once

#include <QScrollArea>

namespace tovarine {

// The scroll area around the result view. Moving the keyboard focus with Tab scrolls the newly focused widget
// into view, as any scroll area does; but when the focus moves only because the focused widget was disabled
// or hidden (a tool's button while it runs), the view stays where the user put it.
// GUI thread only.
class ResultScrollArea : public QScrollArea
{
    Q_OBJECT
public:
    using QScrollArea::QScrollArea;

protected:
    bool focusNextPrevChild(bool next) override;
};

} // namespace tovarine
