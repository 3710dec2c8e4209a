#include "BusyIndicator.h"

#include <QPainter>
#include <QTimerEvent>

namespace tovarine {

namespace {

constexpr int kFrameMs = 33;
constexpr int kStepDeg = 12;

} // namespace

BusyIndicator::BusyIndicator(QWidget* parent) : QWidget(parent)
{
    setFixedSize(sizeHint());
}

void BusyIndicator::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF ring = QRectF(rect()).adjusted(3, 3, -3, -3);
    painter.setPen(QPen(QColor(255, 255, 255, 40), 3));
    painter.drawEllipse(ring);
    painter.setPen(QPen(QColor(255, 255, 255, 200), 3, Qt::SolidLine, Qt::RoundCap));
    painter.drawArc(ring, -m_angleDeg * 16, 100 * 16);
}

void BusyIndicator::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == m_timerId) {
        m_angleDeg = (m_angleDeg + kStepDeg) % 360;
        update();
    }
}

void BusyIndicator::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (m_timerId == 0) {
        m_timerId = startTimer(kFrameMs);
    }
}

void BusyIndicator::hideEvent(QHideEvent* event)
{
    if (m_timerId != 0) {
        killTimer(m_timerId);
        m_timerId = 0;
    }
    QWidget::hideEvent(event);
}

} // namespace tovarine
