#include "PreviewGlView.h"

#include <QMouseEvent>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QPainter>
#include <QPainterPath>
#include <QSurfaceFormat>
#include <QWheelEvent>

namespace tovarine {

namespace {

constexpr int kMultisamples = 4;

} // namespace

PreviewGlView::PreviewGlView(QWidget* parent) : QOpenGLWidget(parent)
{
    QSurfaceFormat format;
    format.setVersion(3, 3);
    format.setProfile(QSurfaceFormat::CoreProfile);
    format.setSamples(kMultisamples);
    format.setDepthBufferSize(24);
    setFormat(format);
}

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
        auto* gl = context()->functions();
        gl->glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        gl->glClear(GL_COLOR_BUFFER_BIT);
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

void PreviewGlView::mousePressEvent(QMouseEvent* event)
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

void PreviewGlView::mouseMoveEvent(QMouseEvent* event)
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

void PreviewGlView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == m_dragButton) {
        m_dragButton = Qt::NoButton;
    }
    event->accept();
}

void PreviewGlView::wheelEvent(QWheelEvent* event)
{
    const float notches = float(event->angleDelta().y()) / 120.0f;
    if (notches != 0.0f) {
        m_camera.dolly(notches);
        update();
    }
    event->accept();
}

} // namespace tovarine
