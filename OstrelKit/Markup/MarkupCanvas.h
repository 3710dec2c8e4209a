#pragma once

#include "MarkupState.h"

#include <QLineF>
#include <QPainter>
#include <QWidget>

#include <array>
#include <memory>

// Paints the finished strokes and arrows, then the stroke or arrow being drawn. Takes no clicks: the input view
// above it (or, in the select tool, the content beneath) gets them. GUI thread only.
class MarkupCanvas : public QWidget {
    Q_OBJECT

public:
    MarkupCanvas(std::shared_ptr<MarkupState> state, QWidget* parent);

    // One stroke in its own colour at 90 % and its own width. Freehand needs two points, an arrow exactly two.
    static void drawStroke(QPainter& painter, const MarkupStroke& stroke);
    // The two barbs of an arrow head from start to end for a line width: 30 degrees either side of the shaft,
    // max(3 x width, 12) long, pointing back from the tip.
    static std::array<QLineF, 2> arrowBarbs(QPointF start, QPointF end, double width);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::shared_ptr<MarkupState> m_state;
};
