#include "OstrelStatusIndicator.h"

#include "OstrelSymbolPainter.h"

#include <QPainter>

#include <cmath>

namespace ostrel {

OstrelStatusIndicator::OstrelStatusIndicator(Status status, double size, QWidget* parent)
    : QWidget(parent), m_status(status), m_size(size)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setStatus(status);
}

void OstrelStatusIndicator::setStatus(Status status)
{
    m_status = status;
    setAccessibleName(OstrelStatus::accessibilityLabel(status));
    update();
}

QSize OstrelStatusIndicator::sizeHint() const
{
    const int side = int(std::ceil(m_size));
    return {side, side};
}

void OstrelStatusIndicator::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const qreal side = std::min<qreal>(m_size, std::min(width(), height()));
    const QRectF box((width() - side) / 2, (height() - side) / 2, side, side);
    OstrelSymbolPainter::paint(painter, box, OstrelStatus::symbol(m_status), OstrelStatus::color(m_status));
}

} // namespace ostrel
