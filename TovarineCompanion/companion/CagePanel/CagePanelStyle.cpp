#include "CagePanelStyle.h"

#include <QPainter>
#include <QPainterPath>

namespace tovarine::CagePanelStyle {

namespace {

// Symbols are drawn at twice their size and shown at their logical size, so they stay sharp on
// high-density screens.
constexpr qreal kSymbolScale = 2.0;

QPixmap blank(int sizePx)
{
    QPixmap pixmap(int(sizePx * kSymbolScale), int(sizePx * kSymbolScale));
    pixmap.setDevicePixelRatio(kSymbolScale);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

} // namespace

QFont font(Face face, int pixelSize)
{
    QFont result;
    if (face == Face::monospaced) {
        result = QFont(QStringLiteral("monospace"));
        result.setStyleHint(QFont::Monospace);
    }
    result.setPixelSize(pixelSize);
    return result;
}

QString css(const QColor& color, double opacity)
{
    return QStringLiteral("rgba(%1, %2, %3, %4)")
        .arg(color.red())
        .arg(color.green())
        .arg(color.blue())
        .arg(qRound(color.alpha() * opacity));
}

QString buttonStyleSheet()
{
    return QStringLiteral("QPushButton { color: white; background: rgba(255, 255, 255, 28); border: 1px "
                          "solid rgba(255, 255, 255, 45);"
                          " border-radius: 5px; padding: 3px 10px; }"
                          "QPushButton:pressed { background: rgba(255, 255, 255, 60); }"
                          "QPushButton:disabled { color: rgba(255, 255, 255, 90); }");
}

QPixmap checkmarkCircle(int sizePx, const QColor& color)
{
    QPixmap pixmap = blank(sizePx);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal s = sizePx;
    const qreal stroke = s * 0.1;
    painter.setPen(QPen(color, stroke, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawEllipse(QRectF(stroke / 2, stroke / 2, s - stroke, s - stroke));
    QPainterPath check;
    check.moveTo(s * 0.3, s * 0.52);
    check.lineTo(s * 0.44, s * 0.66);
    check.lineTo(s * 0.7, s * 0.36);
    painter.drawPath(check);
    return pixmap;
}

QPixmap exclamationTriangle(int sizePx, const QColor& color)
{
    QPixmap pixmap = blank(sizePx);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal s = sizePx;
    const qreal stroke = s * 0.09;
    QPainterPath triangle;
    triangle.moveTo(s / 2, stroke);
    triangle.lineTo(s - stroke, s * 0.9);
    triangle.lineTo(stroke, s * 0.9);
    triangle.closeSubpath();
    painter.setPen(QPen(color, stroke, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(triangle);
    painter.drawLine(QPointF(s / 2, s * 0.38), QPointF(s / 2, s * 0.6));
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawEllipse(QPointF(s / 2, s * 0.74), stroke * 0.7, stroke * 0.7);
    return pixmap;
}

} // namespace tovarine::CagePanelStyle
