#include "MeshFixtures.h"
#include "MeshMinThickness.h"
#include "MeshTopology.h"
#include "VecMath.h"

#include <QStringList>
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <vector>

namespace tovarine {
namespace {

using namespace MeshMinThickness;

MeshLists welded(const MeshLists& mesh)
{
    return MeshTopology::weld(mesh.positions, mesh.triangles);
}

// The sampler written the plain way: every cell of the full walk (or every triangle), each test repeated.
ThicknessSamples referenceSamples(const MeshLists& mesh, bool bruteForce)
{
    const ThicknessGrid grid = buildThicknessGrid(mesh.positions, mesh.triangles);
    const RayConstants constants = rayConstants(grid.meshExtent);
    ThicknessSamples samples;
    samples.thicknessMM.assign(mesh.triangles.size(), 0.0);
    samples.measured.assign(mesh.triangles.size(), 0);
    auto corner = [&](std::int64_t v) { return mesh.positions[static_cast<std::size_t>(v)]; };
    for (std::size_t i = 0; i < mesh.triangles.size(); ++i) {
        const MeshTriangle& face = mesh.triangles[i];
        const FaceRay ray = faceRay(corner(face[0]), corner(face[1]), corner(face[2]), constants.nudge);
        if (ray.degenerate) {
            continue;
        }
        double best = INFINITY;
        auto visit = [&](std::int32_t j) {
            const MeshTriangle& other = mesh.triangles[static_cast<std::size_t>(j)];
            if (skipsCandidate(face, static_cast<std::int64_t>(i), other, j)) {
                return;
            }
            const double t =
                rayTriangleHit(ray.origin, ray.dir, corner(other[0]), corner(other[1]), corner(other[2]));
            if (t < best) {
                best = t;
            }
        };
        if (bruteForce) {
            for (std::size_t j = 0; j < mesh.triangles.size(); ++j) {
                visit(static_cast<std::int32_t>(j));
            }
        } else {
            traverseGrid(ray.origin, ray.dir, grid.lo, grid.hi, grid.res, grid.cellSize, grid.invCell,
                         constants.rayMax, grid, visit);
        }
        if (std::isfinite(best)) {
            samples.thicknessMM[i] = best + constants.nudge;
            samples.measured[i] = 1;
        }
    }
    return samples;
}

TEST(ThicknessGrid, ResolutionFollowsTheCubeRootOfFourTimesTheCount)
{
    EXPECT_EQ(gridResolution(8), 16);
    EXPECT_EQ(gridResolution(2000), 19); // pow(8000, 0.3333333333333333) comes out just below 20
    EXPECT_EQ(gridResolution(4000), 25);
    EXPECT_EQ(gridResolution(250000), 96);
    EXPECT_EQ(gridResolution(1000000), 96);
    EXPECT_EQ(gridResolution(0), 16);
}

// A closed cylinder of long side slivers with caps fanned from one rim vertex, like a CAD export.
MeshLists fannedCylinder(int segments, double radius, double height)
{
    MeshLists mesh;
    const auto n = static_cast<std::int64_t>(segments);
    for (int z = 0; z < 2; ++z) {
        for (int k = 0; k < segments; ++k) {
            const double a = 6.283185307179586 * k / segments;
            mesh.positions.push_back({radius * std::cos(a), radius * std::sin(a), z * height});
        }
    }
    for (std::int64_t k = 0; k < n; ++k) {
        mesh.triangles.push_back({k, (k + 1) % n, (k + 1) % n + n});
        mesh.triangles.push_back({k, (k + 1) % n + n, k + n});
    }
    for (std::int64_t k = 1; k + 1 < n; ++k) {
        mesh.triangles.push_back({0, k + 1, k});
        mesh.triangles.push_back({n, n + k, n + k + 1});
    }
    return mesh;
}

TEST(ThicknessGrid, ListsEachTriangleInTheCellsItCrossesInRankOrder)
{
    // The last mesh is large enough to be ranked by a counting sort and listed by several threads.
    const MeshLists large = fannedCylinder(36000, 20.0, 60.0);
    ASSERT_GT(large.triangles.size(), 70000u);
    for (const MeshLists& mesh : {test::randomTriangles(300, 7), fannedCylinder(90, 20.0, 60.0), large}) {
        const ThicknessGrid grid = buildThicknessGrid(mesh.positions, mesh.triangles);
        Vec3 lo;
        Vec3 hi;
        vecmath::boundingBox(mesh.positions, lo, hi);
        const double pad = std::max(std::max({hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2]}) * 1e-4, 0.001);
        for (int a = 0; a < 3; ++a) {
            EXPECT_EQ(grid.lo[a], lo[a] - pad);
            EXPECT_EQ(grid.hi[a], hi[a] + pad);
            EXPECT_EQ(grid.cellSize[a], (grid.hi[a] - grid.lo[a]) / grid.res);
        }
        std::vector<std::int32_t> sortedOrder = grid.order;
        std::sort(sortedOrder.begin(), sortedOrder.end());
        for (std::size_t t = 0; t < sortedOrder.size(); ++t) {
            ASSERT_EQ(sortedOrder[t], static_cast<std::int32_t>(t));
        }

        // Cells listing each triangle, by triangle index.
        std::vector<std::vector<std::size_t>> cellsOf(mesh.triangles.size());
        for (std::size_t c = 0; c + 1 < grid.cellStart.size(); ++c) {
            const auto list = grid.cell(c);
            EXPECT_TRUE(std::is_sorted(list.begin(), list.end()));
            for (std::int32_t rank : list) {
                cellsOf[static_cast<std::size_t>(grid.order[static_cast<std::size_t>(rank)])].push_back(c);
            }
        }
        std::size_t listed = 0;
        std::size_t boxCells = 0;
        for (std::size_t t = 0; t < mesh.triangles.size(); ++t) {
            const auto at = [&](int k) {
                return mesh.positions[static_cast<std::size_t>(mesh.triangles[t][k])];
            };
            auto cellIndex = [&](const Vec3& p) {
                std::size_t c[3];
                for (int a = 0; a < 3; ++a) {
                    c[a] = static_cast<std::size_t>(std::floor((p[a] - grid.lo[a]) * grid.invCell[a]));
                }
                const auto res = static_cast<std::size_t>(grid.res);
                return c[0] + res * (c[1] + res * c[2]);
            };
            // Every point of the triangle lies in a cell that lists it.
            const int steps = mesh.triangles.size() > 10000 ? 3 : 60;
            for (int i = 0; i <= steps; ++i) {
                for (int j = 0; i + j <= steps; ++j) {
                    const double u = double(i) / steps;
                    const double v = double(j) / steps;
                    Vec3 p;
                    for (int a = 0; a < 3; ++a) {
                        p[a] = at(0)[a] + (at(1)[a] - at(0)[a]) * u + (at(2)[a] - at(0)[a]) * v;
                    }
                    const std::size_t c = cellIndex(p);
                    ASSERT_TRUE(std::count(cellsOf[t].begin(), cellsOf[t].end(), c) == 1) << t;
                }
            }
            int box = 1;
            for (int a = 0; a < 3; ++a) {
                const double mn = std::min({at(0)[a], at(1)[a], at(2)[a]});
                const double mx = std::max({at(0)[a], at(1)[a], at(2)[a]});
                box *= static_cast<int>(std::floor((mx - grid.lo[a]) * grid.invCell[a])) -
                       static_cast<int>(std::floor((mn - grid.lo[a]) * grid.invCell[a])) + 1;
            }
            EXPECT_LE(cellsOf[t].size(), static_cast<std::size_t>(box)) << t;
            listed += cellsOf[t].size();
            boxCells += static_cast<std::size_t>(box);
        }
        // The fan's wedges and the long slanted triangles cross far fewer cells than their boxes hold.
        EXPECT_LT(listed * 2, boxCells);
    }
}

TEST(ThicknessSampler, ClosedCubeMeasuresItsSideOnEveryFace)
{
    const MeshLists cube = test::box({0, 0, 0}, {10, 10, 10});
    const ThicknessSamples samples = sampleThickness(cube.positions, cube.triangles);
    for (std::size_t f = 0; f < cube.triangles.size(); ++f) {
        EXPECT_TRUE(samples.measured[f]) << f;
        EXPECT_NEAR(samples.thicknessMM[f], 10.0, 1e-9) << f;
    }
}

TEST(ThicknessSampler, HollowBoxMeasuresItsWallFromBothSkins)
{
    const MeshLists hollow = welded(test::hollowBox({-5, -5, -5}, {15, 25, 10}, 1.5, 3));
    const ThicknessSamples samples = sampleThickness(hollow.positions, hollow.triangles);
    for (std::size_t f = 0; f < hollow.triangles.size(); ++f) {
        EXPECT_TRUE(samples.measured[f]) << f;
        EXPECT_NEAR(samples.thicknessMM[f], 1.5, 1e-9) << f;
    }
}

TEST(ThicknessSampler, OpenSurfacesAreMisses)
{
    for (const MeshLists& mesh :
         {MeshLists{{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}}}, welded(test::sheet(6, 20))}) {
        const ThicknessSamples samples = sampleThickness(mesh.positions, mesh.triangles);
        for (std::size_t f = 0; f < mesh.triangles.size(); ++f) {
            EXPECT_FALSE(samples.measured[f]);
            EXPECT_EQ(samples.thicknessMM[f], 0.0);
        }
    }
}

TEST(ThicknessSampler, EdgeNeighboursAreSkippedButVertexNeighboursCount)
{
    // Face 0 faces +Z; face 1 folds under it across their shared edge; face 2 touches face 0 at vertex 0
    // only, further down.
    MeshLists mesh;
    mesh.positions = {{0, 0, 0}, {10, 0, 0}, {0, 10, 0}, {0, 10, -1}, {20, 0, -4}, {0, 20, -4}};
    mesh.triangles = {{0, 1, 2}, {1, 0, 3}};
    ThicknessSamples samples = sampleThickness(mesh.positions, mesh.triangles);
    EXPECT_FALSE(samples.measured[0]);

    mesh.triangles.push_back({0, 4, 5});
    samples = sampleThickness(mesh.positions, mesh.triangles);
    ASSERT_TRUE(samples.measured[0]);
    EXPECT_NEAR(samples.thicknessMM[0], 4.0 / 3.0, 1e-9);
}

TEST(ThicknessSampler, ReportsEvery16384FacesSkippingDegenerateOnes)
{
    MeshLists mesh = test::sheet(91, 91.0);
    mesh.triangles.resize(16385);
    QStringList lines;
    sampleThickness(mesh.positions, mesh.triangles, [&](const QString& line) { lines << line; });
    EXPECT_EQ(lines, (QStringList{QStringLiteral("ray-sampling thickness \u00B7 0%"),
                                  QStringLiteral("ray-sampling thickness \u00B7 99%")}));

    mesh.triangles[0] = {0, 1, 2}; // three points on one row of the sheet: zero area
    lines.clear();
    const ThicknessSamples samples =
        sampleThickness(mesh.positions, mesh.triangles, [&](const QString& line) { lines << line; });
    EXPECT_EQ(lines, (QStringList{QStringLiteral("ray-sampling thickness \u00B7 99%")}));
    EXPECT_FALSE(samples.measured[0]);
}

TEST(GridWalk, AxisRayStepsAlongItsOwnAxisOnly)
{
    const Vec3 lo{0, 0, 0};
    const Vec3 hi{16, 16, 16};
    const Vec3 cell{1, 1, 1};
    std::vector<std::size_t> cells;
    detail::walkGrid(
        {-1.0, 3.5, 7.5}, {1, 0, 0}, lo, hi, 16, cell, cell, 100.0,
        [&](std::size_t c) { cells.push_back(c); }, [](double) { return true; });
    ASSERT_EQ(cells.size(), 16u);
    for (std::size_t x = 0; x < cells.size(); ++x) {
        EXPECT_EQ(cells[x], x + 16 * (3 + 16 * 7));
    }
}

TEST(GridWalk, TiesStepZThenYThenX)
{
    const Vec3 cell{1, 1, 1};
    const double s = 1.0 / std::sqrt(3.0);
    std::vector<std::size_t> cells;
    detail::walkGrid(
        {0, 0, 0}, {s, s, s}, {0, 0, 0}, {16, 16, 16}, 16, cell, cell, 100.0,
        [&](std::size_t c) { cells.push_back(c); }, [](double) { return true; });
    auto index = [](std::size_t x, std::size_t y, std::size_t z) { return x + 16 * (y + 16 * z); };
    ASSERT_GE(cells.size(), 4u);
    EXPECT_EQ(cells[0], index(0, 0, 0));
    EXPECT_EQ(cells[1], index(0, 0, 1));
    EXPECT_EQ(cells[2], index(0, 1, 1));
    EXPECT_EQ(cells[3], index(1, 1, 1));
}

TEST(GridWalk, RaysOutsideTheBoxOrLimitedByRayMaxVisitLittle)
{
    const Vec3 cell{1, 1, 1};
    std::size_t visited = 0;
    auto count = [&](std::size_t) { ++visited; };
    auto always = [](double) { return true; };
    detail::walkGrid({-1, 20, 5}, {1, 0, 0}, {0, 0, 0}, {16, 16, 16}, 16, cell, cell, 100.0, count, always);
    detail::walkGrid({-1, 5, 5}, {-1, 0, 0}, {0, 0, 0}, {16, 16, 16}, 16, cell, cell, 100.0, count, always);
    detail::walkGrid({NAN, 5, 5}, {1, 0, 0}, {0, 0, 0}, {16, 16, 16}, 16, cell, cell, 100.0, count, always);
    EXPECT_EQ(visited, 0u);
    detail::walkGrid({0.5, 5, 5}, {1, 0, 0}, {0, 0, 0}, {16, 16, 16}, 16, cell, cell, 2.0, count, always);
    EXPECT_EQ(visited, 3u); // cells entered at 0.5 and 1.5 lie within 2; the one at 2.5 does not
}

// The accelerated sampler (parallel blocks, early exit, one test per triangle per ray) against the full
// walk and against testing every triangle, bit for bit.
TEST(ThicknessSampler, MatchesFullWalkAndBruteForceOnSeededMeshes)
{
    std::vector<MeshLists> meshes;
    for (std::uint32_t seed : {1u, 2u, 3u}) {
        meshes.push_back(test::randomTriangles(400 + 300 * static_cast<int>(seed), seed));
    }
    meshes.push_back(welded(test::lumpySphere(24, 40, 30.0, 5)));
    meshes.push_back(
        welded(test::merged(test::lumpySphere(20, 30, 30.0, 6), test::lumpySphere(18, 28, 27.0, 6))));
    meshes.push_back(welded(test::hollowBox({0, 0, 0}, {12, 12, 12}, 0.75, 5)));
    meshes.push_back(fannedCylinder(400, 20.0, 60.0));
    // A finely meshed ball inside a coarse hollow box: the ball's cells are crowded and split into fine
    // cells, and its rays cross the box's cells too.
    MeshLists ball = test::lumpySphere(50, 80, 3.0, 8);
    for (Vec3& p : ball.positions) {
        p = {p[0] + 20.0, p[1] + 21.0, p[2] + 19.0};
    }
    meshes.push_back(welded(test::merged(test::hollowBox({0, 0, 0}, {40, 40, 40}, 2.0, 3), ball)));
    const ThicknessGrid crowded = buildThicknessGrid(meshes.back().positions, meshes.back().triangles);
    EXPECT_GT(std::count_if(crowded.fineFirst.begin(), crowded.fineFirst.end(),
                            [](std::uint32_t f) { return f != ThicknessGrid::kNotSplit; }),
              3);
    meshes.push_back(test::randomTriangles(60, 9)); // few and large: many cells each

    std::size_t compared = 0;
    for (const MeshLists& mesh : meshes) {
        const ThicknessSamples full = referenceSamples(mesh, false);
        const ThicknessSamples brute = referenceSamples(mesh, true);
        for (int threads : {1, 3}) {
            const ThicknessSamples fast = sampleThickness(mesh.positions, mesh.triangles, {}, {}, threads);
            ASSERT_EQ(fast.measured, full.measured);
            ASSERT_EQ(fast.thicknessMM, full.thicknessMM);
        }
        EXPECT_EQ(full.measured, brute.measured);
        EXPECT_EQ(full.thicknessMM, brute.thicknessMM);
        for (std::uint8_t m : full.measured) {
            compared += m;
        }
    }
    EXPECT_GT(compared, 5000u);
}

} // namespace
} // namespace tovarine
