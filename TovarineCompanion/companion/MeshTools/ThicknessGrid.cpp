#include "ThicknessGrid.h"

#include "ParallelBlocks.h"
#include "VecMath.h"

#include <algorithm>
#include <thread>

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

namespace {

// Z-order rank of a cell: the bits of x, y and z (each below 128) interleaved.
std::uint32_t zOrder(int x, int y, int z)
{
    std::uint32_t code = 0;
    for (int b = 0; b < 7; ++b) {
        code |= ((static_cast<std::uint32_t>(x) >> b) & 1u) << (3 * b);
        code |= ((static_cast<std::uint32_t>(y) >> b) & 1u) << (3 * b + 1);
        code |= ((static_cast<std::uint32_t>(z) >> b) & 1u) << (3 * b + 2);
    }
    return code;
}

// A convex polygon of at most 9 corners (a triangle clipped by two slabs).
struct Polygon
{
    Vec3 p[9];
    int n = 0;
};

// The part of `in` on one side of the plane coordinate `axis` = `bound`: at or above it when `above`, at
// or below it otherwise.
Polygon clipSide(const Polygon& in, int axis, double bound, bool above)
{
    Polygon out;
    auto inside = [&](const Vec3& p) { return above ? p[axis] >= bound : p[axis] <= bound; };
    for (int i = 0; i < in.n; ++i) {
        const Vec3& a = in.p[i];
        const Vec3& b = in.p[(i + 1) % in.n];
        const bool aIn = inside(a);
        if (aIn) {
            out.p[out.n++] = a;
        }
        if (aIn != inside(b)) {
            const double t = (bound - a[axis]) / (b[axis] - a[axis]);
            Vec3 q{a[0] + (b[0] - a[0]) * t, a[1] + (b[1] - a[1]) * t, a[2] + (b[2] - a[2]) * t};
            q[axis] = bound;
            out.p[out.n++] = q;
        }
    }
    return out;
}

// The part of `in` with lo <= coordinate `axis` <= hi.
Polygon clip(const Polygon& in, int axis, double lo, double hi)
{
    return clipSide(clipSide(in, axis, lo, true), axis, hi, false);
}

// A block of cells, first to last on each axis.
struct Block
{
    int first[3];
    int last[3];

    std::size_t cellCount() const
    {
        return static_cast<std::size_t>(last[0] - first[0] + 1) *
               static_cast<std::size_t>(last[1] - first[1] + 1) *
               static_cast<std::size_t>(last[2] - first[2] + 1);
    }
};

// Blocks up to this many cells are listed whole: the exact test would save little there.
constexpr std::size_t kWholeBlockCells = 8;

// Meshes from this many triangles are ranked with a counting sort over every Z-order code; smaller ones
// with a plain sort, which needs no table.
constexpr std::size_t kCountingSortFrom = 65536;

// Triangles per listing thread: each thread keeps a count for every cell, which only pays off over many
// triangles.
constexpr std::size_t kTrianglesPerThread = 65536;

} // namespace

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
    double magnitude = 0.0;
    for (int a = 0; a < 3; ++a) {
        grid.lo[a] = lo[a] - pad;
        grid.hi[a] = hi[a] + pad;
        grid.cellSize[a] = (grid.hi[a] - grid.lo[a]) / grid.res;
        grid.invCell[a] = 1.0 / grid.cellSize[a];
        magnitude = std::max({magnitude, std::abs(grid.lo[a]), std::abs(grid.hi[a])});
    }
    grid.margin = 1e-6 * std::max({grid.cellSize[0], grid.cellSize[1], grid.cellSize[2]}) + 1e-12 * magnitude;

    const int res = grid.res;
    const auto stride = static_cast<std::size_t>(res);
    const std::size_t cellCount = stride * stride * stride;
    const std::size_t count = triangles.size();
    auto corner = [&](std::size_t t, int k) -> const Vec3& {
        return positions[static_cast<std::size_t>(triangles[t][static_cast<std::size_t>(k)])];
    };
    auto cellOf = [&](double value, int axis) {
        return detail::clampCell(std::floor((value - grid.lo[axis]) * grid.invCell[axis]), res);
    };
    auto blockOf = [&](std::size_t t) {
        Block block;
        for (int a = 0; a < 3; ++a) {
            const double c0 = corner(t, 0)[a];
            const double c1 = corner(t, 1)[a];
            const double c2 = corner(t, 2)[a];
            block.first[a] = cellOf(std::min({c0, c1, c2}), a);
            block.last[a] = cellOf(std::max({c0, c1, c2}), a);
        }
        return block;
    };

    // Rank the triangles by the Z-order of their centroid's cell (a stable counting sort).
    // Runs work(k) for k = 0 … threads − 1, k on its own thread; thread k takes items
    // [k × perThread, (k + 1) × perThread).
    const std::size_t threads = std::clamp<std::size_t>(count / kTrianglesPerThread, 1,
                                                        static_cast<std::size_t>(parallel::threadsFor(0)));
    const std::size_t perThread = (count + threads - 1) / threads;
    auto inParallel = [&](auto&& work) {
        std::vector<std::jthread> helpers;
        for (std::size_t k = 1; k < threads; ++k) {
            helpers.emplace_back(work, k);
        }
        work(std::size_t{0});
    };
    std::vector<std::uint32_t> rankKey(count);
    inParallel([&](std::size_t k) {
        const std::size_t end = std::min(count, (k + 1) * perThread);
        for (std::size_t t = k * perThread; t < end; ++t) {
            int c[3];
            for (int a = 0; a < 3; ++a) {
                c[a] = cellOf((corner(t, 0)[a] + corner(t, 1)[a] + corner(t, 2)[a]) / 3.0, a);
            }
            rankKey[t] = zOrder(c[0], c[1], c[2]);
        }
    });
    grid.order.resize(count);
    if (count < kCountingSortFrom) {
        std::vector<std::uint64_t> keyed(count);
        for (std::size_t t = 0; t < count; ++t) {
            keyed[t] = (static_cast<std::uint64_t>(rankKey[t]) << 32) | t;
        }
        std::sort(keyed.begin(), keyed.end());
        for (std::size_t r = 0; r < count; ++r) {
            grid.order[r] = static_cast<std::int32_t>(keyed[r] & 0xFFFFFFFFu);
        }
    } else {
        std::vector<std::uint32_t> bucket((std::size_t{1} << 21) + 1, 0);
        for (std::size_t t = 0; t < count; ++t) {
            ++bucket[rankKey[t] + 1];
        }
        for (std::size_t b = 1; b < bucket.size(); ++b) {
            bucket[b] += bucket[b - 1];
        }
        for (std::size_t t = 0; t < count; ++t) {
            grid.order[bucket[rankKey[t]]++] = static_cast<std::int32_t>(t);
        }
    }

    // Calls use(cell) for every cell triangle t is listed in, z outermost, then y, then x.
    const double m = grid.margin;
    auto forEachCell = [&](std::size_t t, auto&& use) {
        const Block b = blockOf(t);
        if (b.cellCount() <= kWholeBlockCells) {
            for (int z = b.first[2]; z <= b.last[2]; ++z) {
                for (int y = b.first[1]; y <= b.last[1]; ++y) {
                    const std::size_t row =
                        stride * (static_cast<std::size_t>(y) + stride * static_cast<std::size_t>(z));
                    for (int x = b.first[0]; x <= b.last[0]; ++x) {
                        use(row + static_cast<std::size_t>(x));
                    }
                }
            }
            return;
        }
        // Clip the triangle to each slab of cells (grown by the margin), then to each row within it; the
        // piece left spans the cells of that row the triangle comes near.
        Polygon whole;
        whole.n = 3;
        whole.p[0] = corner(t, 0);
        whole.p[1] = corner(t, 1);
        whole.p[2] = corner(t, 2);
        for (int z = b.first[2]; z <= b.last[2]; ++z) {
            const Polygon slab = clip(whole, 2, grid.lo[2] + z * grid.cellSize[2] - m,
                                      grid.lo[2] + (z + 1) * grid.cellSize[2] + m);
            if (slab.n == 0) {
                continue;
            }
            for (int y = b.first[1]; y <= b.last[1]; ++y) {
                const Polygon row = clip(slab, 1, grid.lo[1] + y * grid.cellSize[1] - m,
                                         grid.lo[1] + (y + 1) * grid.cellSize[1] + m);
                if (row.n == 0) {
                    continue;
                }
                double xMin = row.p[0][0];
                double xMax = row.p[0][0];
                for (int i = 1; i < row.n; ++i) {
                    xMin = std::min(xMin, row.p[i][0]);
                    xMax = std::max(xMax, row.p[i][0]);
                }
                const int first = std::max(b.first[0], cellOf(xMin - m, 0));
                const int last = std::min(b.last[0], cellOf(xMax + m, 0));
                const std::size_t base =
                    stride * (static_cast<std::size_t>(y) + stride * static_cast<std::size_t>(z));
                for (int x = first; x <= last; ++x) {
                    use(base + static_cast<std::size_t>(x));
                }
            }
        }
    };

    // Two passes over the triangles in rank order (count, then fill) keep every cell's list ascending.
    // Each thread takes one run of ranks with counts of its own; a thread's entries in a cell go after
    // those of the threads with lower ranks.
    std::vector<std::vector<std::uint32_t>> counts(threads);
    inParallel([&](std::size_t k) {
        std::vector<std::uint32_t>& mine = counts[k];
        mine.assign(cellCount, 0);
        const std::size_t end = std::min(count, (k + 1) * perThread);
        for (std::size_t r = k * perThread; r < end; ++r) {
            forEachCell(static_cast<std::size_t>(grid.order[r]), [&](std::size_t c) { ++mine[c]; });
        }
    });
    grid.cellStart.assign(cellCount + 1, 0);
    std::size_t total = 0;
    for (std::size_t c = 0; c < cellCount; ++c) {
        grid.cellStart[c] = total;
        for (std::size_t k = 0; k < threads; ++k) {
            const std::uint32_t n = counts[k][c];
            counts[k][c] = static_cast<std::uint32_t>(total - grid.cellStart[c]); // the thread's offset
            total += n;
        }
    }
    grid.cellStart[cellCount] = total;
    // A small bitmap of the cells that list anything, so a walk through empty space reads little memory.
    grid.occupied.assign((cellCount + 63) / 64, 0);
    for (std::size_t c = 0; c < cellCount; ++c) {
        if (grid.cellStart[c + 1] > grid.cellStart[c]) {
            grid.occupied[c >> 6] |= std::uint64_t{1} << (c & 63);
        }
    }
    grid.cellTriangles.resize(total);
    inParallel([&](std::size_t k) {
        std::vector<std::uint32_t>& offset = counts[k];
        const std::size_t end = std::min(count, (k + 1) * perThread);
        for (std::size_t r = k * perThread; r < end; ++r) {
            forEachCell(static_cast<std::size_t>(grid.order[r]), [&](std::size_t c) {
                grid.cellTriangles[grid.cellStart[c] + offset[c]++] = static_cast<std::int32_t>(r);
            });
        }
    });
    return grid;
}

} // namespace tovarine::MeshMinThickness
