#include "USDZPreviewMac.h"

#include "PreviewGlView.h"

#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QPainter>
#include <QVBoxLayout>

namespace tovarine {

USDZPreviewMac::USDZPreviewMac(QWidget* parent) : USDZPreviewMac(PreviewModelLoader::ReadModel(), parent) {}

USDZPreviewMac::USDZPreviewMac(PreviewModelLoader::ReadModel readModel, QWidget* parent)
    : QWidget(parent), m_loader(new PreviewModelLoader(std::move(readModel), this))
{
    setMinimumHeight(kMinimumHeightPx);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    // A GL widget on a display without OpenGL cannot be composed at all: it is made only where it can work.
    if (openGlAvailable()) {
        m_glView = new PreviewGlView(this);
        m_glView->setObjectName(QStringLiteral("previewGlView"));
        layout->addWidget(m_glView);
    }
    connect(m_loader, &PreviewModelLoader::statusChanged, this, &USDZPreviewMac::onLoaderStatusChanged);
}

USDZPreviewMac::~USDZPreviewMac() = default;

bool USDZPreviewMac::openGlAvailable()
{
    static const bool available = [] {
        // These platforms cannot compose a GL widget into a window even where they can make a context.
        const QString platform = QGuiApplication::platformName();
        if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal")) {
            return false;
        }
        QSurfaceFormat format;
        format.setVersion(3, 3);
        format.setProfile(QSurfaceFormat::CoreProfile);
        QOpenGLContext context;
        context.setFormat(format);
        if (!context.create()) {
            return false;
        }
        QOffscreenSurface surface;
        surface.setFormat(context.format());
        surface.create();
        const bool current = context.makeCurrent(&surface);
        const QSurfaceFormat actual = context.format();
        if (current) {
            context.doneCurrent();
        }
        return current && actual.version() >= qMakePair(3, 3);
    }();
    return available;
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
    if (m_glView) {
        m_glView->setLook(m_look);
    }
}

void USDZPreviewMac::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    m_loader->request(m_modelPath);
}

void USDZPreviewMac::onLoaderStatusChanged()
{
    if (m_glView) {
        m_glView->setModel(m_loader->buffers());
        m_glView->setMessage(
            m_loader->status() == PreviewModelLoader::Status::failed ? m_loader->errorMessage() : QString());
    }
    update();
    emit modelStatusChanged();
}

void USDZPreviewMac::paintEvent(QPaintEvent*)
{
    if (m_glView) {
        return;
    }
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    const QString message = m_loader->status() == PreviewModelLoader::Status::failed
                                ? m_loader->errorMessage()
                                : tr("The 3D preview needs OpenGL 3.3, which this display does not offer.");
    PreviewGlView::paintMessage(painter, QRectF(rect()), message);
    PreviewGlView::paintFrame(painter, QRectF(rect()));
}

} // namespace tovarine
