#pragma once

#include "MeshTypes.h"

#include <cstddef>
#include <optional>

// Normalising a freshly read triangle mesh: dropping unusable triangles, welding coincident vertices and
// counting open, non-manifold and inconsistently wound edges. Pure functions; any thread.
namespace tovarine::MeshTopology {

// A cell of the weld's spatial hash.
struct Cell
{
    std::int64_t x = 0;
    std::int64_t y = 0;
    std::int64_t z = 0;

    friend bool operator==(const Cell&, const Cell&) = default;
};

struct CellHash
{
    std::size_t operator()(const Cell& cell) const;
};

struct EdgeReport
{
    std::int64_t open = 0;        // edges used by exactly one triangle
    std::int64_t nonManifold = 0; // edges used by more than two triangles
    std::int64_t flipped = 0;     // edges used twice in the same direction

    friend bool operator==(const EdgeReport&, const EdgeReport&) = default;
};

// Keeps, in order, the triangles whose three indices lie in [0, vertexCount) and are pairwise distinct.
MeshTriangles validTriangles(const MeshTriangles& triangles, std::int64_t vertexCount);

// Merges vertices closer than `tolerance` (distance <= tolerance) into the first surviving vertex found in
// the 27 neighbouring hash cells (z, then y, then x from -1 to +1; within a cell in order of survival).
// Representatives keep their coordinates and merging never chains. Only vertices used by a kept triangle
// survive, in order of first appearance; triangles are remapped in order, and one whose corners are no
// longer distinct is dropped.
// No tolerance (or one that is not a positive finite number): the largest extent of the box of the kept
// vertices × 1e-6, at least 1e-9 (values at or below 1e-9 become 1e-9).
// Unusable input is handled without failing: a triangle with an index outside `positions` or a corner that
// is not finite is dropped, and the box is taken over the vertices of the kept triangles only, so a stray
// NaN, infinite or far-away unused vertex cannot collapse the weld. An empty position list is returned
// unchanged.
MeshLists weld(const MeshPositions& positions, const MeshTriangles& triangles,
               std::optional<double> tolerance = std::nullopt);

// Counts each undirected edge of the triangles (a→b, b→c, c→a): used once is open, more than twice is
// non-manifold, twice in the same direction is flipped. Vertex indices must lie in [0, 2^32).
EdgeReport edgeReport(const MeshTriangles& triangles);

} // namespace tovarine::MeshTopology
