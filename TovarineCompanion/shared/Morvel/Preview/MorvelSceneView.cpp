#include "MorvelSceneView.h"

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
constexpr int kCornerLabelPx = 11;
constexpr int kCornerLabelPaddingPx = 8;

} // namespace

MorvelSceneView::MorvelSceneView(const MorvelPreview& preview, bool showsCage, QWidget* parent)
    : QOpenGLWidget(parent), m_preview(preview), m_showsCage(showsCage)
{
    QSurfaceFormat format;
    format.setVersion(3, 3);
    format.setProfile(QSurfaceFormat::CoreProfile);
    format.setSamples(kMultisamples);
    format.setDepthBufferSize(24);
    setFormat(format);
    setMinimumHeight(kMinimumHeightPx);

    const MorvelSurfaceGeometry surface = MorvelSceneGeometry::surface(preview);
    m_surface = std::make_shared<const PreviewBuffers>(MorvelSceneBuffers::surface(surface));
    m_cage = std::make_shared<const MorvelCageBuffers>(
        MorvelSceneBuffers::cage(MorvelSceneGeometry::cage(preview)));
    const std::optional<CameraFrame> frame = MorvelSceneBuffers::frame(surface.bounds);
    m_framed = frame.has_value();
    m_camera = OrbitCamera(frame);
}

MorvelSceneView::~MorvelSceneView()
{
    releaseGl();
}

void MorvelSceneView::setShowsCage(bool showsCage)
{
    if (showsCage != m_showsCage) {
        m_showsCage = showsCage;
        update();
    }
}

void MorvelSceneView::setCornerLabel(const QString& text)
{
    m_cornerLabel = text;
    update();
}

void MorvelSceneView::initializeGL()
{
    // A context that cannot run the shaders leaves the view black with the reason drawn over it.
    m_glReady = m_surfaceRenderer.initialize() && m_cageRenderer.initialize();
    m_glLog = m_surfaceRenderer.log().isEmpty() ? m_cageRenderer.log() : m_surfaceRenderer.log();
    if (m_glReady) {
        m_surfaceRenderer.upload(m_surface);
        m_cageRenderer.upload(std::shared_ptr<const PreviewBuffers>(m_cage, &m_cage->buffers));
    }
    connect(context(), &QOpenGLContext::aboutToBeDestroyed, this, &MorvelSceneView::releaseGl,
            Qt::UniqueConnection);
}

void MorvelSceneView::paintGL()
{
    if (m_glReady) {
        const qreal ratio = devicePixelRatioF();
        const int widthPx = int(width() * ratio);
        const int heightPx = int(height() * ratio);
        m_surfaceRenderer.render(m_camera, widthPx, heightPx, PreviewLookValues{});
        if (m_showsCage) {
            for (const MorvelCageBuffers::Run& run : m_cage->runs) {
                m_cageRenderer.renderEdges(m_camera, widthPx, heightPx, run.firstEdge, run.edgeCount,
                                           run.opacity);
            }
        }
    } else {
        auto* gl = context()->functions();
        gl->glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        gl->glClear(GL_COLOR_BUFFER_BIT);
    }
    paintOverlay();
}

void MorvelSceneView::paintOverlay()
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds = QRectF(rect());
    const QRectF outline = bounds.adjusted(0.5, 0.5, -0.5, -0.5);

    if (!m_glReady) {
        QFont font = painter.font();
        font.setPixelSize(12);
        painter.setFont(font);
        painter.setPen(QColor(255, 255, 255, 153));
        painter.drawText(bounds.adjusted(24, 24, -24, -24), Qt::AlignCenter | Qt::TextWordWrap,
                         tr("The 3D preview needs OpenGL 3.3: %1").arg(m_glLog.trimmed()));
    }
    if (!m_cornerLabel.isEmpty()) {
        QFont font(QStringLiteral("monospace"));
        font.setStyleHint(QFont::Monospace);
        font.setPixelSize(kCornerLabelPx);
        painter.setFont(font);
        painter.setPen(QColor(255, 255, 255, 153));
        painter.drawText(bounds.adjusted(kCornerLabelPaddingPx, kCornerLabelPaddingPx, 0, 0),
                         Qt::AlignLeft | Qt::AlignTop, m_cornerLabel);
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

void MorvelSceneView::releaseGl()
{
    if (!m_glReady || !context()) {
        return;
    }
    makeCurrent();
    m_surfaceRenderer.release();
    m_cageRenderer.release();
    doneCurrent();
    m_glReady = false;
}

void MorvelSceneView::mousePressEvent(QMouseEvent* event)
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

void MorvelSceneView::mouseMoveEvent(QMouseEvent* event)
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

void MorvelSceneView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == m_dragButton) {
        m_dragButton = Qt::NoButton;
    }
    event->accept();
}

void MorvelSceneView::wheelEvent(QWheelEvent* event)
{
    const float notches = float(event->angleDelta().y()) / 120.0f;
    if (notches != 0.0f) {
        m_camera.dolly(notches);
        update();
    }
    event->accept();
}

} // namespace tovarine
