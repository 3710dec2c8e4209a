#pragma once

#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <stop_token>
#include <vector>

// Plain mesh lists shared by the print-preparation mesh tools.
namespace tovarine {

// A position or direction: x, y, z in the file's units (millimetres in practice).
using Vec3 = std::array<double, 3>;

// Three 0-based vertex indices; their order is the winding and survives every tool.
using MeshTriangle = std::array<std::int64_t, 3>;

using MeshPositions = std::vector<Vec3>;
using MeshTriangles = std::vector<MeshTriangle>;

struct MeshLists
{
    MeshPositions positions;
    MeshTriangles triangles;
};

// Receives one progress line at a time, on the thread that called the tool, in the order the lines occur.
using MeshProgress = std::function<void(const QString& line)>;

// Longest thickness (mm) the tools accept: anything larger, or not finite, is refused before it reaches a
// progress line or a file, since it cannot describe a printable wall.
inline constexpr double kMaxThicknessMm = 1.0e6;

// True when `mm` is finite and its magnitude is at most kMaxThicknessMm.
inline bool isUsableThicknessMm(double mm)
{
    return mm == mm && mm >= -kMaxThicknessMm && mm <= kMaxThicknessMm;
}

} // namespace tovarine
