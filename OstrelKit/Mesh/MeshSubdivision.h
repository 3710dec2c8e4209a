#pragma once

#include "Float3.h"

#include <cstdint>
#include <span>
#include <vector>

// Refines a triangle mesh by splitting every triangle into four at its edge midpoints, a number of times, and
// computes fresh per-vertex normals. Positions are not smoothed: midpoints lie on the original edges, so the
// surface keeps its shape and only gains density. Stateless, synchronous; any thread.
namespace ostrel::MeshSubdivision {

// The most rounds one call runs: each round multiplies the triangle count by four, so eight already turn one
// triangle into 65,536.
inline constexpr int kMaxLevels = 8;

struct SubdivisionResult
{
    std::vector<Float3> vertices;
    std::vector<Float3> normals;
    std::vector<std::uint32_t> indices;
};

// `levels` ≤ 0 or empty `vertices`: the three inputs come back unchanged (the given normals included).
// Otherwise runs `levels` rounds; the given normals are not used. Each round keeps the old vertices at their
// indices, appends one midpoint per distinct edge (triangle by triangle, edges ab, bc, ca; both directions of
// an edge share it) and replaces triangle (a, b, c) by (a, mab, mca), (mab, b, mbc), (mca, mbc, c),
// (mab, mbc, mca); one or two trailing indices are dropped. Each final vertex normal is the normalised sum
// of the unit normals of its triangles, every triangle counting equally; triangles without a finite normal
// (zero area) add nothing, and a vertex left with a sum of length 1e-6 or less gets (0, 1, 0).
//
// Returns the empty result (three empty lists) when the input breaks MeshInputCheck::problem, when `levels`
// exceeds kMaxLevels, or when the result would need more than MeshInputCheck::kMaxVertexCount vertices or
// more than 2^32 − 1 triangles.
SubdivisionResult subdivide(std::span<const Float3> vertices, std::span<const Float3> normals,
                            std::span<const std::uint32_t> indices, int levels);

// The per-vertex normals of a triangle mesh as `subdivide` computes them. Indices must be in range.
std::vector<Float3> vertexNormals(std::span<const Float3> vertices, std::span<const std::uint32_t> indices);

} // namespace ostrel::MeshSubdivision
