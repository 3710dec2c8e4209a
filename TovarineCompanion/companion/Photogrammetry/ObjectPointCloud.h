#pragma once

#include "ColmapTextModel.h"
#include "Expected.h"
#include "Vec3.h"

#include <QString>
#include <array>
#include <atomic>
#include <cstdint>
#include <utility>
#include <vector>

namespace tovarine {

// The similarity from reconstruction coordinates to the model's: metres, +Y up (the support plane's normal),
// origin on the support plane under the object's centre. model = scale * rotation * (world - origin).
struct ModelFrame
{
    geo::Mat3 rotation;
    geo::Vec3 origin;
    double scale = 1.0;

    geo::Vec3 apply(const geo::Vec3& world) const { return (rotation * (world - origin)) * scale; }
};

// The object's points in the model frame, ready for surface reconstruction.
struct ObjectCloud
{
    std::vector<geo::Vec3> positions;
    std::vector<geo::Vec3> normals; // unit, pointing toward the cameras that saw each point
    std::vector<std::array<std::uint8_t, 3>> colors;
    ModelFrame frame;
    bool supportPlaneFound = false;
    double cropRadiusM = 0.0; // horizontal distance from the Y axis that bounds the object
    double cropBottomM = 0.0; // everything below this height belongs to the support surface
    double cropTopM = 0.0;    // and everything above this is not the object
    std::vector<std::pair<QString, geo::Vec3>> cameraCentres; // image name and centre, model frame
};

struct ObjectCloudOptions
{
    int minTrackLength = 3;              // observations per point
    double maxReprojectionErrorPx = 2.0; // pixels
    int normalNeighbours = 12;           // points per normal fit
    double cropRadiusFraction = 0.55;    // of the median horizontal camera distance
    double supportBandM = 0.003;         // points this close to the support plane belong to it, metres
    double outlierStdDevs = 2.5;         // statistical outlier removal
};

// Turns a sparse model into the object's oriented point cloud: drops weak points, finds the object's centre
// from the cameras' optical axes, the up axis from the camera orbit and the support plane (RANSAC), the
// metric scale (PointCloudGeometry::metricScale), crops to the object, removes the support surface and
// outliers, and estimates normals. Any thread. Error: a user-facing sentence (too few cameras or points);
// cancelled returns an error whose text is empty.
namespace ObjectPointCloud {
Expected<ObjectCloud, QString> build(const SparseModel& model, const ObjectCloudOptions& options = {},
                                     const std::atomic<bool>* cancelled = nullptr);
} // namespace ObjectPointCloud

} // namespace tovarine
