#include "MarkupCanvas.h"

#include <QPainterPath>

#include <cmath>
#include <numbers>

namespace {

constexpr double kInkOpacity = 0.9;

QPen inkPen(const QColor& color, double width, Qt::PenJoinStyle join)
{
    QColor ink = color;
    ink.setAlphaF(kInkOpacity);
    QPen pen(ink, width, Qt::SolidLine, Qt::RoundCap, join);
    pen.setMiterLimit(10);
    return pen;
}

void drawFreehand(QPainter& painter, const QList<QPointF>& points, const QColor& color, double width)
{
    if (points.size() < 2) {
        return;
    }
    QPainterPath path(points.first());
    for (qsizetype i = 1; i < points.size(); ++i) {
        path.lineTo(points[i]);
    }
    painter.strokePath(path, inkPen(color, width, Qt::RoundJoin));
}

void drawArrow(QPainter& painter, QPointF start, QPointF end, const QColor& color, double width)
{
    painter.setPen(inkPen(color, width, Qt::MiterJoin));
    painter.drawLine(start, end);
    QPainterPath head;
    for (const QLineF& barb : MarkupCanvas::arrowBarbs(start, end, width)) {
        head.moveTo(barb.p1());
        head.lineTo(barb.p2());
    }
    painter.strokePath(head, inkPen(color, width, Qt::RoundJoin));
}

} // namespace

MarkupCanvas::MarkupCanvas(std::shared_ptr<MarkupState> state, QWidget* parent)
    : QWidget(parent), m_state(std::move(state))
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setObjectName(QStringLiteral("markupCanvas"));
    connect(m_state.get(), &MarkupState::changed, this, qOverload<>(&QWidget::update));
}

std::array<QLineF, 2> MarkupCanvas::arrowBarbs(QPointF start, QPointF end, double width)
{
    const double theta = std::atan2(end.y() - start.y(), end.x() - start.x());
    const double length = std::max(3 * width, 12.0);
    constexpr double kSpread = std::numbers::pi / 6;
    return {QLineF(end, QPointF(end.x() - length * std::cos(theta - kSpread),
                                end.y() - length * std::sin(theta - kSpread))),
            QLineF(end, QPointF(end.x() - length * std::cos(theta + kSpread),
                                end.y() - length * std::sin(theta + kSpread)))};
}

void MarkupCanvas::drawStroke(QPainter& painter, const MarkupStroke& stroke)
{
    const QColor color = displayColor(stroke.color);
    if (stroke.type == MarkupStroke::StrokeType::freehand) {
        drawFreehand(painter, stroke.points, color, stroke.size);
    } else if (stroke.points.size() == 2) {
        drawArrow(painter, stroke.points[0], stroke.points[1], color, stroke.size);
    }
}

void MarkupCanvas::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    for (const MarkupStroke& stroke : m_state->strokes()) {
        drawStroke(painter, stroke);
    }
    // The stroke or arrow being drawn, in the chosen ink and width.
    const QColor color = displayColor(m_state->drawColor());
    const double width = rawValue(m_state->strokeSize());
    if (m_state->mode() == MarkupMode::draw) {
        drawFreehand(painter, m_state->currentPoints(), color, width);
    } else if (m_state->mode() == MarkupMode::arrow && m_state->arrowStart() && m_state->arrowPreviewEnd()) {
        drawArrow(painter, *m_state->arrowStart(), *m_state->arrowPreviewEnd(), color, width);
    }
}
