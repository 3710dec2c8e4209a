#include "MorvelSceneGlView.h"

#include "PreviewGlView.h"

#include <QOpenGLContext>
#include <QPainter>

namespace tovarine {

namespace {

constexpr int kCornerLabelPx = 11;
constexpr int kCornerLabelPaddingPx = 8;

} // namespace

MorvelSceneGlView::MorvelSceneGlView(std::shared_ptr<const PreviewBuffers> surface,
                                     std::shared_ptr<const MorvelCageBuffers> cage,
                                     const std::optional<CameraFrame>& frame, QWidget* parent)
    : OrbitGlView(frame, parent), m_surface(std::move(surface)), m_cage(std::move(cage))
{
}

MorvelSceneGlView::~MorvelSceneGlView()
{
    releaseGl();
}

void MorvelSceneGlView::setShowsCage(bool showsCage)
{
    if (showsCage != m_showsCage) {
        m_showsCage = showsCage;
        update();
    }
}

void MorvelSceneGlView::setCornerLabel(const QString& text)
{
    m_cornerLabel = text;
    update();
}

void MorvelSceneGlView::paintCornerLabel(QPainter& painter, const QRectF& bounds, const QString& text)
{
    if (text.isEmpty()) {
        return;
    }
    painter.save();
    QFont font(QStringLiteral("monospace"));
    font.setStyleHint(QFont::Monospace);
    font.setPixelSize(kCornerLabelPx);
    painter.setFont(font);
    painter.setPen(QColor(255, 255, 255, 153));
    painter.drawText(bounds.adjusted(kCornerLabelPaddingPx, kCornerLabelPaddingPx, 0, 0),
                     Qt::AlignLeft | Qt::AlignTop, text);
    painter.restore();
}

void MorvelSceneGlView::initializeGL()
{
    // A context that cannot run the shaders leaves the view black with the reason drawn over it.
    m_glReady = m_surfaceRenderer.initialize() && m_cageRenderer.initialize();
    m_glLog = m_surfaceRenderer.log().isEmpty() ? m_cageRenderer.log() : m_surfaceRenderer.log();
    if (m_glReady) {
        m_surfaceRenderer.upload(m_surface);
        m_cageRenderer.upload(std::shared_ptr<const PreviewBuffers>(m_cage, &m_cage->buffers));
    }
    connect(context(), &QOpenGLContext::aboutToBeDestroyed, this, &MorvelSceneGlView::releaseGl,
            Qt::UniqueConnection);
}

void MorvelSceneGlView::paintGL()
{
    if (m_glReady) {
        const qreal ratio = devicePixelRatioF();
        const int widthPx = int(width() * ratio);
        const int heightPx = int(height() * ratio);
        PreviewLookValues surfaceLook;
        surfaceLook.roughness = MorvelSceneGeometry::kSurfaceRoughness;
        m_surfaceRenderer.render(m_camera, widthPx, heightPx, surfaceLook);
        if (m_showsCage) {
            for (const MorvelCageBuffers::Run& run : m_cage->runs) {
                m_cageRenderer.renderEdges(m_camera, widthPx, heightPx, run.firstEdge, run.edgeCount,
                                           run.opacity);
            }
        }
    } else {
        clearToBlack();
    }
    QPainter painter(this);
    const QRectF bounds(rect());
    if (!m_glReady) {
        PreviewGlView::paintMessage(painter, bounds,
                                    tr("The 3D preview needs OpenGL 3.3: %1").arg(m_glLog.trimmed()));
    }
    paintCornerLabel(painter, bounds, m_cornerLabel);
    PreviewGlView::paintFrame(painter, bounds);
}

void MorvelSceneGlView::releaseGl()
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

} // namespace tovarine
