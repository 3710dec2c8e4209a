#pragma once

#include "MorvelPreview.h"
#include "MorvelSceneBuffers.h"
#include "OrbitCamera.h"
#include "PreviewRenderer.h"

#include <QOpenGLWidget>
#include <QPoint>
#include <memory>

namespace tovarine {

// A finished fit in an orbitable 3D view: the cage's limit surface (lit grey) and over it the cage wire,
// its edges coloured by crease weight (plain cyan, soft creases yellow, hard creases orange). Metres, +Y up;
// framed by the shared framing rule from above and to the side. Left button orbits, right or middle button
// pans, the wheel dollies. The geometry is built once, from the preview given at construction; later only
// the wire's visibility changes. Black background with 4x multisampling, rounded corners of radius 10, a
// 1-pixel outline of white at 15% opacity and an optional label in the top-left corner. GUI thread only.
class MorvelSceneView : public QOpenGLWidget
{
    Q_OBJECT
public:
    static constexpr int kMinimumHeightPx = 340;
    static constexpr qreal kCornerRadiusPx = 10.0;

    MorvelSceneView(const MorvelPreview& preview, bool showsCage, QWidget* parent = nullptr);
    ~MorvelSceneView() override;

    // Shows or hides the cage wire; nothing is rebuilt.
    void setShowsCage(bool showsCage);
    bool showsCage() const { return m_showsCage; }
    // Text drawn in the top-left corner (monospaced 11 px, white at 60%, 8 px from the corner).
    void setCornerLabel(const QString& text);
    const QString& cornerLabel() const { return m_cornerLabel; }

    // The fit the view was built from, and what was built from it.
    const MorvelPreview& preview() const { return m_preview; }
    const PreviewBuffers& surfaceBuffers() const { return *m_surface; }
    const MorvelCageBuffers& cageBuffers() const { return *m_cage; }
    // False when the surface had no finite extent: the view then keeps a default camera.
    bool isFramed() const { return m_framed; }
    const OrbitCamera& camera() const { return m_camera; }

protected:
    void initializeGL() override;
    void paintGL() override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void paintOverlay();
    void releaseGl();

    MorvelPreview m_preview;
    std::shared_ptr<const PreviewBuffers> m_surface;
    std::shared_ptr<const MorvelCageBuffers> m_cage;
    PreviewRenderer m_surfaceRenderer;
    PreviewRenderer m_cageRenderer;
    OrbitCamera m_camera;
    bool m_framed = false;
    bool m_showsCage = true;
    QString m_cornerLabel;
    bool m_glReady = false;
    QString m_glLog;
    Qt::MouseButton m_dragButton = Qt::NoButton;
    QPoint m_lastPointer;
};

} // namespace tovarine
