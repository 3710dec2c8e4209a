#include "SearchableHelpPill.h"

#include "OstrelFonts.h"
#include "OstrelPalette.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

namespace ostrel {

namespace {
constexpr double kPadX = 6;
constexpr double kPadY = 3;
constexpr double kRadius = 4;
} // namespace

SearchableHelpPill::SearchableHelpPill(const QString& text, const HelpTheme& theme, QWidget* parent)
    : QAbstractButton(parent)
    , m_theme(theme)
{
    setText(text);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
}

void SearchableHelpPill::setSelected(bool selected)
{
    if (m_selected != selected) {
        m_selected = selected;
        updateGeometry();
        update();
    }
}

QFont SearchableHelpPill::labelFont() const
{
    return OstrelFonts::monospaced(8, m_selected ? QFont::Bold : QFont::Normal);
}

QSize SearchableHelpPill::sizeHint() const
{
    const QFontMetricsF metrics(labelFont());
    return QSizeF(metrics.horizontalAdvance(text()) + 2 * kPadX + 1, metrics.height() + 2 * kPadY + 1)
        .toSize();
}

void SearchableHelpPill::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    const QRectF box = QRectF(rect()).adjusted(0.25, 0.25, -0.25, -0.25);
    QPainterPath path;
    path.addRoundedRect(box, kRadius, kRadius);
    if (m_selected) {
        painter.fillPath(path, OstrelPalette::withOpacity(m_theme.accent, 0.15));
    }
    painter.setPen(QPen(OstrelPalette::withOpacity(m_theme.accent, m_selected ? 0.4 : 0.15), 0.5));
    painter.drawPath(path);
    painter.setFont(labelFont());
    painter.setPen(m_selected ? m_theme.accent : m_theme.textDim);
    painter.drawText(rect(), Qt::AlignCenter, text());
}

} // namespace ostrel
