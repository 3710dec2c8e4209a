#include "GoldDivider.h"

#include "OstrelPalette.h"

#include <QPainter>

namespace ostrel {

namespace {
constexpr int kHeightPt = 3;
constexpr int kSideInsetPt = 8;
constexpr int kVerticalInsetPt = 1;
} // namespace

GoldDivider::GoldDivider(double opacity, QWidget* parent)
    : QWidget(parent)
    , m_opacity(opacity)
{
    setFixedHeight(kHeightPt);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QSize GoldDivider::sizeHint() const
{
    return {2 * kSideInsetPt, kHeightPt};
}

QSize GoldDivider::minimumSizeHint() const
{
    return {2 * kSideInsetPt, kHeightPt};
}

void GoldDivider::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRect line(kSideInsetPt, kVerticalInsetPt, std::max(0, width() - 2 * kSideInsetPt),
                     kHeightPt - 2 * kVerticalInsetPt);
    painter.fillRect(line, OstrelPalette::withOpacity(OstrelPalette::ostrelGoldDark(), m_opacity));
}

} // namespace ostrel
