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

// Longest thickness (mm) the tools accept: anything larger, zero or below, or not a number is refused before
// it reaches a progress line or a file, since it cannot describe a printable wall (a negative shell would
// put the inner skin outside the outer one).
inline constexpr double kMaxThicknessMm = 1.0e6;

// True when `mm` is above zero and at most kMaxThicknessMm.
inline bool isUsableThicknessMm(double mm)
{
    return mm > 0.0 && mm <= kMaxThicknessMm;
}

// Coordinates the tools accept, in millimetres from the origin on each axis: a vertex this far away
// (a thousand kilometres) is a misread or a stray point, and it would stretch the weld's tolerance until
// the whole model collapsed.
inline constexpr double kMaxCoordinateMm = 1.0e9;

} // namespace tovarine
