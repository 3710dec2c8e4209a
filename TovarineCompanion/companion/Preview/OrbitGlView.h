#pragma once

#include "OrbitCamera.h"

#include <QOpenGLWidget>
#include <QPoint>
#include <optional>

namespace tovarine {

// The GL widget under the 3D views: asks for an OpenGL 3.3 core context with 4x multisampling and a depth
// buffer, owns the orbit camera and drives it from the mouse (left button orbits, right or middle button
// pans, the wheel dollies, each followed by a repaint). Subclasses draw in paintGL. GUI thread only.
class OrbitGlView : public QOpenGLWidget
{
    Q_OBJECT
public:
    explicit OrbitGlView(const std::optional<CameraFrame>& frame = std::nullopt, QWidget* parent = nullptr);

    const OrbitCamera& camera() const { return m_camera; }

protected:
    // Clears the current framebuffer to black; for a context that cannot draw the scene.
    void clearToBlack();

    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

    OrbitCamera m_camera;

private:
    Qt::MouseButton m_dragButton = Qt::NoButton;
    QPoint m_lastPointer;
};

} // namespace tovarine
