#include "MeshMinThickness.h"
#include "ParallelBlocks.h"
#include "TextFormat.h"
#include "VecMath.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>

namespace tovarine::MeshMinThickness {

namespace {

constexpr std::size_t kProgressEvery = 16384;
constexpr std::size_t kBlockFaces = 1024;

// A candidate triangle ready for the hit test: its first corner and two edges (the same values the test
// derives from the corners) and its vertex indices for the neighbour rule.
struct PackedTriangle
{
    Vec3 q0;
    Vec3 e1;
    Vec3 e2;
    MeshTriangle v;
};

// The Möller–Trumbore test on precomputed edges; the operations match rayTriangleHit exactly.
[[gnu::always_inline]] inline double hitPacked(const Vec3& o, const Vec3& d, const PackedTriangle& t)
{
    using namespace vecmath;
    const Vec3 pvec = cross(d, t.e2);
    const double det = dot(t.e1, pvec);
    if (std::abs(det) < 1e-18) {
        return INFINITY;
    }
    const Vec3 tvec = sub(o, t.q0);
    const double u = dot(tvec, pvec) / det;
    if (u < 0.0 || u > 1.0) {
        return INFINITY;
    }
    const Vec3 qvec = cross(tvec, t.e1);
    const double v = dot(d, qvec) / det;
    if (v < 0.0 || u + v > 1.0) {
        return INFINITY;
    }
    const double dist = dot(t.e2, qvec) / det;
    return dist > 1e-9 ? dist : INFINITY;
}

inline bool sharesEdge(const MeshTriangle& a, const MeshTriangle& b)
{
    int shared = 0;
    for (std::int64_t x : a) {
        shared += (x == b[0] || x == b[1] || x == b[2]) ? 1 : 0;
    }
    return shared >= 2;
}

QString progressLine(std::size_t face, std::size_t count)
{
    std::string line = "ray-sampling thickness \xC2\xB7 ";
    const double percent = static_cast<double>(face) / static_cast<double>(count) * 100.0;
    textformat::appendInt(line, static_cast<std::int64_t>(percent));
    line += '%';
    return QString::fromStdString(line);
}

} // namespace

RayConstants rayConstants(const Vec3& meshExtent)
{
    RayConstants constants;
    const double largest = std::max({meshExtent[0], meshExtent[1], meshExtent[2]});
    constants.nudge = std::max(largest * 1e-6, 1e-7);
    constants.rayMax = 2.0 * std::sqrt(meshExtent[0] * meshExtent[0] + meshExtent[1] * meshExtent[1] +
                                       meshExtent[2] * meshExtent[2]);
    return constants;
}

FaceRay faceRay(const Vec3& p0, const Vec3& p1, const Vec3& p2, double nudge)
{
    using namespace vecmath;
    FaceRay ray;
    const Vec3 n = cross(sub(p1, p0), sub(p2, p0));
    const double len = length(n);
    if (len < 1e-18) {
        return ray;
    }
    ray.degenerate = false;
    ray.dir = {-n[0] / len, -n[1] / len, -n[2] / len};
    const Vec3 centre{(p0[0] + p1[0] + p2[0]) / 3.0, (p0[1] + p1[1] + p2[1]) / 3.0,
                      (p0[2] + p1[2] + p2[2]) / 3.0};
    ray.origin = add(centre, scale(ray.dir, nudge));
    return ray;
}

double rayTriangleHit(const Vec3& origin, const Vec3& dir, const Vec3& q0, const Vec3& q1, const Vec3& q2)
{
    const PackedTriangle t{q0, vecmath::sub(q1, q0), vecmath::sub(q2, q0), {}};
    return hitPacked(origin, dir, t);
}

bool skipsCandidate(const MeshTriangle& face, std::int64_t i, const MeshTriangle& candidate, std::int64_t j)
{
    return i == j || sharesEdge(face, candidate);
}

void traverseGrid(const Vec3& origin, const Vec3& dir, const Vec3& lo, const Vec3& hi, int res,
                  const Vec3& cellSize, const Vec3& invCell, double rayMax, const ThicknessGrid& grid,
                  const std::function<void(std::int32_t)>& visit)
{
    detail::walkGrid(
        origin, dir, lo, hi, res, cellSize, invCell, rayMax,
        [&](std::size_t cell) {
            for (std::int32_t rank : grid.cell(cell)) {
                visit(grid.order[static_cast<std::size_t>(rank)]);
            }
        },
        [](double) { return true; });
}

ThicknessSamples sampleThickness(const MeshPositions& positions, const MeshTriangles& triangles,
                                 const ThicknessGrid& grid, const MeshProgress& progress,
                                 std::stop_token cancel, int threadCount)
{
    const std::size_t faceCount = triangles.size();
    ThicknessSamples samples;
    samples.thicknessMM.assign(faceCount, 0.0);
    samples.measured.assign(faceCount, 0);
    if (faceCount == 0) {
        return samples;
    }

    // Faces are measured, and candidates held, in the grid's rank order: neighbouring rays walk the same
    // cells and test the same triangles, whatever the order of the mesh's faces. Each face's result goes
    // back to its own index, so the order changes no value.
    const int threads = parallel::threadsFor(threadCount);
    std::vector<PackedTriangle> packed(faceCount);
    parallel::runBlocks(
        faceCount, kBlockFaces * 16, threads, {},
        [&](int, std::size_t begin, std::size_t end) {
            for (std::size_t r = begin; r < end; ++r) {
                const MeshTriangle& t = triangles[static_cast<std::size_t>(grid.order[r])];
                const Vec3& q0 = positions[static_cast<std::size_t>(t[0])];
                packed[r] = {q0, vecmath::sub(positions[static_cast<std::size_t>(t[1])], q0),
                             vecmath::sub(positions[static_cast<std::size_t>(t[2])], q0), t};
            }
        },
        [](std::size_t) {});
    const RayConstants constants = rayConstants(grid.meshExtent);
    // A hit nearer than a cell's entry distance lies on a triangle listed in a cell already walked, so once
    // the best hit is the grid's margin before the next cell no further cell can improve it, and the
    // result stays bit-identical to a full walk.
    const double margin = grid.margin;

    // Per thread: the last face whose ray tested each triangle, so a triangle listed in several cells of
    // one walk is tested once.
    std::vector<std::unique_ptr<std::uint32_t[]>> testedBy(static_cast<std::size_t>(threads));

    auto work = [&](int thread, std::size_t begin, std::size_t end) {
        auto& stamps = testedBy[static_cast<std::size_t>(thread)];
        if (!stamps) {
            stamps = std::make_unique<std::uint32_t[]>(faceCount);
        }
        for (std::size_t i = begin; i < end; ++i) {
            const PackedTriangle& face = packed[i];
            const MeshTriangle& fv = face.v;
            const FaceRay ray = faceRay(positions[static_cast<std::size_t>(fv[0])],
                                        positions[static_cast<std::size_t>(fv[1])],
                                        positions[static_cast<std::size_t>(fv[2])], constants.nudge);
            if (ray.degenerate) {
                continue;
            }
            const auto stamp = static_cast<std::uint32_t>(i + 1);
            double best = INFINITY;
            // Tests the candidates [first, last) not yet tested for this ray. The neighbour rule is checked
            // only for a hit that would count: most candidates miss, and the rule cannot turn a miss into a
            // hit.
            auto test = [&](const std::int32_t* first, const std::int32_t* last) {
                for (const std::int32_t* k = first; k < last; ++k) {
                    const auto j = static_cast<std::size_t>(*k);
                    if (stamps[j] == stamp) {
                        continue;
                    }
                    stamps[j] = stamp;
                    const PackedTriangle& candidate = packed[j];
                    const double t = hitPacked(ray.origin, ray.dir, candidate);
                    if (t < best && j != i && !sharesEdge(fv, candidate.v)) {
                        best = t;
                    }
                }
            };
            const auto keepGoing = [&](double tEnter) { return !(best + margin < tEnter); };
            detail::walkGrid(
                ray.origin, ray.dir, grid.lo, grid.hi, grid.res, grid.cellSize, grid.invCell,
                constants.rayMax,
                [&](std::size_t cell) {
                    if (!grid.isOccupied(cell)) {
                        return;
                    }
                    const std::uint32_t fineBase = grid.fineFirst[cell];
                    if (fineBase == ThicknessGrid::kNotSplit) {
                        test(grid.cellTriangles.data() + grid.cellStart[cell],
                             grid.cellTriangles.data() + grid.cellStart[cell + 1]);
                        return;
                    }
                    // The same walk over the cell's fine cells, with the same stopping rule: a hit point lies
                    // in a fine cell of the cell the walk found it in, grown by the margin.
                    const detail::FineBox box = detail::fineBox(grid, cell);
                    detail::walkGrid(
                        ray.origin, ray.dir, box.lo, box.hi, ThicknessGrid::kFine, box.cellSize, box.invCell,
                        constants.rayMax,
                        [&](std::size_t fine) {
                            test(grid.fineTriangles.data() + grid.fineStart[fineBase + fine],
                                 grid.fineTriangles.data() + grid.fineStart[fineBase + fine + 1]);
                        },
                        keepGoing);
                },
                keepGoing);
            if (std::isfinite(best)) {
                const auto f = static_cast<std::size_t>(grid.order[i]);
                samples.thicknessMM[f] = best + constants.nudge;
                samples.measured[f] = 1;
            }
        }
    };

    // Progress lines name faces by their own index but follow the share of faces measured.
    std::size_t nextMilestone = 0;
    auto onDone = [&](std::size_t measuredCount) {
        while (nextMilestone < faceCount && nextMilestone < measuredCount) {
            const MeshTriangle& t = triangles[nextMilestone];
            const FaceRay ray =
                faceRay(positions[static_cast<std::size_t>(t[0])], positions[static_cast<std::size_t>(t[1])],
                        positions[static_cast<std::size_t>(t[2])], constants.nudge);
            if (!ray.degenerate && progress) {
                progress(progressLine(nextMilestone, faceCount));
            }
            nextMilestone += kProgressEvery;
        }
    };
    parallel::runBlocks(faceCount, kBlockFaces, threads, cancel, work, onDone);
    return samples;
}

ThicknessSamples sampleThickness(const MeshPositions& positions, const MeshTriangles& triangles,
                                 const MeshProgress& progress, std::stop_token cancel, int threadCount)
{
    const ThicknessGrid grid = buildThicknessGrid(positions, triangles);
    return sampleThickness(positions, triangles, grid, progress, std::move(cancel), threadCount);
}

} // namespace tovarine::MeshMinThickness
