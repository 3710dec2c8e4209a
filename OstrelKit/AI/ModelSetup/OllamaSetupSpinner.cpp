#include "OllamaSetupSpinner.h"

#include <QPainter>
#include <QPainterPath>

namespace ostrel {

namespace {
constexpr int kFrameMs = 33;       // about 30 frames a second
constexpr int kDegreesPerFrame = 12; // one turn a second
} // namespace

OllamaSetupSpinner::OllamaSetupSpinner(int diameterPx, QWidget* parent) : QWidget(parent), m_diameterPx(diameterPx)
{
    setFixedSize(sizeHint());
    m_timer.setInterval(kFrameMs);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        m_angleDeg = (m_angleDeg + kDegreesPerFrame) % 360;
        update();
    });
}

QSize OllamaSetupSpinner::sizeHint() const
{
    return {m_diameterPx, m_diameterPx};
}

void OllamaSetupSpinner::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal pen = std::max(1.5, m_diameterPx / 8.0);
    const QRectF circle = QRectF(rect()).adjusted(pen / 2, pen / 2, -pen / 2, -pen / 2);
    QColor track = palette().color(QPalette::WindowText);
    track.setAlphaF(0.15);
    painter.setPen(QPen(track, pen));
    painter.drawEllipse(circle);
    QColor arc = palette().color(QPalette::WindowText);
    arc.setAlphaF(0.6);
    painter.setPen(QPen(arc, pen, Qt::SolidLine, Qt::RoundCap));
    painter.drawArc(circle, -m_angleDeg * 16, 100 * 16);
}

void OllamaSetupSpinner::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    m_timer.start();
}

void OllamaSetupSpinner::hideEvent(QHideEvent* event)
{
    m_timer.stop();
    QWidget::hideEvent(event);
}

} // namespace ostrel
