#pragma once

#include "MeshTypes.h"

#include <cstdint>
#include <vector>

// How often each triangle edge is used across a triangle list, shared by the topology report and Thicken.
// Any thread; no state.
namespace tovarine::edgeusage {

// Undirected edge key: the smaller vertex index in the low 32 bits, the larger in the high 32 bits.
inline std::uint64_t undirectedKey(std::int64_t u, std::int64_t v)
{
    const auto a = static_cast<std::uint32_t>(u);
    const auto b = static_cast<std::uint32_t>(v);
    const std::uint32_t lo = a < b ? a : b;
    const std::uint32_t hi = a < b ? b : a;
    return (static_cast<std::uint64_t>(hi) << 32) | lo;
}

struct EdgeUse
{
    std::uint32_t uses = 0;    // triangles using this undirected edge
    std::uint32_t forward = 0; // of those, how many run it from the smaller to the larger index
};

// Tallies over the distinct undirected edges of a triangle list.
struct EdgeTally
{
    std::int64_t open = 0;        // used once
    std::int64_t nonManifold = 0; // used more than twice
    std::int64_t flipped = 0;     // used twice in the same direction
};

// For edge slot 3t + k of triangle t (k = 0: a→b, 1: b→c, 2: c→a), the use counts of its undirected edge;
// with `tally`, also the tallies of the distinct edges, from the same grouping.
std::vector<EdgeUse> slotUses(const MeshTriangles& triangles, EdgeTally* tally = nullptr);

// Adds `use`, one distinct edge, to `tally`.
void count(EdgeTally& tally, const EdgeUse& use);

// The tallies of the distinct edges of `triangles`.
EdgeTally tallyEdges(const MeshTriangles& triangles);

} // namespace tovarine::edgeusage
