#include "ResultScrollArea.h"

#include <QScrollBar>

namespace tovarine {

namespace {

// A scroll bar that draws nothing while there is nothing to scroll; its room stays empty.
class QuietScrollBar : public QScrollBar
{
public:
    using QScrollBar::QScrollBar;

protected:
    void paintEvent(QPaintEvent* event) override
    {
        if (maximum() > minimum()) {
            QScrollBar::paintEvent(event);
        }
    }
};

} // namespace

ResultScrollArea::ResultScrollArea(QWidget* parent) : QScrollArea(parent)
{
    setVerticalScrollBar(new QuietScrollBar(Qt::Vertical, this));
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
}

int ResultScrollArea::scrollBarWidthPx() const
{
    return verticalScrollBar()->sizeHint().width();
}

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
