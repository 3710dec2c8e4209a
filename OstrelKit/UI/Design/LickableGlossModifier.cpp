#include "LickableGlossModifier.h"

#include "OstrelPalette.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace ostrel {

std::optional<double> LickableGlossModifier::highlightOpacity() const
{
    if (!(intensity > 0.01)) {
        return std::nullopt;
    }
    return 0.06 + 0.22 * intensity;
}

QColor LickableGlossModifier::glowColor() const
{
    return OstrelPalette::withOpacity(OstrelPalette::ostrelGoldDeep(),
                                      intensity > 0.3 ? 0.35 * intensity : 0.0);
}

void LickableGlossModifier::paintHighlight(QPainter& painter, const QRectF& rect) const
{
    const auto opacity = highlightOpacity();
    if (!opacity) {
        return;
    }
    QLinearGradient gradient(rect.topLeft(), QPointF(rect.left(), rect.center().y()));
    QColor top(Qt::white);
    top.setAlphaF(float(std::min(1.0, *opacity)));
    QColor clear(Qt::white);
    clear.setAlphaF(0.0f);
    gradient.setColorAt(0.0, top);
    gradient.setColorAt(1.0, clear);
    QPainterPath shape;
    shape.addRoundedRect(rect, cornerRadius, cornerRadius);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(shape, gradient);
    painter.restore();
}

} // namespace ostrel
