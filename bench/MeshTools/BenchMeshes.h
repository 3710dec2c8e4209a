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

// A dense closed solid like a remeshed scan: a cube's sides split into even triangles and pushed onto a
// sphere of radius `radiusMm` displaced by bumps at several scales, about `triangles` triangles, wound
// outward, welded. `shuffled` puts the faces in a random order (vertices stay in order), the way some
// reconstructions write them; otherwise neighbouring faces are neighbours in the list.
MeshLists displacedSphere(std::int64_t triangles, double radiusMm, bool shuffled, std::uint32_t seed);

// A CAD-like closed solid of long slivers and fan caps: a cylinder whose side is one band of triangles
// running its whole height and whose caps are fanned from one rim vertex, about `triangles` triangles.
MeshLists fannedCylinder(std::int64_t triangles, double radiusMm, double heightMm);

// `mesh` without the faces whose corners all lie in the lowest `fraction` of its height: a scan with an
// open underside.
MeshLists cutBottom(const MeshLists& mesh, double fraction);

} // namespace tovarine::bench
