#include "AspectBadge.h"

#include "OstrelFonts.h"
#include "OstrelSymbolPainter.h"
#include "OstrelWindow.h"

#include <QFontMetrics>
#include <QPainter>

namespace ostrel {

namespace {
constexpr int kSymbolPt = 11;
constexpr int kSpacing = 4;
} // namespace

AspectBadge::AspectBadge(OstrelWindow& windowController, QWidget* parent)
    : QAbstractButton(parent), m_controller(windowController)
{
    setCursor(Qt::PointingHandCursor);
    connect(this, &QAbstractButton::clicked, &m_controller, &OstrelWindow::toggleSquare);
    connect(&m_controller, &OstrelWindow::currentAspectChanged, this, &AspectBadge::refresh);
    refresh();
}

QColor AspectBadge::secondaryColor()
{
    return QColor::fromRgbF(0.56f, 0.56f, 0.58f);
}

QColor AspectBadge::orangeColor()
{
    return QColor::fromRgbF(1.0f, 0.58f, 0.0f);
}

QString AspectBadge::symbolName() const
{
    return m_controller.isConstrained() ? QStringLiteral("square") : QStringLiteral("rectangle");
}

QString AspectBadge::badgeText() const
{
    return m_controller.isConstrained() ? AspectRatioPresets::id(m_controller.currentAspect()) : QString();
}

QColor AspectBadge::inkColor() const
{
    return m_controller.isConstrained() ? orangeColor() : secondaryColor();
}

void AspectBadge::refresh()
{
    const QString text = badgeText();
    setToolTip(text.isEmpty() ? QStringLiteral("No aspect constraint") : QStringLiteral("Current: ") + text);
    setAccessibleName(toolTip());
    updateGeometry();
    update();
}

QSize AspectBadge::sizeHint() const
{
    const QString text = badgeText();
    int width = kSymbolPt;
    if (!text.isEmpty()) {
        width += kSpacing + QFontMetrics(OstrelFonts::monospaced(10, QFont::Medium)).horizontalAdvance(text);
    }
    return {width + 4, 18};
}

void AspectBadge::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor ink = inkColor();
    const qreal top = (height() - kSymbolPt) / 2.0;
    OstrelSymbolPainter::paint(painter, QRectF(2, top, kSymbolPt, kSymbolPt), symbolName(), ink);
    const QString text = badgeText();
    if (!text.isEmpty()) {
        painter.setFont(OstrelFonts::monospaced(10, QFont::Medium));
        painter.setPen(ink);
        painter.drawText(QRectF(2 + kSymbolPt + kSpacing, 0, width(), height()),
                         Qt::AlignLeft | Qt::AlignVCenter, text);
    }
}

} // namespace ostrel
