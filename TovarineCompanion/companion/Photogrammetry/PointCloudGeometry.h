#pragma once

#include "Vec3.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <vector>

// Geometry steps on point sets, free of COLMAP and Qt: plane finding, axes, scale and normals. Any thread;
// the functions share no state and are deterministic for a given seed.
namespace tovarine::PointCloudGeometry {

// The plane dot(normal, x) == offset, normal of unit length.
struct Plane
{
    geo::Vec3 normal{0, 1, 0};
    double offset = 0.0;

    double signedDistance(const geo::Vec3& p) const { return geo::dot(normal, p) - offset; }
};

struct PlaneFitOptions
{
    double inlierDistance = 0.01; // same unit as the points
    double maxTiltDeg = 30.0;     // largest angle between the plane's normal and the up hint
    int iterations = 400;
    std::uint32_t seed = 1;
    std::size_t minInliers = 20;
};

// The plane with the most points within inlierDistance whose normal lies within maxTiltDeg of `upHint` and
// which passes below `above` (the point must be on the side `upHint` points to). The normal is refined by a
// least-squares fit to the inliers and oriented along `upHint`. Nothing when no such plane holds minInliers.
std::optional<Plane> fitSupportPlane(const std::vector<geo::Vec3>& points, const geo::Vec3& upHint,
                                     const geo::Vec3& above, const PlaneFitOptions& options = {});

// Least-squares plane through `points` (at least 3); its normal has no particular sign.
Plane fitPlane(const std::vector<geo::Vec3>& points);

// The point closest (least squares) to all lines centre + s * direction; nothing when the lines are (nearly)
// parallel or fewer than two.
std::optional<geo::Vec3> closestPointToLines(const std::vector<geo::Vec3>& centres,
                                             const std::vector<geo::Vec3>& directions);

// The up axis of an orbit capture: the normal of the plane through the camera centres, signed so that the
// cameras look down on average (dot(up, viewDirection) < 0). Unit length; +Z when fewer than 3 cameras.
geo::Vec3 orbitUp(const std::vector<geo::Vec3>& cameraCentres, const std::vector<geo::Vec3>& viewDirections);

// Distance from the cameras to the object assumed for a hand-held object capture (frames alone carry no
// scale).
inline constexpr double kAssumedCameraDistanceM = 0.4;

// The factor that turns reconstruction units into metres: it makes the median camera-to-object distance
// kAssumedCameraDistanceM. 1 when there are no cameras or they all sit on the object's centre.
// This is the only place the metric scale is decided, so it can be replaced by alignment to a metric model.
double metricScale(const std::vector<geo::Vec3>& cameraCentres, const geo::Vec3& objectCentre);

// Unit normals from the k nearest neighbours (plane fit), each oriented toward `towardViewer[i]` (the summed
// directions from point i to the cameras that saw it; a zero vector leaves the sign as fitted). Points with
// fewer than 3 neighbours get the normalised viewer direction. Returns an empty list when cancelled.
std::vector<geo::Vec3> estimateNormals(const std::vector<geo::Vec3>& points,
                                       const std::vector<geo::Vec3>& towardViewer, int k,
                                       const std::atomic<bool>* cancelled = nullptr);

// Indices of the points whose mean distance to their k nearest neighbours is at most
// mean + stdDevs * standard deviation of that figure over the whole set.
std::vector<std::size_t> statisticalInliers(const std::vector<geo::Vec3>& points, int k, double stdDevs);

// Median of `values` (copied); 0 for an empty list.
double median(std::vector<double> values);

} // namespace tovarine::PointCloudGeometry
