#include "StatusSymbols.h"

#include "PanelStyle.h"

namespace tovarine::StatusSymbols {

QString symbolName(Status status)
{
    return status == Status::ok ? QStringLiteral("checkmark.circle")
                                : QStringLiteral("exclamationmark.triangle");
}

QColor color(Status status)
{
    return status == Status::ok ? PanelStyle::kGreen : PanelStyle::kYellow;
}

QPixmap pixmap(Status status, int sizePx)
{
    QPixmap image(sizePx, sizePx);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const double s = sizePx;
    const double stroke = std::max(1.0, s / 10.0);
    QPen pen(color(status), stroke, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(pen);
    if (status == Status::ok) {
        painter.drawEllipse(QRectF(stroke / 2, stroke / 2, s - stroke, s - stroke));
        QPainterPath check;
        check.moveTo(s * 0.30, s * 0.52);
        check.lineTo(s * 0.45, s * 0.67);
        check.lineTo(s * 0.72, s * 0.36);
        painter.drawPath(check);
    } else {
        QPainterPath triangle;
        triangle.moveTo(s * 0.5, stroke / 2);
        triangle.lineTo(s - stroke / 2, s - stroke / 2);
        triangle.lineTo(stroke / 2, s - stroke / 2);
        triangle.closeSubpath();
        painter.drawPath(triangle);
        painter.drawLine(QPointF(s * 0.5, s * 0.38), QPointF(s * 0.5, s * 0.64));
        painter.drawPoint(QPointF(s * 0.5, s * 0.8));
    }
    return image;
}

QPixmap blank(int sizePx, qreal scale)
{
    QPixmap pixmap(int(sizePx * scale), int(sizePx * scale));
    pixmap.setDevicePixelRatio(scale);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

QPainterPath checkPath(qreal s)
{
    QPainterPath check;
    check.moveTo(s * 0.3, s * 0.52);
    check.lineTo(s * 0.44, s * 0.66);
    check.lineTo(s * 0.7, s * 0.36);
    return check;
}

QPixmap exclamationTriangle(int sizePx, qreal scale, const QColor& color, const TriangleProportions& shape)
{
    QPixmap pixmap = blank(sizePx, scale);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal s = sizePx;
    const qreal stroke = s * shape.stroke;
    QPainterPath triangle;
    triangle.moveTo(s / 2, stroke);
    triangle.lineTo(s - stroke, s * 0.9);
    triangle.lineTo(stroke, s * 0.9);
    triangle.closeSubpath();
    painter.setPen(QPen(color, stroke, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(triangle);
    painter.drawLine(QPointF(s / 2, s * 0.38), QPointF(s / 2, s * shape.barEnd));
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawEllipse(QPointF(s / 2, s * shape.dot), stroke * 0.7, stroke * 0.7);
    return pixmap;
}

} // namespace tovarine::StatusSymbols
