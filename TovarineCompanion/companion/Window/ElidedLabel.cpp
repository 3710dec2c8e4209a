#include "ElidedLabel.h"

#include <QEvent>
#include <QPainter>
#include <QTextLayout>
#include <algorithm>

namespace tovarine {

ElidedLabel::ElidedLabel(int maximumLines, QWidget* parent)
    : QWidget(parent), m_maximumLines(std::max(1, maximumLines)), m_color(Qt::white)
{
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

void ElidedLabel::setText(const QString& text)
{
    if (text == m_text) {
        return;
    }
    m_text = text;
    updateGeometry();
    update();
}

void ElidedLabel::setAlignment(Qt::Alignment alignment)
{
    m_alignment = alignment;
    update();
}

void ElidedLabel::setColor(const QColor& color)
{
    m_color = color;
    update();
}

QStringList ElidedLabel::linesForWidth(int width) const
{
    QStringList lines;
    if (m_text.isEmpty() || width <= 0) {
        return lines;
    }
    const QFontMetrics metrics(font());
    QString text = m_text;
    text.replace(QLatin1Char('\n'), QChar::LineSeparator);
    QTextLayout layout(text, font());
    QTextOption option(Qt::AlignHCenter);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    while (true) {
        QTextLine line = layout.createLine();
        if (!line.isValid()) {
            break;
        }
        line.setLineWidth(width);
        if (lines.size() == m_maximumLines - 1) {
            const QString rest = text.mid(line.textStart());
            const QTextLine next = layout.createLine();
            const bool cut = next.isValid() || metrics.horizontalAdvance(rest) > width;
            QString last = rest;
            last.replace(QChar::LineSeparator, QLatin1Char(' '));
            lines << (cut ? metrics.elidedText(last, Qt::ElideRight, width) : last.trimmed());
            break;
        }
        lines << text.mid(line.textStart(), line.textLength()).trimmed();
    }
    layout.endLayout();
    return lines;
}

QStringList ElidedLabel::visibleLines() const
{
    return linesForWidth(width());
}

int ElidedLabel::heightForWidth(int width) const
{
    return int(linesForWidth(width).size()) * QFontMetrics(font()).lineSpacing();
}

QSize ElidedLabel::sizeHint() const
{
    const QFontMetrics metrics(font());
    const int width = std::min(metrics.horizontalAdvance(m_text), 260);
    return {width, heightForWidth(std::max(width, 1))};
}

QSize ElidedLabel::minimumSizeHint() const
{
    return {0, m_text.isEmpty() ? 0 : QFontMetrics(font()).lineSpacing()};
}

void ElidedLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setPen(m_color);
    painter.setFont(font());
    const QFontMetrics metrics(font());
    int y = 0;
    for (const QString& line : visibleLines()) {
        painter.drawText(QRect(0, y, width(), metrics.lineSpacing()), m_alignment | Qt::AlignVCenter, line);
        y += metrics.lineSpacing();
    }
}

void ElidedLabel::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange) {
        updateGeometry();
    }
    QWidget::changeEvent(event);
}

} // namespace tovarine
