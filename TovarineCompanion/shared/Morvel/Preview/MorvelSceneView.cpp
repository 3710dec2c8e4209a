#include "MorvelSceneView.h"

#include "MorvelSceneGlView.h"
#include "PreviewGlView.h"
#include "USDZPreviewMac.h"

#include <QPainter>
#include <QVBoxLayout>

namespace tovarine {

MorvelSceneView::MorvelSceneView(const MorvelPreview& preview, bool showsCage, QWidget* parent)
    : QWidget(parent), m_preview(preview), m_showsCage(showsCage)
{
    setMinimumHeight(kMinimumHeightPx);
    const MorvelSurfaceGeometry surface = MorvelSceneGeometry::surface(m_preview);
    m_surface = std::make_shared<const PreviewBuffers>(MorvelSceneBuffers::surface(surface));
    m_cage = std::make_shared<const MorvelCageBuffers>(
        MorvelSceneBuffers::cage(MorvelSceneGeometry::cage(m_preview)));
    m_frame = MorvelSceneBuffers::frame(surface.bounds);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    // A GL widget on a display without OpenGL cannot be composed at all: it is made only where it can work.
    if (USDZPreviewMac::openGlAvailable()) {
        m_glView = new MorvelSceneGlView(m_surface, m_cage, m_frame, this);
        m_glView->setObjectName(QStringLiteral("morvelGlView"));
        m_glView->setShowsCage(m_showsCage);
        layout->addWidget(m_glView);
    }
}

MorvelSceneView::~MorvelSceneView() = default;

void MorvelSceneView::setShowsCage(bool showsCage)
{
    m_showsCage = showsCage;
    if (m_glView) {
        m_glView->setShowsCage(showsCage);
    }
}

void MorvelSceneView::setCornerLabel(const QString& text)
{
    m_cornerLabel = text;
    if (m_glView) {
        m_glView->setCornerLabel(text);
    }
    update();
}

void MorvelSceneView::paintEvent(QPaintEvent*)
{
    if (m_glView) {
        return;
    }
    QPainter painter(this);
    const QRectF bounds(rect());
    painter.fillRect(rect(), Qt::black);
    PreviewGlView::paintMessage(painter, bounds,
                                tr("The 3D preview needs OpenGL 3.3, which this display does not offer."));
    MorvelSceneGlView::paintCornerLabel(painter, bounds, m_cornerLabel);
    PreviewGlView::paintFrame(painter, bounds);
}

} // namespace tovarine
