#include "Symbols.h"

#include <QPainter>
#include <QPainterPath>

namespace tovarine::Symbols {

namespace {

QPixmap blank(int sizePx)
{
    QPixmap pixmap(sizePx, sizePx);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

} // namespace

QPixmap warningTriangle(int sizePx, const QColor& color)
{
    QPixmap pixmap = blank(sizePx);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal s = sizePx;
    const qreal stroke = s * 0.08;
    QPainterPath triangle;
    triangle.moveTo(s / 2, stroke);
    triangle.lineTo(s - stroke, s * 0.9);
    triangle.lineTo(stroke, s * 0.9);
    triangle.closeSubpath();
    painter.setPen(QPen(color, stroke, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(triangle);
    painter.drawLine(QPointF(s / 2, s * 0.38), QPointF(s / 2, s * 0.62));
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawEllipse(QPointF(s / 2, s * 0.75), stroke * 0.7, stroke * 0.7);
    return pixmap;
}

QPixmap checkmarkCircleFill(int sizePx, const QColor& color)
{
    QPixmap pixmap = blank(sizePx);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal s = sizePx;
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawEllipse(QRectF(0.5, 0.5, s - 1, s - 1));
    // The check is cut out of the disc, as the symbol has it.
    painter.setCompositionMode(QPainter::CompositionMode_Clear);
    painter.setPen(QPen(Qt::black, s * 0.11, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    QPainterPath check;
    check.moveTo(s * 0.3, s * 0.52);
    check.lineTo(s * 0.44, s * 0.66);
    check.lineTo(s * 0.7, s * 0.36);
    painter.drawPath(check);
    return pixmap;
}

QPixmap gear(int sizePx, const QColor& color)
{
    QPixmap pixmap = blank(sizePx);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(sizePx);
    painter.setFont(font);
    painter.setPen(color);
    // U+2699 with the text-presentation selector, so a colour emoji face is not chosen.
    painter.drawText(QRect(0, 0, sizePx, sizePx), Qt::AlignCenter, QStringLiteral("\u2699\uFE0E"));
    return pixmap;
}

} // namespace tovarine::Symbols
