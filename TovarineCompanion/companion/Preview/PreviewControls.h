#pragma once

#include <QWidget>

class QAbstractButton;
class QButtonGroup;

namespace tovarine {

class PreviewSliderRow;
class UserDefaults;

// The look controls under the preview, bound to the three preview settings: a segmented Lit / Albedo /
// Wireframe switch (240 px), a divider, the Brightness and Contrast slider rows, then free space. Writes
// each change at once and follows changes made elsewhere. Object names: shadingLit, shadingAlbedo,
// shadingWireframe, brightness*, contrast*. GUI thread only.
class PreviewControls : public QWidget
{
    Q_OBJECT
public:
    explicit PreviewControls(UserDefaults& defaults, QWidget* parent = nullptr);

private:
    void refresh();

    UserDefaults& m_defaults;
    QButtonGroup* m_shading = nullptr;
    PreviewSliderRow* m_brightness = nullptr;
    PreviewSliderRow* m_contrast = nullptr;
};

} // namespace tovarine
