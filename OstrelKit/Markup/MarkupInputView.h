#pragma once

#include "MarkupState.h"

#include <QWidget>

#include <memory>

// Turns mouse presses, drags and releases over the overlay into strokes, arrows and notes. Shown only while a
// drawing tool (note, draw, arrow) is chosen; it consumes every mouse event that reaches it and passes keys on.
// Each change to the state runs on a later turn of the event loop, in the order the events came.
// GUI thread only.
class MarkupInputView : public QWidget {
    Q_OBJECT

public:
    MarkupInputView(std::shared_ptr<MarkupState> state, QWidget* parent);

    bool isDrawing() const { return m_isDrawing; }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void later(std::function<void(MarkupState&)> change);
    void followTool();

    std::shared_ptr<MarkupState> m_state;
    bool m_isDrawing = false;
};
