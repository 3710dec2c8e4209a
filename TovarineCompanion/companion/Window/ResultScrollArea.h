#pragma once

#include <QScrollArea>

namespace tovarine {

// The scroll area around the result view.
// Its vertical scroll bar keeps its room whether or not there is anything to scroll, and is drawn only when
// there is: the result's width never depends on its height. (Otherwise a result just too high for the window
// could lay out two ways: with the bar, a narrower row wraps onto a second line and makes the content too
// high; without it, everything fits. Which one showed depended on the order of the layout passes.)
// Moving the keyboard focus with Tab scrolls the newly focused widget into view, as any scroll area does; but
// when the focus moves only because the focused widget was disabled or hidden (a tool's button while it
// runs), the view stays where the user put it.
// GUI thread only.
class ResultScrollArea : public QScrollArea
{
    Q_OBJECT
public:
    explicit ResultScrollArea(QWidget* parent = nullptr);

    // The width the vertical scroll bar takes beside the content, in pixels.
    int scrollBarWidthPx() const;

protected:
    bool focusNextPrevChild(bool next) override;
};

} // namespace tovarine
