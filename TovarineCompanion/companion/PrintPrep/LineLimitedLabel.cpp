#include "LineLimitedLabel.h"

#include <QEvent>
#include <QPainter>
#include <QStyle>
#include <QTextLayout>
#include <algorithm>
#include <cmath>

namespace tovarine {

namespace {

const QChar kEllipsis(0x2026);

QTextOption wrapping()
{
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    return option;
}

} // namespace

LineLimitedLabel::LineLimitedLabel(int maximumLines, QWidget* parent)
    : QLabel(parent), m_maximumLines(std::max(1, maximumLines))
{
    setWordWrap(true);
    setTextFormat(Qt::PlainText);
    // The width comes from the layout; the text never asks for more.
    setMinimumWidth(1);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

void LineLimitedLabel::setFullText(const QString& text, const QString& shrinkable)
{
    if (text == m_fullText && shrinkable == m_shrinkable && !text.isEmpty()) {
        return;
    }
    m_fullText = text;
    m_shrinkable = shrinkable;
    refit();
}

void LineLimitedLabel::keepRoomOfAllLines()
{
    m_keepsRoom = true;
    applyRoom();
}

void LineLimitedLabel::setLinePitch(int px)
{
    m_linePitch = std::max(0, px);
    applyRoom();
    update();
}

void LineLimitedLabel::applyRoom()
{
    if (!m_keepsRoom) {
        return;
    }
    if (m_linePitch > 0) {
        const QMargins margins = contentsMargins();
        setFixedHeight(m_maximumLines * m_linePitch + margins.top() + margins.bottom() + 2 * margin());
        return;
    }
    // The height QLabel itself gives that many lines in this font and style.
    QLabel probe(QStringList(m_maximumLines, QStringLiteral("Xg")).join(QLatin1Char('\n')));
    probe.setFont(font());
    probe.setStyleSheet(styleSheet());
    probe.setContentsMargins(contentsMargins());
    probe.setMargin(margin());
    setFixedHeight(probe.sizeHint().height());
}

void LineLimitedLabel::resizeEvent(QResizeEvent* event)
{
    QLabel::resizeEvent(event);
    refit();
}

void LineLimitedLabel::changeEvent(QEvent* event)
{
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
        applyRoom();
        refit();
    }
}

void LineLimitedLabel::paintEvent(QPaintEvent* event)
{
    if (m_linePitch <= 0) {
        QLabel::paintEvent(event);
        return;
    }
    const QRect room = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
    // The lines as shown: the breaks the text holds, and wrapping as lineCount() counts it.
    QString shown = text();
    shown.replace(QLatin1Char('\n'), QChar::LineSeparator);
    QTextLayout layout(shown, font());
    QTextOption option = wrapping();
    option.setAlignment(QStyle::visualAlignment(layoutDirection(), alignment()) & Qt::AlignHorizontal_Mask);
    layout.setTextOption(option);
    // Each line's letters sit centred in its pitch (a tall face's line box keeps room for stacked accents
    // above them): the baseline goes where the ink of the ascenders and descenders is centred.
    const QRect ink = fontMetrics().tightBoundingRect(QStringLiteral("bdfhklgjpqy"));
    const qreal baseline = std::round((m_linePitch - ink.height()) / 2.0 - ink.top());
    layout.beginLayout();
    int lines = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(room.width());
        line.setPosition(QPointF(0, lines * m_linePitch + baseline - line.ascent()));
        ++lines;
    }
    layout.endLayout();
    const int used = lines * m_linePitch;
    int top = room.top();
    if (alignment() & Qt::AlignBottom) {
        top = room.bottom() + 1 - used;
    } else if (alignment() & Qt::AlignVCenter) {
        top = room.top() + (room.height() - used) / 2;
    }
    QPainter painter(this);
    drawFrame(&painter);
    painter.setPen(palette().color(foregroundRole()));
    QList<QTextLayout::FormatRange> selection;
    if (hasSelectedText()) {
        QTextLayout::FormatRange range;
        range.start = selectionStart();
        range.length = int(selectedText().size());
        range.format.setBackground(palette().brush(QPalette::Highlight));
        range.format.setForeground(palette().brush(QPalette::HighlightedText));
        selection.append(range);
    }
    layout.draw(&painter, QPointF(room.left(), top), selection);
}

int LineLimitedLabel::lineCount(const QString& text, int width) const
{
    QTextLayout layout(text, font());
    layout.setTextOption(wrapping());
    layout.beginLayout();
    int lines = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        ++lines;
    }
    layout.endLayout();
    return lines;
}

QString LineLimitedLabel::cutToLines(int width) const
{
    QTextLayout layout(m_fullText, font());
    layout.setTextOption(wrapping());
    layout.beginLayout();
    int lines = 0;
    int lastLineStart = 0;
    bool cut = false;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        if (lines == m_maximumLines) {
            cut = true;
            break;
        }
        lastLineStart = line.textStart();
        ++lines;
    }
    layout.endLayout();
    if (!cut) {
        return m_fullText;
    }
    // The last shown line takes the rest of the text, cut with an ellipsis; the break before it is kept
    // explicit, so wrapping cannot shift it.
    const QString head = m_fullText.left(lastLineStart).trimmed();
    const QString tail =
        fontMetrics().elidedText(m_fullText.mid(lastLineStart).simplified(), Qt::ElideRight, width);
    return head.isEmpty() ? tail : head + QLatin1Char('\n') + tail;
}

QString LineLimitedLabel::withShrunkPart(int width) const
{
    const qsizetype at = m_shrinkable.isEmpty() ? -1 : m_fullText.indexOf(m_shrinkable);
    if (at < 0) {
        return QString();
    }
    const auto withPart = [&](const QString& part) {
        return m_fullText.left(at) + part + m_fullText.mid(at + m_shrinkable.size());
    };
    // The widest middle cut of the part with which the whole text fits, by bisection on its width.
    QString best;
    int low = 0;
    int high = fontMetrics().horizontalAdvance(m_shrinkable);
    while (low <= high) {
        const int middle = (low + high) / 2;
        QString part = fontMetrics().elidedText(m_shrinkable, Qt::ElideMiddle, middle);
        if (part.isEmpty()) {
            part = kEllipsis;
        }
        const QString candidate = withPart(part);
        if (lineCount(candidate, width) <= m_maximumLines) {
            best = candidate;
            low = middle + 1;
        } else {
            high = middle - 1;
        }
    }
    return best;
}

void LineLimitedLabel::refit()
{
    const int width = contentsRect().width();
    QString shown = m_fullText;
    if (width > 0 && !m_fullText.isEmpty() && lineCount(m_fullText, width) > m_maximumLines) {
        shown = withShrunkPart(width);
        if (shown.isEmpty()) {
            shown = cutToLines(width);
        }
    }
    setToolTip(shown == m_fullText ? QString() : m_fullText);
    if (text() != shown) {
        setText(shown);
    }
}

} // namespace tovarine
