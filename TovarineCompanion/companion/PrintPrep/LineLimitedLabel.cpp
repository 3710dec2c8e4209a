#include "LineLimitedLabel.h"

#include <QEvent>
#include <QTextLayout>
#include <algorithm>

namespace tovarine {

LineLimitedLabel::LineLimitedLabel(int maximumLines, QWidget* parent)
    : QLabel(parent), m_maximumLines(std::max(1, maximumLines))
{
    setWordWrap(true);
    setTextFormat(Qt::PlainText);
    // The width comes from the layout; the text never asks for more.
    setMinimumWidth(1);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

void LineLimitedLabel::setFullText(const QString& text)
{
    if (text == m_fullText && !text.isEmpty()) {
        return;
    }
    m_fullText = text;
    refit();
}

void LineLimitedLabel::resizeEvent(QResizeEvent* event)
{
    QLabel::resizeEvent(event);
    refit();
}

void LineLimitedLabel::changeEvent(QEvent* event)
{
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        refit();
    }
}

void LineLimitedLabel::refit()
{
    const int width = contentsRect().width();
    QString shown = m_fullText;
    if (width > 0 && !m_fullText.isEmpty()) {
        QTextLayout layout(m_fullText, font());
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
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
        if (cut) {
            // The last shown line takes the rest of the text, cut with an ellipsis; the break before it is
            // kept explicit, so wrapping cannot shift it.
            const QString head = m_fullText.left(lastLineStart).trimmed();
            const QString tail =
                fontMetrics().elidedText(m_fullText.mid(lastLineStart).simplified(), Qt::ElideRight, width);
            shown = head.isEmpty() ? tail : head + QLatin1Char('\n') + tail;
        }
    }
    setToolTip(shown == m_fullText ? QString() : m_fullText);
    if (text() != shown) {
        setText(shown);
    }
}

} // namespace tovarine
