#include "SearchableHelpRow.h"

#include "OstrelFonts.h"
#include "OstrelPalette.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>

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
    // The height follows the width the list gives (heightForWidth): a fixed height would be the one of the
    // size hint's width, too low where a narrower column wraps the title onto one more line.
    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
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

namespace {

// The rectangles of the title and section blocks for a row `width` wide.
struct RowBlocks
{
    QRectF title;
    QRectF section;
    double height;
};

RowBlocks layoutBlocks(const HelpEntry& entry, double width)
{
    const double textWidth = std::max(1.0, width - 2 * kPadX);
    const int flags = Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop;
    const QRectF title =
        QFontMetricsF(titleFont()).boundingRect(QRectF(0, 0, textWidth, 1e6), flags, entry.title());
    const QRectF section =
        QFontMetricsF(sectionFont()).boundingRect(QRectF(0, 0, textWidth, 1e6), flags, entry.section());
    const double titleHeight = std::max(title.height(), QFontMetricsF(titleFont()).height());
    const double sectionHeight = std::max(section.height(), QFontMetricsF(sectionFont()).height());
    RowBlocks blocks;
    blocks.title = QRectF(kPadX, kPadY, textWidth, titleHeight);
    blocks.section = QRectF(kPadX, kPadY + titleHeight + kLineGap, textWidth, sectionHeight);
    blocks.height = titleHeight + kLineGap + sectionHeight + 2 * kPadY;
    return blocks;
}

} // namespace

QSize SearchableHelpRow::sizeHint() const
{
    // Wide enough for a short title on one line; longer ones wrap (heightForWidth).
    const double titleWidth = QFontMetricsF(titleFont()).horizontalAdvance(m_entry.title());
    const double width = std::min(titleWidth + 2 * kPadX, 240.0);
    return QSize(int(std::ceil(width)), heightForWidth(int(std::ceil(width))));
}

int SearchableHelpRow::heightForWidth(int width) const
{
    return int(std::ceil(layoutBlocks(m_entry, width).height));
}

void SearchableHelpRow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (m_highlighted) {
        painter.fillRect(rect(), OstrelPalette::withOpacity(m_theme.accent, 0.12));
    }
    const RowBlocks blocks = layoutBlocks(m_entry, width());
    const int flags = Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop;
    painter.setFont(titleFont());
    painter.setPen(m_highlighted ? m_theme.accent : m_theme.text);
    painter.drawText(blocks.title, flags, m_entry.title());
    painter.setFont(sectionFont());
    painter.setPen(m_theme.textDim);
    painter.drawText(blocks.section, flags, m_entry.section());
}

} // namespace ostrel
