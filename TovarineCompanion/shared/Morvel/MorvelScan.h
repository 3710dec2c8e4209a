#pragma once

#include <QByteArray>
#include <cstdint>

namespace tovarine {

// The scan as the engine page takes it: two packed little-endian buffers and their counts.
struct MorvelScan
{
    QByteArray positions;         // vertexCount x (float32 x, y, z), millimetres, +Z up
    QByteArray triangles;         // triangleCount x (uint32 i0, i1, i2), 0-based, winding as in the source
    std::int64_t vertexCount = 0; // welded vertices
    std::int64_t triangleCount = 0;
    std::int64_t sourceVertexCount = 0; // vertices read from the file before welding
};

} // namespace tovarine
