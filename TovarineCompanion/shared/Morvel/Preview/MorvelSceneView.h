#pragma once

#include "MorvelPreview.h"
#include "MorvelSceneBuffers.h"

#include <QWidget>
#include <memory>
#include <optional>

namespace tovarine {

class MorvelSceneGlView;

// A finished fit in an orbitable 3D view, at least 340 px high: the cage's limit surface (lit grey) and
// over it the cage wire, its edges coloured by crease weight (plain cyan, soft creases yellow, hard creases
// orange). Metres, +Y up; framed by the shared framing rule from above and to the side. The geometry is
// built once, from the preview given at construction; later only the wire's visibility changes. Black
// background, rounded corners of radius 10 with the 1-pixel outline, and an optional label in the top-left
// corner. Where the display offers no OpenGL the view is black with its outline and says that it needs
// OpenGL. GUI thread only.
class MorvelSceneView : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kMinimumHeightPx = 340;

    MorvelSceneView(const MorvelPreview& preview, bool showsCage, QWidget* parent = nullptr);
    ~MorvelSceneView() override;

    // Shows or hides the cage wire; nothing is rebuilt.
    void setShowsCage(bool showsCage);
    bool showsCage() const { return m_showsCage; }
    // Text drawn in the top-left corner (monospaced 11 px, white at 60%, 8 px from the corner).
    void setCornerLabel(const QString& text);
    const QString& cornerLabel() const { return m_cornerLabel; }

    // The fit the view was built from, and what was built from it.
    const MorvelPreview& preview() const { return m_preview; }
    const PreviewBuffers& surfaceBuffers() const { return *m_surface; }
    const MorvelCageBuffers& cageBuffers() const { return *m_cage; }
    // The framing camera; nothing when the surface had no finite extent (a default view is used).
    const std::optional<CameraFrame>& frame() const { return m_frame; }
    // The GL view, or null where the display has no OpenGL.
    MorvelSceneGlView* glView() const { return m_glView; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    MorvelPreview m_preview;
    std::shared_ptr<const PreviewBuffers> m_surface;
    std::shared_ptr<const MorvelCageBuffers> m_cage;
    std::optional<CameraFrame> m_frame;
    bool m_showsCage = true;
    QString m_cornerLabel;
    MorvelSceneGlView* m_glView = nullptr;
};

} // namespace tovarine
