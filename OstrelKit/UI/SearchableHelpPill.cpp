#include "SearchableHelpPill.h"

#include "OstrelFonts.h"
#include "OstrelPalette.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

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
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void SearchableHelpPill::setSelected(bool selected)
{
    if (m_selected != selected) {
        m_selected = selected;
        update();
    }
}

QFont SearchableHelpPill::labelFont() const
{
    return OstrelFonts::monospaced(8, m_selected ? QFont::Bold : QFont::Normal);
}

QSize SearchableHelpPill::sizeHint() const
{
    // Sized for the bold (selected) label whatever the state, so selecting a pill never needs more room than
    // the strip gave it and its label is never cut.
    const QFontMetricsF bold(OstrelFonts::monospaced(8, QFont::Bold));
    const QFontMetricsF plain(OstrelFonts::monospaced(8));
    const double textWidth = std::max(bold.horizontalAdvance(text()), plain.horizontalAdvance(text()));
    return QSize(int(std::ceil(textWidth + 2 * kPadX + 1)),
                 int(std::ceil(std::max(bold.height(), plain.height()) + 2 * kPadY + 1)));
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
