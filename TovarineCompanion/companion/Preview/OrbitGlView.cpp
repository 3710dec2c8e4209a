#include "OrbitGlView.h"

#include <QMouseEvent>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QSurfaceFormat>
#include <QWheelEvent>

namespace tovarine {

namespace {

constexpr int kMultisamples = 4;

} // namespace

OrbitGlView::OrbitGlView(const std::optional<CameraFrame>& frame, QWidget* parent)
    : QOpenGLWidget(parent), m_camera(frame)
{
    QSurfaceFormat format;
    format.setVersion(3, 3);
    format.setProfile(QSurfaceFormat::CoreProfile);
    format.setSamples(kMultisamples);
    format.setDepthBufferSize(24);
    setFormat(format);
}

void OrbitGlView::clearToBlack()
{
    auto* gl = context()->functions();
    gl->glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    gl->glClear(GL_COLOR_BUFFER_BIT);
}

void OrbitGlView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton || event->button() == Qt::RightButton ||
        event->button() == Qt::MiddleButton) {
        m_dragButton = event->button();
        m_lastPointer = event->position().toPoint();
        event->accept();
        return;
    }
    QOpenGLWidget::mousePressEvent(event);
}

void OrbitGlView::mouseMoveEvent(QMouseEvent* event)
{
    if (m_dragButton == Qt::NoButton) {
        QOpenGLWidget::mouseMoveEvent(event);
        return;
    }
    const QPoint pointer = event->position().toPoint();
    const QPoint delta = pointer - m_lastPointer;
    m_lastPointer = pointer;
    if (m_dragButton == Qt::LeftButton) {
        m_camera.orbit(float(delta.x()), float(delta.y()));
    } else {
        m_camera.pan(float(delta.x()), float(delta.y()), float(height()));
    }
    update();
    event->accept();
}

void OrbitGlView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == m_dragButton) {
        m_dragButton = Qt::NoButton;
    }
    event->accept();
}

void OrbitGlView::wheelEvent(QWheelEvent* event)
{
    const float notches = float(event->angleDelta().y()) / 120.0f;
    if (notches != 0.0f) {
        m_camera.dolly(notches);
        update();
    }
    event->accept();
}

} // namespace tovarine
