#pragma once

#include <QList>
#include <QWidget>

class QAbstractButton;
class QButtonGroup;

namespace ostrel {
class UserDefaults;
}

namespace tovarine {

class PreviewSliderRow;
using ostrel::UserDefaults;

// The look controls under the preview, bound to the three preview settings: a segmented Lit / Albedo /
// Wireframe switch (240 px), a divider, the Brightness and Contrast slider rows, then free space, 14 px
// apart on one line; where the width does not hold them all, the slider rows continue on the next line
// (without the divider). Writes each change at once and follows changes made elsewhere. Object names:
// shadingLit, shadingAlbedo, shadingWireframe, brightness*, contrast*. GUI thread only.
class PreviewControls : public QWidget
{
    Q_OBJECT
public:
    explicit PreviewControls(UserDefaults& defaults, QWidget* parent = nullptr);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void refresh();
    // Puts the picker and the two slider rows on as few lines as `width` allows.
    void arrange(int width);

    UserDefaults& m_defaults;
    QButtonGroup* m_shading = nullptr;
    PreviewSliderRow* m_brightness = nullptr;
    PreviewSliderRow* m_contrast = nullptr;
    QWidget* m_picker = nullptr;
    QWidget* m_divider = nullptr;
    QList<int> m_lineBreaks; // the arrangement in place: index of the first item of each line after the first
};

} // namespace tovarine
