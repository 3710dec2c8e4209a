#include "ConcordanceSectionHeader.h"

#include "OstrelFonts.h"
#include "OstrelSymbolPainter.h"
#include "OstrelSymbols.h"

#include <QFontMetricsF>
#include <QPainter>

namespace ostrel {

namespace {
constexpr double kPadX = 24;
constexpr double kPadY = 10;
constexpr double kGap = 8;
constexpr double kChevronBox = 10;

QFont countFont()
{
    return OstrelFonts::monospaced(9, QFont::Medium);
}
} // namespace

ConcordanceSectionHeader::ConcordanceSectionHeader(const ConcordanceConfiguration& config, QString title,
                                                   int count, QWidget* parent)
    : QAbstractButton(parent)
    , m_title(std::move(title))
    , m_count(count)
    , m_sectionFont(OstrelFonts::withTracking(config.sectionFont, 1.5))
    , m_titleColor(config.sectionTitleColor)
    , m_chevronColor(config.chevronColor)
    , m_countColor(config.countColor)
{
    setText(m_title);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
    setExpanded(false);
}

void ConcordanceSectionHeader::setExpanded(bool expanded)
{
    m_expanded = expanded;
    setToolTip(QStringLiteral("Click to ") + (expanded ? QStringLiteral("collapse") : QStringLiteral("expand"))
               + u' ' + m_title);
    update();
}

QSize ConcordanceSectionHeader::sizeHint() const
{
    const QFontMetricsF title(m_sectionFont);
    const QFontMetricsF count(countFont());
    const double height = std::max({title.height(), count.height(), kChevronBox});
    const double width = kPadX * 2 + kChevronBox + kGap + title.horizontalAdvance(m_title) + kGap
        + count.horizontalAdvance(QString::number(m_count));
    return QSizeF(width, height + 2 * kPadY).toSize();
}

void ConcordanceSectionHeader::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    const double midY = height() / 2.0;
    const QRectF chevron(kPadX, midY - 4, kChevronBox * 0.8, 8);
    OstrelSymbolPainter::paint(painter, chevron,
                               m_expanded ? OstrelSymbols::chevronDown : OstrelSymbols::chevronRight,
                               m_chevronColor);
    double x = kPadX + kChevronBox + kGap;
    const QFontMetricsF title(m_sectionFont);
    painter.setFont(m_sectionFont);
    painter.setPen(m_titleColor);
    painter.drawText(QPointF(x, midY + (title.ascent() - title.descent()) / 2), m_title);
    x += title.horizontalAdvance(m_title) + kGap;
    const QFontMetricsF count(countFont());
    painter.setFont(countFont());
    painter.setPen(m_countColor);
    painter.drawText(QPointF(x, midY + (count.ascent() - count.descent()) / 2), QString::number(m_count));
}

} // namespace ostrel
