#pragma once

#include "MeshTypes.h"

#include <cstdint>

// Generated scan-like meshes for the mesh-tool benchmark: lumpy, slightly noisy spheres of a chosen size.
namespace tovarine::bench {

// A closed lumpy sphere of about `triangles` triangles, radius about `radiusMm`, wound outward, with each
// vertex's radius jittered by `noise` (relative standard deviation) like a scan's surface noise.
MeshLists lumpySphere(std::int64_t triangles, double radiusMm, double lumpiness, double noise,
                      std::uint32_t seed);

// A scan: the lumpy sphere with its bottom cap cut away (one open hole), about `triangles` triangles.
MeshLists openScan(std::int64_t triangles, std::uint32_t seed);

// A closed two-skin shell of about `triangles` triangles (outer skin and an inner copy scaled by
// `innerScale`, wound inward), as Thicken writes them.
MeshLists closedShell(std::int64_t triangles, double innerScale, double lumpiness, double noise,
                      std::uint32_t seed);

} // namespace tovarine::bench
