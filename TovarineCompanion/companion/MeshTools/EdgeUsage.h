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

// For edge slot 3t + k of triangle t (k = 0: a→b, 1: b→c, 2: c→a), the use counts of its undirected edge.
std::vector<EdgeUse> slotUses(const MeshTriangles& triangles);

// One entry per distinct undirected edge, in no particular order.
std::vector<EdgeUse> distinctEdges(const MeshTriangles& triangles);

} // namespace tovarine::edgeusage
