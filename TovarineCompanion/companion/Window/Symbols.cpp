#include "Symbols.h"

#include "OstrelSymbolPainter.h"

#include <QPainter>

namespace tovarine::Symbols {

QPixmap warningTriangle(int sizePx, const QColor& color)
{
    return ostrel::OstrelSymbolPainter::pixmap(u"exclamationmark.triangle", color, sizePx);
}

QPixmap checkmarkCircleFill(int sizePx, const QColor& color)
{
    return ostrel::OstrelSymbolPainter::pixmap(u"checkmark.circle.fill", color, sizePx);
}

QPixmap gear(int sizePx, const QColor& color)
{
    QPixmap pixmap(sizePx, sizePx);
    pixmap.fill(Qt::transparent);
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
