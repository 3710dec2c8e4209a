#include "SearchableHelpRow.h"

#include "OstrelFonts.h"
#include "OstrelPalette.h"

#include <QFontMetricsF>
#include <QPainter>

namespace ostrel {

namespace {
constexpr double kPadX = 10;
constexpr double kPadY = 6;
constexpr double kLineGap = 2;

QFont titleFont()
{
    return OstrelFonts::monospaced(11, QFont::Medium);
}

QFont sectionFont()
{
    return OstrelFonts::monospaced(8);
}
} // namespace

SearchableHelpRow::SearchableHelpRow(HelpEntry entry, const HelpTheme& theme, QWidget* parent)
    : QAbstractButton(parent)
    , m_entry(std::move(entry))
    , m_theme(theme)
{
    setText(m_entry.title());
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
}

void SearchableHelpRow::setHighlighted(bool highlighted)
{
    if (m_highlighted != highlighted) {
        m_highlighted = highlighted;
        update();
    }
}

QSize SearchableHelpRow::sizeHint() const
{
    const QFontMetricsF title(titleFont());
    const QFontMetricsF section(sectionFont());
    return QSizeF(title.horizontalAdvance(m_entry.title()) + 2 * kPadX,
                  title.height() + kLineGap + section.height() + 2 * kPadY)
        .toSize();
}

void SearchableHelpRow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (m_highlighted) {
        painter.fillRect(rect(), OstrelPalette::withOpacity(m_theme.accent, 0.12));
    }
    const QFontMetricsF title(titleFont());
    const QFontMetricsF section(sectionFont());
    const double textWidth = width() - 2 * kPadX;
    painter.setFont(titleFont());
    painter.setPen(m_highlighted ? m_theme.accent : m_theme.text);
    painter.drawText(QPointF(kPadX, kPadY + title.ascent()),
                     title.elidedText(m_entry.title(), Qt::ElideRight, textWidth));
    painter.setFont(sectionFont());
    painter.setPen(m_theme.textDim);
    painter.drawText(QPointF(kPadX, kPadY + title.height() + kLineGap + section.ascent()),
                     section.elidedText(m_entry.section(), Qt::ElideRight, textWidth));
}

} // namespace ostrel
