#pragma once

#include "OrbitGlView.h"
#include "PreviewBuffers.h"
#include "PreviewRenderer.h"

#include <memory>

namespace tovarine {

// Draws one model's buffers with the studio rig: black background with 4x multisampling, rounded corners of
// radius 10 and a 1-pixel outline of white at 15% opacity, and a message (a failure) over the middle when
// there is one. Left button orbits, right or middle button pans, the wheel dollies; a new model resets the
// camera to its framing. Needs OpenGL 3.3 core; without it the view stays black and says so. GUI thread only.
class PreviewGlView : public OrbitGlView
{
    Q_OBJECT
public:
    static constexpr qreal kCornerRadiusPx = 10.0;

    explicit PreviewGlView(QWidget* parent = nullptr);
    ~PreviewGlView() override;

    // Null: nothing to draw.
    void setModel(std::shared_ptr<const PreviewBuffers> buffers);
    void setLook(const PreviewLookValues& look);
    // Shown over the middle of the view; empty for none.
    void setMessage(const QString& message);

    // Paints the outline along the rounded corners and black outside them, over whatever is below.
    static void paintFrame(QPainter& painter, const QRectF& bounds);
    // Paints `message` centred in `bounds`, white at 60%.
    static void paintMessage(QPainter& painter, const QRectF& bounds, const QString& message);

protected:
    void initializeGL() override;
    void paintGL() override;

private:
    void releaseGl();

    PreviewRenderer m_renderer;
    std::shared_ptr<const PreviewBuffers> m_buffers;
    PreviewLookValues m_look;
    QString m_message;
    bool m_glReady = false;
    bool m_needsUpload = false;
};

} // namespace tovarine
