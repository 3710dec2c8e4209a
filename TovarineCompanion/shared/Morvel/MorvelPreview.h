#pragma once

#include <cstdint>
#include <vector>

namespace tovarine {

// The geometry of a finished fit, in millimetres, +Z up. Every index lies below its vertex count (the reply
// decoder empties a part that breaks this).
struct MorvelPreview
{
    std::vector<float> limitPositions;         // x, y, z per limit-surface vertex
    std::vector<std::uint32_t> limitTriangles; // three per triangle
    std::vector<float> cagePositions;          // x, y, z per cage vertex
    std::vector<std::uint32_t> cageEdges;      // two per edge
    std::vector<double> creaseWeights;         // one per cage edge, in edge order

    bool operator==(const MorvelPreview&) const = default;
};

} // namespace tovarine
