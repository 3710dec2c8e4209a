#include "Symbols.h"

#include "StatusSymbols.h"

#include <QPainter>

namespace tovarine::Symbols {

QPixmap warningTriangle(int sizePx, const QColor& color)
{
    return StatusSymbols::exclamationTriangle(sizePx, 1.0, color, {0.08, 0.62, 0.75});
}

QPixmap checkmarkCircleFill(int sizePx, const QColor& color)
{
    QPixmap pixmap = StatusSymbols::blank(sizePx);
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
    painter.drawPath(StatusSymbols::checkPath(s));
    return pixmap;
}

QPixmap gear(int sizePx, const QColor& color)
{
    QPixmap pixmap = StatusSymbols::blank(sizePx);
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
