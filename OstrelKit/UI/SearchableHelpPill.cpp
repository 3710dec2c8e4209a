#include "SearchableHelpPill.h"

#include "OstrelFonts.h"
#include "OstrelPalette.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace ostrel {

namespace {
constexpr double kPadX = 6;
constexpr double kPadY = 3;
constexpr double kRadius = 4;

// The label's lines at `textWidth`: wrapped at word boundaries, or anywhere in a word wider than a line.
// Measured in the bold face, so a selected pill keeps the lines of the plain one.
QStringList wrappedLines(const QString& text, double textWidth)
{
    QTextLayout layout(text, OstrelFonts::monospaced(8, QFont::Bold));
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    QStringList lines;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(std::max(1.0, textWidth));
        lines << text.mid(line.textStart(), line.textLength()).trimmed();
    }
    layout.endLayout();
    return lines;
}

// The height of one line of the label, in either weight.
double lineHeight()
{
    return std::max(QFontMetricsF(OstrelFonts::monospaced(8, QFont::Bold)).height(),
                    QFontMetricsF(OstrelFonts::monospaced(8)).height());
}

// The label's room inside a pill `width` wide.
double textWidthIn(double width)
{
    return width - 2 * kPadX - 1;
}

} // namespace

SearchableHelpPill::SearchableHelpPill(const QString& text, const HelpTheme& theme, QWidget* parent)
    : QAbstractButton(parent)
    , m_theme(theme)
{
    setText(text);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
    // As wide as its label, never wider; taller where the label wraps.
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Minimum);
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

QSize SearchableHelpPill::minimumSizeHint() const
{
    const QFontMetricsF bold(OstrelFonts::monospaced(8, QFont::Bold));
    const int width = int(std::ceil(bold.maxWidth() + 2 * kPadX + 1));
    // One line high: the height at a narrower width comes from heightForWidth.
    return QSize(std::min(width, sizeHint().width()), sizeHint().height());
}

int SearchableHelpPill::heightForWidth(int width) const
{
    const qsizetype lines = std::max<qsizetype>(1, wrappedLines(text(), textWidthIn(width)).size());
    return int(std::ceil(double(lines) * lineHeight() + 2 * kPadY + 1));
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
    // Each line centred; as a whole they are centred in the pill.
    const QStringList lines = wrappedLines(text(), textWidthIn(width()));
    const double line = lineHeight();
    double y = (height() - line * double(lines.size())) / 2;
    for (const QString& each : lines) {
        painter.drawText(QRectF(0, y, width(), line), Qt::AlignCenter, each);
        y += line;
    }
}

} // namespace ostrel
