#include "PreviewGlView.h"

#include <QOpenGLContext>
#include <QPainter>
#include <QPainterPath>

namespace tovarine {

PreviewGlView::PreviewGlView(QWidget* parent) : OrbitGlView(std::nullopt, parent) {}

PreviewGlView::~PreviewGlView()
{
    releaseGl();
}

void PreviewGlView::setModel(std::shared_ptr<const PreviewBuffers> buffers)
{
    m_buffers = std::move(buffers);
    m_camera = OrbitCamera(m_buffers ? CameraFraming::frame(m_buffers->bounds) : std::nullopt);
    m_needsUpload = true;
    update();
}

void PreviewGlView::setLook(const PreviewLookValues& look)
{
    m_look = look;
    update();
}

void PreviewGlView::setMessage(const QString& message)
{
    m_message = message;
    update();
}

void PreviewGlView::initializeGL()
{
    // A context that cannot run the shaders leaves the view black with the reason drawn over it.
    m_glReady = m_renderer.initialize();
    m_needsUpload = true;
    connect(context(), &QOpenGLContext::aboutToBeDestroyed, this, &PreviewGlView::releaseGl,
            Qt::UniqueConnection);
}

void PreviewGlView::paintGL()
{
    if (m_glReady) {
        if (m_needsUpload) {
            m_renderer.upload(m_buffers);
            m_needsUpload = false;
        }
        const qreal ratio = devicePixelRatioF();
        m_renderer.render(m_camera, int(width() * ratio), int(height() * ratio), m_look);
    } else {
        clearToBlack();
    }
    QPainter painter(this);
    const QString message =
        m_glReady ? m_message : tr("The 3D preview needs OpenGL 3.3: %1").arg(m_renderer.log().trimmed());
    paintMessage(painter, QRectF(rect()), message);
    paintFrame(painter, QRectF(rect()));
}

void PreviewGlView::paintFrame(QPainter& painter, const QRectF& bounds)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF outline = bounds.adjusted(0.5, 0.5, -0.5, -0.5);
    // Black outside the rounded corners (the window behind is black), then the outline along them.
    QPainterPath outside;
    outside.addRect(bounds);
    QPainterPath rounded;
    rounded.addRoundedRect(outline, kCornerRadiusPx, kCornerRadiusPx);
    painter.fillPath(outside.subtracted(rounded), Qt::black);
    painter.setPen(QPen(QColor(255, 255, 255, 38), 1.0));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(outline, kCornerRadiusPx, kCornerRadiusPx);
    painter.restore();
}

void PreviewGlView::paintMessage(QPainter& painter, const QRectF& bounds, const QString& message)
{
    if (message.isEmpty()) {
        return;
    }
    painter.save();
    QFont font = painter.font();
    font.setPixelSize(12);
    painter.setFont(font);
    painter.setPen(QColor(255, 255, 255, 153));
    painter.drawText(bounds.adjusted(24, 24, -24, -24), Qt::AlignCenter | Qt::TextWordWrap, message);
    painter.restore();
}

void PreviewGlView::releaseGl()
{
    if (!m_glReady || !context()) {
        return;
    }
    makeCurrent();
    m_renderer.release();
    doneCurrent();
    m_glReady = false;
}

} // namespace tovarine
