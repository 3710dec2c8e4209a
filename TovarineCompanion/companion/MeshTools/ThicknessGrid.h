#pragma once

#include "MeshTypes.h"

#include <cmath>
#include <cstdint>
#include <span>
#include <vector>

namespace tovarine::MeshMinThickness {

// Uniform grid over a mesh's padded bounding box, listing in each cell the triangles that may cross it.
// Cells are stored flat: the list of cell (x, y, z) is entry x + res × (y + res × z), and
// `cellTriangles[cellStart[c] .. cellStart[c + 1])` holds its triangles in ascending order of their rank.
// Triangles are ranked by where they lie (the cell of their centroid, cells in Z-order), so triangles near
// each other sit near each other in every list whatever the order of the mesh's faces; `order[rank]` is
// the triangle's index in the mesh.
struct ThicknessGrid
{
    Vec3 lo{}; // padded box
    Vec3 hi{};
    Vec3 meshExtent{}; // extent of the unpadded box of all positions
    int res = 16;      // cells per axis
    Vec3 cellSize{};   // (hi - lo) / res
    Vec3 invCell{};    // 1 / cellSize
    std::vector<std::size_t> cellStart;
    std::vector<std::int32_t> cellTriangles; // ranks
    std::vector<std::int32_t> order;         // rank → triangle index
    std::vector<std::uint64_t> occupied;     // bit c % 64 of word c / 64: cell c lists a triangle

    bool isOccupied(std::size_t c) const { return (occupied[c >> 6] >> (c & 63)) & 1u; }

    // Crowded cells are split again into kFine³ fine cells over the cell's box grown by the margin
    // (detail::fineBox): cell c's fine cells are fineFirst[c] … fineFirst[c] + kFine³ − 1 (x fastest), or
    // fineFirst[c] is kNotSplit; fine cell f lists fineTriangles[fineStart[f] .. fineStart[f + 1]) (ranks,
    // ascending): each triangle of the cell whose bounding box, grown by the margin, touches it.
    static constexpr int kFine = 4;
    static constexpr std::uint32_t kNotSplit = 0xFFFFFFFFu;
    std::vector<std::uint32_t> fineFirst;
    std::vector<std::size_t> fineStart;
    std::vector<std::int32_t> fineTriangles;
    // Distance (mm) far above any rounding error of the walk, the hit test and the cell test: triangles
    // are listed in every cell they come this close to, and a walk may stop once its best hit lies this
    // far before the next cell.
    double margin = 0.0;

    std::span<const std::int32_t> cell(std::size_t index) const
    {
        return {cellTriangles.data() + cellStart[index], cellStart[index + 1] - cellStart[index]};
    }
};

// Cells per axis for `triangleCount` triangles: pow(4 × count, 0.3333333333333333) truncated, in 16 … 96.
int gridResolution(std::int64_t triangleCount);

// Builds the grid: box of all positions (NaN ignored), padding max(largest extent × 1e-4, 0.001), the
// resolution above. Each triangle is listed in the cells of its bounding box's cell block; when that block
// is large (a long or slanted triangle), only in those of its cells that the triangle comes within a hair
// of (a separating-axis test against the cell grown by a margin far above rounding error), so every
// point of the triangle still lies in, or on the edge of, a cell that lists it.
// Triangles must index `positions`; their count must fit a signed 32-bit integer.
ThicknessGrid buildThicknessGrid(const MeshPositions& positions, const MeshTriangles& triangles);

namespace detail {

// Cell coordinate of a scaled offset: floor, clamped to 0 … res − 1 (NaN gives 0).
inline int clampCell(double scaled, int res)
{
    if (!(scaled >= 0.0)) {
        return 0;
    }
    if (scaled >= static_cast<double>(res - 1)) {
        return res - 1;
    }
    return static_cast<int>(scaled);
}

// The box of the fine cells of a cell: the cell grown by the grid's margin, split kFine ways per axis.
struct FineBox
{
    Vec3 lo;
    Vec3 hi;
    Vec3 cellSize;
    Vec3 invCell;
};

inline FineBox fineBox(const ThicknessGrid& grid, std::size_t cell)
{
    const auto res = static_cast<std::size_t>(grid.res);
    const std::size_t at[3] = {cell % res, (cell / res) % res, cell / (res * res)};
    FineBox box;
    for (int a = 0; a < 3; ++a) {
        box.lo[a] = grid.lo[a] + static_cast<double>(at[a]) * grid.cellSize[a] - grid.margin;
        box.hi[a] = grid.lo[a] + static_cast<double>(at[a] + 1) * grid.cellSize[a] + grid.margin;
        box.cellSize[a] = (box.hi[a] - box.lo[a]) / ThicknessGrid::kFine;
        box.invCell[a] = 1.0 / box.cellSize[a];
    }
    return box;
}

// The 3D-DDA walk behind traverseGrid: calls `visitCell(cellIndex)` for each cell passed, in order, and
// asks `keepGoing(tEnter)` before entering each further cell (tEnter: distance along the ray at which that
// cell is entered). A ray with a non-finite origin or direction, or a grid or range that is not finite,
// visits nothing.
template <class VisitCell, class KeepGoing>
void walkGrid(const Vec3& origin, const Vec3& dir, const Vec3& lo, const Vec3& hi, int res,
              const Vec3& cellSize, const Vec3& invCell, double rayMax, VisitCell&& visitCell,
              KeepGoing&& keepGoing)
{
    // Non-finite input (a ray, or a grid over a box too large for doubles) visits nothing; with finite
    // input every step either moves the cell or ends the walk.
    if (!std::isfinite(rayMax)) {
        return;
    }
    for (int a = 0; a < 3; ++a) {
        if (!std::isfinite(origin[a]) || !std::isfinite(dir[a]) || !std::isfinite(lo[a]) ||
            !std::isfinite(hi[a]) || !std::isfinite(cellSize[a]) || !std::isfinite(invCell[a]) ||
            !(cellSize[a] > 0.0)) {
            return;
        }
    }
    double tEnter = 0.0;
    double tExit = rayMax;
    for (int a = 0; a < 3; ++a) {
        if (std::abs(dir[a]) < 1e-18) {
            if (!(origin[a] >= lo[a] && origin[a] <= hi[a])) {
                return;
            }
            continue;
        }
        const double t1 = (lo[a] - origin[a]) / dir[a];
        const double t2 = (hi[a] - origin[a]) / dir[a];
        tEnter = std::max(tEnter, std::min(t1, t2));
        tExit = std::min(tExit, std::max(t1, t2));
        if (tExit < tEnter) {
            return;
        }
    }
    const double tStart = std::max(tEnter, 0.0);
    int cell[3];
    int step[3];
    double tMax[3];
    double tDelta[3];
    for (int a = 0; a < 3; ++a) {
        cell[a] = clampCell(std::floor((origin[a] + dir[a] * tStart - lo[a]) * invCell[a]), res);
        step[a] = dir[a] > 0.0 ? 1 : (dir[a] < 0.0 ? -1 : 0);
        if (step[a] > 0) {
            tMax[a] = (lo[a] + (cell[a] + 1) * cellSize[a] - origin[a]) / dir[a];
        } else if (step[a] < 0) {
            tMax[a] = (lo[a] + cell[a] * cellSize[a] - origin[a]) / dir[a];
        } else {
            tMax[a] = INFINITY;
        }
        tDelta[a] = step[a] != 0 ? std::abs(cellSize[a] / dir[a]) : INFINITY;
    }
    const auto stride = static_cast<std::size_t>(res);
    for (;;) {
        visitCell(static_cast<std::size_t>(cell[0]) +
                  stride * (static_cast<std::size_t>(cell[1]) + stride * static_cast<std::size_t>(cell[2])));
        int axis;
        if (tMax[0] < tMax[1]) {
            axis = tMax[2] <= tMax[0] ? 2 : 0;
        } else {
            axis = tMax[2] <= tMax[1] ? 2 : 1;
        }
        cell[axis] += step[axis];
        if (tExit < tMax[axis]) {
            return;
        }
        if (!keepGoing(tMax[axis])) {
            return;
        }
        tMax[axis] += tDelta[axis];
        if (cell[axis] < 0 || cell[axis] >= res) {
            return;
        }
    }
}

} // namespace detail

} // namespace tovarine::MeshMinThickness
