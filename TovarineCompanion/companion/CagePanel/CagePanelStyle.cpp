#include "CagePanelStyle.h"

#include "OstrelSymbolPainter.h"


namespace tovarine::CagePanelStyle {

namespace {

// Symbols are drawn at twice their size and shown at their logical size, so they stay sharp on
// high-density screens.
constexpr qreal kSymbolScale = 2.0;

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
    return ostrel::OstrelSymbolPainter::pixmap(u"checkmark.circle", color, sizePx, kSymbolScale);
}

QPixmap exclamationTriangle(int sizePx, const QColor& color)
{
    return ostrel::OstrelSymbolPainter::pixmap(u"exclamationmark.triangle", color, sizePx, kSymbolScale);
}

} // namespace tovarine::CagePanelStyle
