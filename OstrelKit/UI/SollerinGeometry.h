#pragma once

#include <QPointF>
#include <QRectF>
#include <QString>

#include <array>
#include <optional>

// Where the axis gizmo draws its three axes for a camera yaw and pitch, in which order, and which axis a
// point hits. Plain maths for the Sollerin widget, testable without a display. Any thread.
namespace ostrel::SollerinGeometry {

inline constexpr double kSize = 80.0;           // the gizmo's square side, device-independent pixels
inline constexpr double kAxisLength = 28.0;     // projected length of a unit axis seen side-on
inline constexpr double kEndpointRadius = 4.0;
inline constexpr double kLineWidth = 2.0;
inline constexpr double kTapTargetSide = 22.0;  // square click target centred on each axis end
inline constexpr double kLabelOffset = 10.0;    // labels sit this far beyond the axis end, away from the centre

enum class Axis { x, y, z };

struct ProjectedAxis
{
    Axis axis = Axis::x;
    QString label;   // "X", "Y", "Z"
    QPointF end;     // the axis end in widget coordinates (y down), the centre being (kSize / 2, kSize / 2)
    double depth = 0.0; // larger is nearer the viewer
    double snapYaw = 0.0;   // degrees the camera should turn to when this axis is clicked
    double snapPitch = 0.0;
};

// The X, Y and Z axes in that order, seen from `yawDeg` and `pitchDeg`. At yaw 0 and pitch 0, X points right,
// Y up and Z at the viewer; positive yaw turns Z to the right, positive pitch brings Y towards the viewer.
std::array<ProjectedAxis, 3> project(double yawDeg, double pitchDeg);

// The axes farthest first (stable, so equal depths keep the X, Y, Z order): the painting order.
std::array<ProjectedAxis, 3> drawOrder(std::array<ProjectedAxis, 3> axes);

// Where an axis's label is centred: kLabelOffset beyond its end along the line from the centre, or at the end
// itself when the end is within 0.001 of the centre.
QPointF labelCentre(const QPointF& end);

// The square click target of an axis end.
QRectF tapTarget(const QPointF& end);

// The axis whose click target holds `point`; where targets overlap Z wins over Y and Y over X. Nothing when
// the point is on no target.
std::optional<ProjectedAxis> hit(const std::array<ProjectedAxis, 3>& axes, const QPointF& point);

} // namespace ostrel::SollerinGeometry
