#include "Sollerin.h"

#include <QFontDatabase>
#include <QMouseEvent>
#include <QPainter>

namespace ostrel {

using namespace SollerinGeometry;

Sollerin::Sollerin(QBindable<double> orbitYaw, QBindable<double> orbitPitch, SollerinColors colors,
                   std::function<void(double, double)> onAxisTap, QWidget* parent)
    : QWidget(parent),
      m_orbitYaw(std::move(orbitYaw)),
      m_orbitPitch(std::move(orbitPitch)),
      m_colors(std::move(colors)),
      m_onAxisTap(std::move(onAxisTap))
{
    setObjectName(QStringLiteral("sollerin"));
    setFixedSize(sizeHint());
    setAttribute(Qt::WA_TranslucentBackground);
    setAutoFillBackground(false);
    setToolTip(QStringLiteral("Sollerin\u2122 \u2014 click an axis to snap the camera"));
    m_yawNotifier = m_orbitYaw.addNotifier([this] { update(); });
    m_pitchNotifier = m_orbitPitch.addNotifier([this] { update(); });
}

QSize Sollerin::sizeHint() const
{
    return QSize(static_cast<int>(kSize), static_cast<int>(kSize));
}

std::array<ProjectedAxis, 3> Sollerin::axes() const
{
    return project(m_orbitYaw.value(), m_orbitPitch.value());
}

void Sollerin::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(m_colors.background);
    painter.drawEllipse(QRectF(0, 0, kSize, kSize));

    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSizeF(9);
    font.setBold(true);
    painter.setFont(font);
    const QPointF centre(kSize / 2, kSize / 2);
    for (const ProjectedAxis& axis : drawOrder(axes())) {
        const QColor color = axis.axis == Axis::x ? m_colors.xAxis
                             : axis.axis == Axis::y ? m_colors.yAxis
                                                    : m_colors.zAxis;
        QPen line(color, kLineWidth, Qt::SolidLine, Qt::RoundCap, Qt::MiterJoin);
        line.setMiterLimit(10);
        painter.setPen(line);
        painter.drawLine(centre, axis.end);
        painter.setPen(Qt::NoPen);
        painter.setBrush(color);
        painter.drawEllipse(axis.end, kEndpointRadius, kEndpointRadius);
        painter.setPen(color);
        const QPointF at = labelCentre(axis.end);
        painter.drawText(QRectF(at.x() - 10, at.y() - 10, 20, 20), Qt::AlignCenter, axis.label);
    }
}

void Sollerin::mousePressEvent(QMouseEvent* event)
{
    const std::optional<ProjectedAxis> target =
        event->button() == Qt::LeftButton ? hit(axes(), event->position()) : std::nullopt;
    if (!target) {
        m_pressedAxis.reset();
        event->ignore(); // not ours: the widget below gets it
        return;
    }
    m_pressedAxis = target->axis;
    event->accept();
}

void Sollerin::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_pressedAxis) {
        event->ignore();
    }
}

void Sollerin::mouseReleaseEvent(QMouseEvent* event)
{
    if (!m_pressedAxis || event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    const Axis pressed = *m_pressedAxis;
    m_pressedAxis.reset();
    const std::optional<ProjectedAxis> target = hit(axes(), event->position());
    if (target && target->axis == pressed && m_onAxisTap) {
        m_onAxisTap(target->snapYaw, target->snapPitch);
    }
}

void Sollerin::mouseDoubleClickEvent(QMouseEvent* event)
{
    // A second click on an axis end is another single click; elsewhere it belongs to the widget below.
    mousePressEvent(event);
}

} // namespace ostrel
