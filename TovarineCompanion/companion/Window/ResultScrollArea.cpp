#include "ResultScrollArea.h"

namespace tovarine {

bool ResultScrollArea::focusNextPrevChild(bool next)
{
    const QWidget* leaving = focusWidget();
    const bool pushedAway = leaving && (!leaving->isEnabled() || !leaving->isVisible());
    if (!pushedAway) {
        return QScrollArea::focusNextPrevChild(next);
    }
    return QWidget::focusNextPrevChild(next);
}

} // namespace tovarine
