#pragma once

#include "ModelMesh.h"
#include "PlyFile.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// Clean-up of the reconstructed surface into the model the user gets. Any thread; no shared state.
namespace tovarine::MeshCleanup {

struct Options
{
    double cropRadiusM = 1e30;    // triangles whose centroid lies farther from the Y axis are dropped
    double cropBottomM = -1e30;   // and those whose centroid lies below this height (the support surface)
    double cropTopM = 1e30;       // or above this one
    std::size_t maxTriangles = 0; // decimation cap; 0 keeps every triangle
    double minComponentFraction = 0.05; // components smaller than this share of the largest are dropped
};

// Welds vertices that share a position, crops, keeps the large connected components, decimates to the cap,
// drops triangles without area (two corners in one place, or three in a line within float rounding), orients
// the faces outward (positive signed volume), and fills in unit vertex normals and vertex colours (0...1;
// grey when the surface has none). An empty mesh comes back when nothing survives.
ModelMesh finish(const PlyMesh& surface, const Options& options);

// Signed volume of a triangle mesh (positive for a closed, outward-facing, counter-clockwise surface).
double signedVolume(const std::vector<float>& positions, const std::vector<std::uint32_t>& indices);

// Number of edges used by exactly one triangle (0 for a closed surface).
std::size_t boundaryEdgeCount(const std::vector<std::uint32_t>& indices);

} // namespace tovarine::MeshCleanup
