#pragma once

#include "CameraFraming.h"
#include "MorvelSceneGeometry.h"
#include "PreviewBuffers.h"

#include <optional>
#include <vector>

namespace tovarine {

// The cage wire as uploaded: one vertex copy per drawn edge class (coloured with the class colour) and the
// edges of each class as one run of the edge list.
struct MorvelCageBuffers
{
    struct Run
    {
        MorvelEdgeClass edgeClass = MorvelEdgeClass::plain;
        int firstEdge = 0; // index of the run's first edge in buffers.edgeIndices (pairs)
        int edgeCount = 0;
        float opacity = 1.0f; // the class colour's alpha
    };

    PreviewBuffers buffers; // no triangles
    std::vector<Run> runs;  // non-empty classes only, in the order plain, soft, hard
};

// The cage preview's upload buffers and camera, in the shared preview's formats. Any thread; pure.
namespace MorvelSceneBuffers {

// Where the framing camera stands, as a multiple of the box's largest extent from its centre.
inline const QVector3D kCameraOffsetPerSize{0.9f, 0.9f, 1.4f};

// The surface with its normals and the surface grey as every vertex's colour.
PreviewBuffers surface(const MorvelSurfaceGeometry& surface);
MorvelCageBuffers cage(const MorvelCageGeometry& cage);
// The shared framing rule (45 degrees, near size x 0.01, far size x 50, nothing unless the size is finite
// and above zero), with the camera at centre + kCameraOffsetPerSize x size, looking at the centre.
std::optional<CameraFrame> frame(const BoundingBox& bounds);

} // namespace MorvelSceneBuffers

} // namespace tovarine
