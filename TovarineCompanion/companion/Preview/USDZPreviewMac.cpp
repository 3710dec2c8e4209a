#include "USDZPreviewMac.h"

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

USDZPreviewMac::USDZPreviewMac(QWidget* parent) : USDZPreviewMac(PreviewModelLoader::ReadModel(), parent) {}

USDZPreviewMac::USDZPreviewMac(PreviewModelLoader::ReadModel readModel, QWidget* parent)
    : QOpenGLWidget(parent), m_loader(new PreviewModelLoader(std::move(readModel), this))
{
    QSurfaceFormat format;
    format.setVersion(3, 3);
    format.setProfile(QSurfaceFormat::CoreProfile);
    format.setSamples(kMultisamples);
    format.setDepthBufferSize(24);
    setFormat(format);
    setMinimumHeight(kMinimumHeightPx);
    connect(m_loader, &PreviewModelLoader::statusChanged, this, &USDZPreviewMac::onLoaderStatusChanged);
}

USDZPreviewMac::~USDZPreviewMac()
{
    releaseGl();
}

void USDZPreviewMac::setModelPath(const QString& path)
{
    m_modelPath = path;
    m_loader->request(m_modelPath);
}

void USDZPreviewMac::setLook(const QString& shadingMode, double brightness, double contrast)
{
    m_look.shading = PreviewLook::shadingMode(shadingMode);
    m_look.brightness = float(brightness);
    m_look.contrast = float(contrast);
    m_loader->request(m_modelPath);
    update();
}

void USDZPreviewMac::showEvent(QShowEvent* event)
{
    QOpenGLWidget::showEvent(event);
    m_loader->request(m_modelPath);
}

void USDZPreviewMac::onLoaderStatusChanged()
{
    if (m_loader->status() == PreviewModelLoader::Status::loaded) {
        m_camera = OrbitCamera(CameraFraming::frame(m_loader->buffers()->bounds));
    } else {
        m_camera = OrbitCamera();
    }
    m_needsUpload = true;
    update();
    emit modelStatusChanged();
}

void USDZPreviewMac::initializeGL()
{
    // A context that cannot run the shaders leaves the view black with the reason drawn over it.
    m_glReady = m_renderer.initialize();
    m_needsUpload = true;
    connect(context(), &QOpenGLContext::aboutToBeDestroyed, this, &USDZPreviewMac::releaseGl,
            Qt::UniqueConnection);
}

void USDZPreviewMac::paintGL()
{
    if (m_glReady) {
        if (m_needsUpload) {
            m_renderer.upload(m_loader->buffers());
            m_needsUpload = false;
        }
        const qreal ratio = devicePixelRatioF();
        m_renderer.render(m_camera, int(width() * ratio), int(height() * ratio), m_look);
    } else {
        auto* gl = context()->functions();
        gl->glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        gl->glClear(GL_COLOR_BUFFER_BIT);
    }
    paintOverlay();
}

void USDZPreviewMac::paintOverlay()
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds = QRectF(rect());
    const QRectF outline = bounds.adjusted(0.5, 0.5, -0.5, -0.5);

    QString message;
    if (!m_glReady) {
        message = tr("The 3D preview needs OpenGL 3.3: %1").arg(m_renderer.log().trimmed());
    } else if (m_loader->status() == PreviewModelLoader::Status::failed) {
        message = m_loader->errorMessage();
    }
    if (!message.isEmpty()) {
        QFont font = painter.font();
        font.setPixelSize(12);
        painter.setFont(font);
        painter.setPen(QColor(255, 255, 255, 153));
        painter.drawText(bounds.adjusted(24, 24, -24, -24), Qt::AlignCenter | Qt::TextWordWrap, message);
    }

    // Black outside the rounded corners (the window behind is black), then the outline along them.
    QPainterPath outside;
    outside.addRect(bounds);
    QPainterPath rounded;
    rounded.addRoundedRect(outline, kCornerRadiusPx, kCornerRadiusPx);
    painter.fillPath(outside.subtracted(rounded), Qt::black);
    painter.setPen(QPen(QColor(255, 255, 255, 38), 1.0));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(outline, kCornerRadiusPx, kCornerRadiusPx);
}

void USDZPreviewMac::releaseGl()
{
    if (!m_glReady || !context()) {
        return;
    }
    makeCurrent();
    m_renderer.release();
    doneCurrent();
    m_glReady = false;
}

void USDZPreviewMac::mousePressEvent(QMouseEvent* event)
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

void USDZPreviewMac::mouseMoveEvent(QMouseEvent* event)
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

void USDZPreviewMac::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == m_dragButton) {
        m_dragButton = Qt::NoButton;
    }
    event->accept();
}

void USDZPreviewMac::wheelEvent(QWheelEvent* event)
{
    const float notches = float(event->angleDelta().y()) / 120.0f;
    if (notches != 0.0f) {
        m_camera.dolly(notches);
        update();
    }
    event->accept();
}

} // namespace tovarine
