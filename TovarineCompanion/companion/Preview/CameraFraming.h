#pragma once

#include <QVector3D>
#include <optional>

namespace tovarine {

// An axis-aligned box in model units (metres). An empty model's box is the zero box.
struct BoundingBox
{
    QVector3D min;
    QVector3D max;
};

// Where the framing camera stands and how it sees.
struct CameraFrame
{
    QVector3D position;
    QVector3D target;             // the box centre; the camera looks straight at it
    float fieldOfViewDeg = 45.0f; // vertical
    float zNear = 0.0f;           // model units
    float zFar = 0.0f;            // model units
    float size = 0.0f;            // the box's largest extent
};

// The framing rule shared by the 3D views: size is the box's largest extent; only for a finite size above
// zero a camera with a 45-degree field of view, near plane size x 0.01 and far plane size x 50 is placed at
// centre + (0, 0, size x 1.8), aimed at the centre. Otherwise (a point, an infinite or NaN box) none.
// Any thread; pure.
namespace CameraFraming {

constexpr float kFieldOfViewDeg = 45.0f;
constexpr float kNearFactor = 0.01f;
constexpr float kFarFactor = 50.0f;
constexpr float kDistanceFactor = 1.8f;

std::optional<CameraFrame> frame(const BoundingBox& box);

} // namespace CameraFraming

} // namespace tovarine
