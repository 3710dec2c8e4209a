#include "CameraFraming.h"

#include <algorithm>
#include <cmath>

namespace tovarine::CameraFraming {

std::optional<CameraFrame> frame(const BoundingBox& box)
{
    const QVector3D centre = (box.min + box.max) / 2.0f;
    const QVector3D extent = box.max - box.min;
    // std::max would drop a NaN depending on argument order; test each extent for finiteness first.
    for (int axis = 0; axis < 3; ++axis) {
        if (!std::isfinite(extent[axis]) || !std::isfinite(centre[axis])) {
            return std::nullopt;
        }
    }
    const float size = std::max({std::abs(extent.x()), std::abs(extent.y()), std::abs(extent.z())});
    if (!(size > 0.0f) || !std::isfinite(size)) {
        return std::nullopt;
    }
    CameraFrame result;
    result.target = centre;
    result.position = centre + QVector3D(0.0f, 0.0f, size * kDistanceFactor);
    result.fieldOfViewDeg = kFieldOfViewDeg;
    result.zNear = size * kNearFactor;
    result.zFar = size * kFarFactor;
    result.size = size;
    return result;
}

} // namespace tovarine::CameraFraming
