#pragma once

#include "Float3.h"

#include <cstdint>
#include <span>
#include <vector>

// Merges the vertices of a triangle mesh that lie closer together than a distance, so loose triangles (every
// corner its own vertex) become an indexed mesh whose triangles share vertices. Stateless, synchronous; any
// thread.
namespace ostrel::VertexWelder {

struct WeldResult
{
    std::vector<Float3> vertices;       // the kept positions, in order of first appearance
    std::vector<Float3> normals;        // one per kept vertex
    std::vector<std::uint32_t> indices; // the input indices remapped to kept vertices, same length and order
    std::int64_t originalCount = 0;     // number of input vertices
    std::int64_t weldedCount = 0;       // number of kept vertices
};

// Visits the vertices in order; each one joins the first kept vertex strictly closer than `threshold`
// (same units as the positions), searching the 3 × 3 × 3 cells of size 2 × threshold around its own cell
// (x outermost, z innermost; within a cell in insertion order), or else is kept with its own position and
// normal (normals[i], or (0, 1, 0) past the end of `normals`). Kept vertices are never moved or averaged.
// Every triangle stays, even one whose corners merged into one vertex.
//
// A zero, negative or NaN threshold merges nothing: every vertex is kept and the indices come back as given.
// Returns the empty result (no vertices, normals or indices, counts 0) for empty `vertices`, and also when the
// input breaks MeshInputCheck::problem (an index out of range, a non-finite coordinate, too many vertices).
WeldResult weld(std::span<const Float3> vertices, std::span<const Float3> normals,
                std::span<const std::uint32_t> indices, float threshold);

} // namespace ostrel::VertexWelder
