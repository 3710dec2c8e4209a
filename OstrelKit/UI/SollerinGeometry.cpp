#include "SollerinGeometry.h"

#include <QLineF>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace ostrel::SollerinGeometry {

namespace {

ProjectedAxis projectOne(Axis axis, const char* label, double x, double y, double z, double snapYaw,
                         double snapPitch, double yaw, double pitch)
{
    const double r = std::cos(yaw) * z - std::sin(yaw) * x;
    ProjectedAxis a;
    a.axis = axis;
    a.label = QString::fromLatin1(label);
    a.end = QPointF(kSize / 2 + kAxisLength * (std::cos(yaw) * x + std::sin(yaw) * z),
                    kSize / 2 - kAxisLength * (std::cos(pitch) * y - r * std::sin(pitch)));
    a.depth = std::sin(pitch) * y + r * std::cos(pitch);
    a.snapYaw = snapYaw;
    a.snapPitch = snapPitch;
    return a;
}

} // namespace

std::array<ProjectedAxis, 3> project(double yawDeg, double pitchDeg)
{
    const double yaw = yawDeg * std::numbers::pi / 180.0;
    const double pitch = pitchDeg * std::numbers::pi / 180.0;
    return {projectOne(Axis::x, "X", 1, 0, 0, 90, 0, yaw, pitch), projectOne(Axis::y, "Y", 0, 1, 0, 0, 90, yaw, pitch),
            projectOne(Axis::z, "Z", 0, 0, 1, 0, 0, yaw, pitch)};
}

std::array<ProjectedAxis, 3> drawOrder(std::array<ProjectedAxis, 3> axes)
{
    std::stable_sort(axes.begin(), axes.end(),
                     [](const ProjectedAxis& a, const ProjectedAxis& b) { return a.depth < b.depth; });
    return axes;
}

QPointF labelCentre(const QPointF& end)
{
    const QPointF centre(kSize / 2, kSize / 2);
    const QPointF out = end - centre;
    const double distance = std::hypot(out.x(), out.y());
    if (distance <= 0.001) {
        return end;
    }
    return end + out * (kLabelOffset / distance);
}

QRectF tapTarget(const QPointF& end)
{
    return QRectF(end.x() - kTapTargetSide / 2, end.y() - kTapTargetSide / 2, kTapTargetSide, kTapTargetSide);
}

std::optional<ProjectedAxis> hit(const std::array<ProjectedAxis, 3>& axes, const QPointF& point)
{
    for (auto a = axes.rbegin(); a != axes.rend(); ++a) {
        if (tapTarget(a->end).contains(point)) {
            return *a;
        }
    }
    return std::nullopt;
}

} // namespace ostrel::SollerinGeometry
