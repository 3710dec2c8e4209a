#pragma once

#include <QWidget>
#include <functional>

class QGraphicsOpacityEffect;
class QLabel;
class QSlider;
class QToolButton;

namespace tovarine {

// One look slider: the title (52 px, trailing), a continuous slider (110 px), the read-out of the value
// (38 px, leading) and a reset button that sets the default; the button is dimmed to 25% while the value is
// at the default (70% otherwise, always clickable) and its tooltip is "Reset to " and the default's
// read-out. Object names: <name>Slider, <name>Readout, <name>Reset. GUI thread only.
class PreviewSliderRow : public QWidget
{
    Q_OBJECT
public:
    using Format = std::function<QString(double)>;

    PreviewSliderRow(const QString& objectNamePrefix, const QString& title, double minimum, double maximum,
                     double defaultValue, Format format, QWidget* parent = nullptr);

    // Shows `value` without emitting valueEdited.
    void setValue(double value);
    double value() const { return m_value; }

signals:
    // The user moved the slider or pressed reset.
    void valueEdited(double value);

private:
    void refresh();

    double m_minimum;
    double m_maximum;
    double m_default;
    double m_value;
    Format m_format;
    QSlider* m_slider = nullptr;
    QLabel* m_readout = nullptr;
    QToolButton* m_reset = nullptr;
    QGraphicsOpacityEffect* m_resetOpacity = nullptr;
};

} // namespace tovarine
