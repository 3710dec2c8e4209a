#pragma once

#include "SollerinColors.h"
#include "SollerinGeometry.h"

#include <QBindable>
#include <QPropertyNotifier>
#include <QWidget>

#include <functional>
#include <optional>

namespace ostrel {

// A small orientation gizmo for a 3D viewer's orbit camera: the X, Y and Z axes as seen from the camera's yaw
// and pitch, drawn over a translucent disc in an 80 × 80 square, nearest axis on top. It reads the angles
// (degrees) through two bindable properties the viewer owns and never writes them; it redraws when either
// changes. Clicking an axis end reports the angles that look along that axis through `onAxisTap` (X: yaw 90,
// pitch 0; Y: yaw 0, pitch 90; Z: 0, 0); the viewer decides what to do. Presses anywhere else are ignored, so
// they reach the widget below (typically the viewer, the gizmo being its child). GUI thread only.
class Sollerin : public QWidget
{
    Q_OBJECT
public:
    Sollerin(QBindable<double> orbitYaw, QBindable<double> orbitPitch,
             SollerinColors colors = SollerinColors::defaultColors(),
             std::function<void(double yaw, double pitch)> onAxisTap = {}, QWidget* parent = nullptr);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    std::array<SollerinGeometry::ProjectedAxis, 3> axes() const;

    QBindable<double> m_orbitYaw;
    QBindable<double> m_orbitPitch;
    SollerinColors m_colors;
    std::function<void(double, double)> m_onAxisTap;
    QPropertyNotifier m_yawNotifier;
    QPropertyNotifier m_pitchNotifier;
    std::optional<SollerinGeometry::Axis> m_pressedAxis; // a press on an axis end, waiting for its release
};

} // namespace ostrel
