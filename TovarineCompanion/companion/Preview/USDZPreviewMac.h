#pragma once

#include "OrbitCamera.h"
#include "PreviewModelLoader.h"
#include "PreviewRenderer.h"

#include <QOpenGLWidget>
#include <QPoint>
#include <memory>

namespace tovarine {

// The result's model in an orbitable 3D view: studio lighting, the three shading modes, the brightness and
// contrast look; left button orbits, right or middle button pans, the wheel dollies. The model loads off the
// GUI thread; it loads again when the path or the file's modification time changes (checked whenever the
// path or the look is set, and when the view is shown); a failed load is remembered (not retried) for that
// file and its message is shown in the view. Black background with 4x multisampling, rounded corners of
// radius 10 and a 1-pixel outline of white at 15% opacity. GUI thread only.
class USDZPreviewMac : public QOpenGLWidget
{
    Q_OBJECT
public:
    static constexpr int kMinimumHeightPx = 340;
    static constexpr qreal kCornerRadiusPx = 10.0;

    explicit USDZPreviewMac(QWidget* parent = nullptr);
    // `readModel` replaces the model-file reader (tests).
    USDZPreviewMac(PreviewModelLoader::ReadModel readModel, QWidget* parent);
    ~USDZPreviewMac() override;

    void setModelPath(const QString& path);
    QString modelPath() const { return m_modelPath; }
    // Applies the look; like every update, it also reloads the model when its file changed.
    void setLook(const QString& shadingMode, double brightness, double contrast);

    const PreviewModelLoader& loader() const { return *m_loader; }
    const OrbitCamera& camera() const { return m_camera; }
    const PreviewLookValues& look() const { return m_look; }

signals:
    // The model finished loading (or failed) and the next frame shows it.
    void modelStatusChanged();

protected:
    void initializeGL() override;
    void paintGL() override;
    void showEvent(QShowEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void onLoaderStatusChanged();
    void paintOverlay();
    void releaseGl();

    PreviewModelLoader* m_loader = nullptr;
    PreviewRenderer m_renderer;
    OrbitCamera m_camera;
    PreviewLookValues m_look;
    QString m_modelPath;
    bool m_glReady = false;
    bool m_needsUpload = false;
    Qt::MouseButton m_dragButton = Qt::NoButton;
    QPoint m_lastPointer;
};

} // namespace tovarine
