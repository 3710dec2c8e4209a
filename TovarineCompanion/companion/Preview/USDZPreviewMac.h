#pragma once

#include "PreviewModelLoader.h"
#include "PreviewRenderer.h"

#include <QWidget>

namespace tovarine {

class PreviewGlView;

// The result's model in an orbitable 3D view (PreviewGlView), at least 340 px high: studio lighting, the
// three shading modes, the brightness and contrast look. The model loads off the GUI thread; it loads again
// when the path or the file's modification time changes (checked whenever the path or the look is set, and
// when the view is shown); a failed load is remembered (not retried) for that file and its message is shown
// in the view. Where the display offers no OpenGL the view is black with its rounded outline and says that
// the preview needs OpenGL. GUI thread only.
class USDZPreviewMac : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kMinimumHeightPx = 340;

    explicit USDZPreviewMac(QWidget* parent = nullptr);
    // `readModel` replaces the model-file reader (tests).
    USDZPreviewMac(PreviewModelLoader::ReadModel readModel, QWidget* parent);
    ~USDZPreviewMac() override;

    void setModelPath(const QString& path);
    QString modelPath() const { return m_modelPath; }
    // Applies the look; like every update, it also reloads the model when its file changed.
    void setLook(const QString& shadingMode, double brightness, double contrast);

    const PreviewModelLoader& loader() const { return *m_loader; }
    const PreviewLookValues& look() const { return m_look; }
    // The GL view, or null where the display has no OpenGL.
    PreviewGlView* glView() const { return m_glView; }

    // Whether this display can show a GL widget with an OpenGL 3.3 core context (asked once, then
    // remembered).
    static bool openGlAvailable();

signals:
    // The model finished loading (or failed).
    void modelStatusChanged();

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void onLoaderStatusChanged();

    PreviewModelLoader* m_loader = nullptr;
    PreviewGlView* m_glView = nullptr;
    PreviewLookValues m_look;
    QString m_modelPath;
};

} // namespace tovarine
