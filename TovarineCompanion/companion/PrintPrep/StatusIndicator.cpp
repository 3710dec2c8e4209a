#include "StatusIndicator.h"

#include "PanelStyle.h"

#include <QPainter>
#include <QTimer>

namespace tovarine {

namespace {
constexpr int kSpokes = 8;
constexpr int kSpinIntervalMs = 100;
} // namespace

StatusIndicator::StatusIndicator(int sizePx, QWidget* parent)
    : QWidget(parent), m_sizePx(sizePx), m_timer(new QTimer(this))
{
    setFixedSize(sizeHint());
    m_timer->setInterval(kSpinIntervalMs);
    connect(m_timer, &QTimer::timeout, this, [this] {
        m_phase = (m_phase + 1) % kSpokes;
        update();
    });
}

void StatusIndicator::setBusy(bool busy)
{
    m_busy = busy;
    if (busy) {
        m_timer->start();
    } else {
        m_timer->stop();
    }
    update();
}

void StatusIndicator::setStatus(StatusSymbols::Status status)
{
    m_status = status;
    update();
}

QSize StatusIndicator::sizeHint() const
{
    return {m_sizePx, m_sizePx};
}

void StatusIndicator::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (!m_busy) {
        painter.drawPixmap(0, 0, StatusSymbols::pixmap(m_status, m_sizePx));
        return;
    }
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(width() / 2.0, height() / 2.0);
    const double r = m_sizePx / 2.0;
    for (int i = 0; i < kSpokes; ++i) {
        QColor c = PanelStyle::kYellow;
        c.setAlphaF(0.25 + 0.75 * double((i + kSpokes - m_phase) % kSpokes) / kSpokes);
        painter.setPen(QPen(c, std::max(1.0, r / 4.0), Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(0, -r * 0.45), QPointF(0, -r * 0.9));
        painter.rotate(360.0 / kSpokes);
    }
}

} // namespace tovarine
