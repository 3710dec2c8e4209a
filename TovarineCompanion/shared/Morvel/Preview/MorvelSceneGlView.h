#pragma once

#include "MorvelSceneBuffers.h"
#include "OrbitGlView.h"
#include "PreviewRenderer.h"

#include <memory>

namespace tovarine {

// The GL part of the cage preview: draws the surface with the preview renderer's studio rig, then each run
// of the cage wire unlit in its colour while the wire is shown, then the corner label and the rounded frame.
// Left button orbits, right or middle button pans, the wheel dollies. Needs OpenGL 3.3 core; without it the
// view stays black and says so. GUI thread only.
class MorvelSceneGlView : public OrbitGlView
{
    Q_OBJECT
public:
    MorvelSceneGlView(std::shared_ptr<const PreviewBuffers> surface,
                      std::shared_ptr<const MorvelCageBuffers> cage, const std::optional<CameraFrame>& frame,
                      QWidget* parent = nullptr);
    ~MorvelSceneGlView() override;

    void setShowsCage(bool showsCage);
    void setCornerLabel(const QString& text);

    // Paints `text` in the top-left corner of `bounds`: monospaced 11 px, white at 60%, 8 px in.
    static void paintCornerLabel(QPainter& painter, const QRectF& bounds, const QString& text);

protected:
    void initializeGL() override;
    void paintGL() override;

private:
    void releaseGl();

    std::shared_ptr<const PreviewBuffers> m_surface;
    std::shared_ptr<const MorvelCageBuffers> m_cage;
    PreviewRenderer m_surfaceRenderer;
    PreviewRenderer m_cageRenderer;
    bool m_showsCage = true;
    QString m_cornerLabel;
    bool m_glReady = false;
    QString m_glLog;
};

} // namespace tovarine
