#include "ThicknessGrid.h"

#include "ParallelBlocks.h"
#include "VecMath.h"

#include <algorithm>
#include <array>
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

// Cells listing more than kSplitAbove triangles, and at most kSplitUpTo, are split into fine cells when the
// fine cells hold at most kFineEntriesPerEntry entries per entry of the cell, while all fine lists
// together hold at most kFineEntriesPerTriangle entries per triangle of the mesh (cells taken in order).
// Cells listing more than kSplitUpTo are long slivers or fans crossing each other, which fine cells would
// only copy many times over.
constexpr std::size_t kSplitAbove = 16;
constexpr std::size_t kSplitUpTo = 1024;
constexpr std::size_t kFineEntriesPerEntry = 5;
constexpr std::size_t kFineEntriesPerTriangle = 8;

// Calls use(f) for each fine cell of the block (first x, y, z, last x, y, z), z outermost.
template <class Use> void forEachFine(const std::array<int, 6>& b, Use&& use)
{
    constexpr int kFine = ThicknessGrid::kFine;
    for (int z = b[2]; z <= b[5]; ++z) {
        for (int y = b[1]; y <= b[4]; ++y) {
            for (int x = b[0]; x <= b[3]; ++x) {
                use(static_cast<std::size_t>(x + kFine * (y + kFine * z)));
            }
        }
    }
}

// Splits the crowded cells into fine cells, by the rules of the constants above. `extentOf(rank, axis, min,
// max)` gives a triangle's extent on an axis. Cells are shared out among
// `threads` threads; each cell's fine lists are the same whoever builds them.
template <class ExtentOf> void splitCrowdedCells(ThicknessGrid& grid, int threads, ExtentOf&& extentOf)
{
    constexpr int kFine = ThicknessGrid::kFine;
    constexpr std::size_t kFineCells = kFine * kFine * kFine;
    const std::size_t cellCount = grid.cellStart.size() - 1;
    const double m = grid.margin;
    // The fine block of each entry of cell c, in `blocks`; returns the number of fine entries, counted per
    // fine cell in `fineCounts`.
    auto fineBlocks = [&](std::size_t c, std::vector<std::array<int, 6>>& blocks, std::size_t* fineCounts) {
        const std::size_t first = grid.cellStart[c];
        const std::size_t listed = grid.cellStart[c + 1] - first;
        const detail::FineBox box = detail::fineBox(grid, c);
        blocks.resize(listed);
        std::fill(fineCounts, fineCounts + kFineCells, 0);
        std::size_t total = 0;
        for (std::size_t e = 0; e < listed; ++e) {
            std::array<int, 6>& b = blocks[e];
            for (int a = 0; a < 3; ++a) {
                double mn = 0.0;
                double mx = 0.0;
                extentOf(static_cast<std::size_t>(grid.cellTriangles[first + e]), a, mn, mx);
                b[a] = detail::clampCell(std::floor((mn - m - box.lo[a]) * box.invCell[a]), kFine);
                b[3 + a] = detail::clampCell(std::floor((mx + m - box.lo[a]) * box.invCell[a]), kFine);
            }
            forEachFine(b, [&](std::size_t f) {
                ++fineCounts[f];
                ++total;
            });
        }
        return total;
    };
    auto inBlocks = [&](auto&& work) {
        parallel::runBlocks(
            cellCount, 4096, threads, {},
            [&](int, std::size_t begin, std::size_t end) {
                std::vector<std::array<int, 6>> blocks;
                std::size_t fineCounts[kFineCells];
                for (std::size_t c = begin; c < end; ++c) {
                    const std::size_t listed = grid.cellStart[c + 1] - grid.cellStart[c];
                    if (listed > kSplitAbove && listed <= kSplitUpTo) {
                        work(c, blocks, fineCounts);
                    }
                }
            },
            [](std::size_t) {});
    };

    // First which cells split and how many fine entries each gets, then the lists.
    std::vector<std::size_t> fineTotal(cellCount, 0);
    inBlocks([&](std::size_t c, std::vector<std::array<int, 6>>& blocks, std::size_t* fineCounts) {
        const std::size_t total = fineBlocks(c, blocks, fineCounts);
        const std::size_t listed = grid.cellStart[c + 1] - grid.cellStart[c];
        fineTotal[c] = total <= kFineEntriesPerEntry * listed ? total : 0;
    });
    grid.fineFirst.assign(cellCount, ThicknessGrid::kNotSplit);
    std::vector<std::size_t> fineBase(cellCount, 0);
    std::size_t splitCount = 0;
    std::size_t entries = 0;
    const std::size_t budget = kFineEntriesPerTriangle * grid.order.size();
    for (std::size_t c = 0; c < cellCount; ++c) {
        if (fineTotal[c] > 0 && entries + fineTotal[c] <= budget) {
            grid.fineFirst[c] = static_cast<std::uint32_t>(splitCount * kFineCells);
            fineBase[c] = entries;
            ++splitCount;
            entries += fineTotal[c];
        }
    }
    grid.fineStart.assign(splitCount * kFineCells + 1, entries);
    grid.fineTriangles.resize(entries);
    inBlocks([&](std::size_t c, std::vector<std::array<int, 6>>& blocks, std::size_t* fineCounts) {
        if (grid.fineFirst[c] == ThicknessGrid::kNotSplit) {
            return;
        }
        fineBlocks(c, blocks, fineCounts);
        std::size_t fill[kFineCells];
        std::size_t running = fineBase[c];
        for (std::size_t f = 0; f < kFineCells; ++f) {
            grid.fineStart[grid.fineFirst[c] + f] = running;
            fill[f] = running;
            running += fineCounts[f];
        }
        const std::size_t first = grid.cellStart[c];
        for (std::size_t e = 0; e < blocks.size(); ++e) {
            forEachFine(blocks[e], [&](std::size_t f) {
                grid.fineTriangles[fill[f]++] = grid.cellTriangles[first + e];
            });
        }
    });
}

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

    // The triangles in rank order, so the passes below read them in order.
    MeshTriangles byRank(count);
    inParallel([&](std::size_t k) {
        const std::size_t end = std::min(count, (k + 1) * perThread);
        for (std::size_t r = k * perThread; r < end; ++r) {
            byRank[r] = triangles[static_cast<std::size_t>(grid.order[r])];
        }
    });
    auto rankCorner = [&](std::size_t r, int k) -> const Vec3& {
        return positions[static_cast<std::size_t>(byRank[r][static_cast<std::size_t>(k)])];
    };

    // The extent of the triangle of rank r on an axis.
    auto extentOf = [&](std::size_t r, int axis, double& mn, double& mx) {
        const double c0 = rankCorner(r, 0)[axis];
        const double c1 = rankCorner(r, 1)[axis];
        const double c2 = rankCorner(r, 2)[axis];
        mn = std::min({c0, c1, c2});
        mx = std::max({c0, c1, c2});
    };
    auto blockOf = [&](std::size_t r) {
        Block block;
        for (int a = 0; a < 3; ++a) {
            double mn = 0.0;
            double mx = 0.0;
            extentOf(r, a, mn, mx);
            block.first[a] = cellOf(mn, a);
            block.last[a] = cellOf(mx, a);
        }
        return block;
    };

    // Calls use(cell) for every cell the triangle of rank r is listed in, z outermost, then y, then x.
    const double m = grid.margin;
    auto forEachCell = [&](std::size_t r, auto&& use) {
        const Block b = blockOf(r);
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
        whole.p[0] = rankCorner(r, 0);
        whole.p[1] = rankCorner(r, 1);
        whole.p[2] = rankCorner(r, 2);
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
            forEachCell(r, [&](std::size_t c) { ++mine[c]; });
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
            forEachCell(r, [&](std::size_t c) {
                grid.cellTriangles[grid.cellStart[c] + offset[c]++] = static_cast<std::int32_t>(r);
            });
        }
    });
    counts.clear();
    splitCrowdedCells(grid, static_cast<int>(threads), extentOf);
    return grid;
}

} // namespace tovarine::MeshMinThickness
