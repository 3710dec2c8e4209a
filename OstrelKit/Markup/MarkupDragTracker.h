#pragma once

#include <QPointF>

class QEvent;

// Follows one left-button drag of the overlay's cards and toolbar: a press, then moves that reach the threshold
// (10 points from the press) turn into a drag, so a click does not nudge anything. Positions are global, so the
// dragged widget may move under the pointer. GUI thread only.
class MarkupDragTracker {
public:
    enum class Step {
        none,    // not a mouse event of this drag
        pressed, // the left button went down
        held,    // a move before the threshold, or a release that was only a click
        moved,   // the drag moved: translation() is the distance from the press
        ended,   // the drag ended: translation() is the final distance
    };

    Step feed(const QEvent* event);
    QPointF translation() const { return m_translation; }

private:
    QPointF m_pressGlobal;
    QPointF m_translation;
    bool m_pressed = false;
    bool m_dragging = false;
};
