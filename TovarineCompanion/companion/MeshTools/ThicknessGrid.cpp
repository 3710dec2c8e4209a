#include "ThicknessGrid.h"

#include "VecMath.h"

#include <algorithm>

namespace tovarine::MeshMinThickness {

int gridResolution(std::int64_t triangleCount)
{
    const double root = std::pow(static_cast<double>(4 * triangleCount), 0.3333333333333333);
    if (!(root >= 16.0)) {
        return 16;
    }
    if (root >= 96.0) {
        return 96;
    }
    return static_cast<int>(root);
}

ThicknessGrid buildThicknessGrid(const MeshPositions& positions, const MeshTriangles& triangles)
{
    ThicknessGrid grid;
    Vec3 lo;
    Vec3 hi;
    vecmath::boundingBox(positions, lo, hi);
    for (int a = 0; a < 3; ++a) {
        if (lo[a] > hi[a]) {
            lo[a] = hi[a] = 0.0;
        }
        grid.meshExtent[a] = hi[a] - lo[a];
    }
    const double largest = std::max({grid.meshExtent[0], grid.meshExtent[1], grid.meshExtent[2]});
    const double pad = std::max(largest * 1e-4, 0.001);
    grid.res = gridResolution(static_cast<std::int64_t>(triangles.size()));
    for (int a = 0; a < 3; ++a) {
        grid.lo[a] = lo[a] - pad;
        grid.hi[a] = hi[a] + pad;
        grid.cellSize[a] = (grid.hi[a] - grid.lo[a]) / grid.res;
        grid.invCell[a] = 1.0 / grid.cellSize[a];
    }

    const int res = grid.res;
    const auto stride = static_cast<std::size_t>(res);
    const std::size_t cellCount = stride * stride * stride;
    struct Block
    {
        int first[3];
        int last[3];
    };
    auto blockOf = [&](const MeshTriangle& t) {
        Block block;
        for (int a = 0; a < 3; ++a) {
            const double c0 = positions[static_cast<std::size_t>(t[0])][a];
            const double c1 = positions[static_cast<std::size_t>(t[1])][a];
            const double c2 = positions[static_cast<std::size_t>(t[2])][a];
            const double mn = std::min({c0, c1, c2});
            const double mx = std::max({c0, c1, c2});
            block.first[a] = detail::clampCell(std::floor((mn - grid.lo[a]) * grid.invCell[a]), res);
            block.last[a] = detail::clampCell(std::floor((mx - grid.lo[a]) * grid.invCell[a]), res);
        }
        return block;
    };
    auto forEachCell = [&](const Block& b, auto&& use) {
        for (int z = b.first[2]; z <= b.last[2]; ++z) {
            for (int y = b.first[1]; y <= b.last[1]; ++y) {
                std::size_t row =
                    stride * (static_cast<std::size_t>(y) + stride * static_cast<std::size_t>(z));
                for (int x = b.first[0]; x <= b.last[0]; ++x) {
                    use(row + static_cast<std::size_t>(x));
                }
            }
        }
    };

    // Two passes over the triangles in order (count, then fill) keep every cell's list ascending.
    grid.cellStart.assign(cellCount + 1, 0);
    std::vector<Block> blocks(triangles.size());
    for (std::size_t i = 0; i < triangles.size(); ++i) {
        blocks[i] = blockOf(triangles[i]);
        forEachCell(blocks[i], [&](std::size_t c) { ++grid.cellStart[c + 1]; });
    }
    for (std::size_t c = 0; c < cellCount; ++c) {
        grid.cellStart[c + 1] += grid.cellStart[c];
    }
    grid.cellTriangles.resize(grid.cellStart[cellCount]);
    std::vector<std::size_t> fill(grid.cellStart.begin(), grid.cellStart.end() - 1);
    for (std::size_t i = 0; i < triangles.size(); ++i) {
        forEachCell(blocks[i],
                    [&](std::size_t c) { grid.cellTriangles[fill[c]++] = static_cast<std::int32_t>(i); });
    }
    return grid;
}

} // namespace tovarine::MeshMinThickness
