#pragma once

#include "Expected.h"
#include "Vec3.h"

#include <QString>
#include <array>
#include <cstdint>
#include <vector>

namespace tovarine {

// A triangle mesh as the surface reconstruction writes it; colors may be empty.
struct PlyMesh
{
    std::vector<float> positions;       // x, y, z per vertex
    std::vector<std::uint8_t> colors;   // r, g, b per vertex, or empty
    std::vector<float> normals;         // nx, ny, nz per vertex, or empty
    std::vector<std::uint32_t> indices; // three per triangle (none for a point cloud)
};

// The PLY files exchanged with the surface reconstruction tool. Any thread.
namespace PlyFile {

// Writes an oriented, coloured point cloud as binary little-endian PLY (x y z nx ny nz float, red green blue
// uchar), atomically. The three lists have the same length. Error: a sentence naming the file.
Expected<void, QString> writePointCloud(const QString& path, const std::vector<geo::Vec3>& positions,
                                        const std::vector<geo::Vec3>& normals,
                                        const std::vector<std::array<std::uint8_t, 3>>& colors);

// Reads a triangle mesh or a point cloud (ascii or binary little-endian; vertex x y z with optional nx ny nz
// and red green blue of any scalar type; faces as index lists, polygons fan-triangulated). Error: a sentence for a missing, truncated
// or malformed file; never a crash on bad input.
Expected<PlyMesh, QString> readMesh(const QString& path);

// The face count a PLY header declares; -1 when the file or its header cannot be read.
qint64 declaredFaceCount(const QString& path);

} // namespace PlyFile
} // namespace tovarine
