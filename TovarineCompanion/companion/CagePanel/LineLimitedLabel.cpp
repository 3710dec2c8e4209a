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
            const QString head = m_fullText.left(lastLineStart);
            const QString tail = m_fullText.mid(lastLineStart).simplified();
            // The line break before the elided line is kept explicit, so wrapping cannot shift it.
            shown =
                head.trimmed() + QLatin1Char('\n') + fontMetrics().elidedText(tail, Qt::ElideRight, width);
            if (m_maximumLines == 1) {
                shown = fontMetrics().elidedText(m_fullText.simplified(), Qt::ElideRight, width);
            }
        }
    }
    setToolTip(shown == m_fullText ? QString() : m_fullText);
    if (text() != shown) {
        setText(shown);
    }
}

} // namespace tovarine
