#include "MarkupDragTracker.h"

#include <QMouseEvent>

#include <cmath>
#include <utility>

namespace {
constexpr double kDragThreshold = 10;
} // namespace

MarkupDragTracker::Step MarkupDragTracker::feed(const QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        const auto* mouse = static_cast<const QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton) {
            return Step::none;
        }
        m_pressed = true;
        m_dragging = false;
        m_pressGlobal = mouse->globalPosition();
        m_translation = {};
        return Step::pressed;
    }
    case QEvent::MouseMove: {
        const auto* mouse = static_cast<const QMouseEvent*>(event);
        if (!m_pressed) {
            return Step::none;
        }
        m_translation = mouse->globalPosition() - m_pressGlobal;
        m_dragging = m_dragging || std::hypot(m_translation.x(), m_translation.y()) >= kDragThreshold;
        return m_dragging ? Step::moved : Step::held;
    }
    case QEvent::MouseButtonRelease: {
        const auto* mouse = static_cast<const QMouseEvent*>(event);
        if (!m_pressed || mouse->button() != Qt::LeftButton) {
            return Step::none;
        }
        m_pressed = false;
        m_translation = mouse->globalPosition() - m_pressGlobal;
        const bool wasDragging = std::exchange(m_dragging, false);
        return wasDragging ? Step::ended : Step::held;
    }
    default: return Step::none;
    }
}
