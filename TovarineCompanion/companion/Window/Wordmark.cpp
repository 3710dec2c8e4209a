#include "Wordmark.h"

#include "WindowStyle.h"

#include <QPainter>
#include <algorithm>

namespace tovarine {

namespace {

const QString kFirstHalf = QStringLiteral("tova");
const QString kSecondHalf = QStringLiteral("rine");
const QString kTrademark = QStringLiteral("\u2122");
constexpr int kTrademarkOffsetPx = 10;

} // namespace

Wordmark::Wordmark(QWidget* parent)
    : QWidget(parent), m_wordFont(WindowStyle::font(WindowStyle::Face::serif, 44)),
      m_markFont(WindowStyle::font(WindowStyle::Face::serif, 11))
{
    setAccessibleName(kFirstHalf + kSecondHalf);
}

QSize Wordmark::sizeHint() const
{
    const QFontMetrics word(m_wordFont);
    const QFontMetrics mark(m_markFont);
    // The "™" overhangs the word on the right; keep the word centred by reserving the overhang on both sides.
    const int overhang = std::max(0, kTrademarkOffsetPx);
    return {word.horizontalAdvance(kFirstHalf + kSecondHalf) + 2 * overhang,
            std::max(word.height(), kTrademarkOffsetPx + mark.height())};
}

void Wordmark::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const QFontMetrics word(m_wordFont);
    const int wordWidth = word.horizontalAdvance(kFirstHalf + kSecondHalf);
    const int left = (width() - wordWidth) / 2;
    const int baseline = word.ascent();
    painter.setFont(m_wordFont);
    painter.setPen(WindowStyle::kYellow);
    painter.drawText(left, baseline, kFirstHalf);
    painter.setPen(Qt::white);
    painter.drawText(left + word.horizontalAdvance(kFirstHalf), baseline, kSecondHalf);

    // The mark's top-right corner sits on the word's top-right corner, then moves 10 px right and down.
    const QFontMetrics mark(m_markFont);
    painter.setFont(m_markFont);
    painter.setPen(WindowStyle::withOpacity(Qt::white, 0.7));
    const int markRight = left + wordWidth + kTrademarkOffsetPx;
    const int markTop = kTrademarkOffsetPx;
    painter.drawText(markRight - mark.horizontalAdvance(kTrademark), markTop + mark.ascent(), kTrademark);
}

} // namespace tovarine
