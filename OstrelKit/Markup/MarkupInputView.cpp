#include "MarkupInputView.h"

#include <QKeyEvent>
#include <QMouseEvent>

MarkupInputView::MarkupInputView(std::shared_ptr<MarkupState> state, QWidget* parent)
    : QWidget(parent), m_state(std::move(state))
{
    setObjectName(QStringLiteral("markupInput"));
    setAttribute(Qt::WA_NoSystemBackground);
    setMouseTracking(false);
    connect(m_state.get(), &MarkupState::changed, this, &MarkupInputView::followTool);
    followTool();
}

void MarkupInputView::followTool()
{
    setCursor(m_state->mode() == MarkupMode::select ? Qt::ArrowCursor : Qt::CrossCursor);
}

void MarkupInputView::later(std::function<void(MarkupState&)> change)
{
    // The state is captured strongly, so a change queued before the overlay goes away still lands safely.
    QMetaObject::invokeMethod(
        m_state.get(), [state = m_state, change = std::move(change)] { change(*state); }, Qt::QueuedConnection);
}

void MarkupInputView::mousePressEvent(QMouseEvent* event)
{
    event->accept();
    const QPointF point = event->position();
    switch (m_state->mode()) {
    case MarkupMode::select: break;
    case MarkupMode::note: later([point](MarkupState& state) { state.addAnnotation(point); }); break;
    case MarkupMode::draw:
        m_isDrawing = true;
        later([point](MarkupState& state) { state.setCurrentPoints({point}); });
        break;
    case MarkupMode::arrow: later([point](MarkupState& state) { state.setArrowStart(point); }); break;
    }
}

void MarkupInputView::mouseMoveEvent(QMouseEvent* event)
{
    event->accept();
    const QPointF point = event->position();
    if (m_state->mode() == MarkupMode::draw && m_isDrawing) {
        later([point](MarkupState& state) { state.appendCurrentPoint(point); });
    } else if (m_state->mode() == MarkupMode::arrow && m_state->arrowStart()) {
        later([point](MarkupState& state) { state.setArrowPreviewEnd(point); });
    }
}

void MarkupInputView::mouseReleaseEvent(QMouseEvent* event)
{
    event->accept();
    const QPointF point = event->position();
    if (m_state->mode() == MarkupMode::draw && m_isDrawing) {
        m_isDrawing = false;
        later([](MarkupState& state) { state.finishFreehand(); });
    } else if (m_state->mode() == MarkupMode::arrow) {
        later([point](MarkupState& state) { state.finishArrow(point); });
    }
}

void MarkupInputView::keyPressEvent(QKeyEvent* event)
{
    event->ignore(); // keys go on to the window beneath
}
