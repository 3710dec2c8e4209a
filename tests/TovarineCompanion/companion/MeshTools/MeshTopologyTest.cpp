#include "MeshTopology.h"

#include "MeshFixtures.h"

#include <array>
#include <cmath>
#include <gtest/gtest.h>
#include <map>
#include <random>

namespace tovarine {

namespace {

using MeshTopology::EdgeReport;

TEST(MeshTopology, ValidTrianglesKeepsInRangeDistinctOnesInOrder)
{
    const MeshTriangles input{{0, 1, 2}, {0, 1, 3}, {-1, 0, 1}, {2, 2, 1}, {2, 1, 0}, {0, 0, 0}};
    EXPECT_EQ(MeshTopology::validTriangles(input, 3), (MeshTriangles{{0, 1, 2}, {2, 1, 0}}));
    // A fanned polygon with one bad index loses only the fan triangles that use it.
    const MeshTriangles fan{{0, 1, 2}, {0, 2, 7}, {0, 7, 3}, {0, 3, 1}};
    EXPECT_EQ(MeshTopology::validTriangles(fan, 4), (MeshTriangles{{0, 1, 2}, {0, 3, 1}}));
}

TEST(MeshTopology, WeldMergesWithinToleranceWithoutChaining)
{
    // Tolerance 1: vertex 1 is exactly one tolerance from 0 and merges; 2 and 3 are within 1 of 0 but more
    // than 1 from each other, and merge into 0 too; 4 is within 1 of the merged-away 3 but not of 0.
    const MeshPositions positions{{0, 0, 0},     {1, 0, 0}, {-0.6, 0.6, 0}, {0.6, 0.6, 0},
                                  {1.5, 0.7, 0}, {5, 5, 5}, {9, 9, 9}};
    const MeshTriangles triangles{{0, 4, 5}, {1, 2, 3}, {1, 4, 5}, {3, 4, 5}};
    const MeshLists welded = MeshTopology::weld(positions, triangles, 1.0);
    // Vertex 6 is referenced by nothing and dropped; {1, 2, 3} collapses onto vertex 0 and is dropped.
    EXPECT_EQ(welded.positions, (MeshPositions{{0, 0, 0}, {1.5, 0.7, 0}, {5, 5, 5}}));
    EXPECT_EQ(welded.triangles, (MeshTriangles{{0, 1, 2}, {0, 1, 2}, {0, 1, 2}}));
}

TEST(MeshTopology, WeldWithAutomaticToleranceJoinsSplitSides)
{
    const MeshLists split = test::subdividedBox({0, 0, 0}, {10, 10, 10}, 2);
    const MeshLists welded = MeshTopology::weld(split.positions, split.triangles);
    EXPECT_EQ(welded.positions.size(), 26u); // 3 × 3 × 3 lattice less its centre
    EXPECT_EQ(welded.triangles.size(), 48u);
    EXPECT_EQ(MeshTopology::edgeReport(welded.triangles), (EdgeReport{0, 0, 0}));
    // Positions that differ by less than extent × 1e-6 merge; larger gaps do not.
    const MeshPositions near{{0, 0, 0}, {100, 0, 0}, {0, 100, 0}, {0, 0, 5e-5}, {100, 1e-3, 0}, {0, 100, 0}};
    const MeshLists weldedNear = MeshTopology::weld(near, {{0, 1, 2}, {3, 4, 5}});
    EXPECT_EQ(weldedNear.positions.size(), 4u);
    EXPECT_EQ(weldedNear.triangles, (MeshTriangles{{0, 1, 2}, {0, 3, 2}}));
}

TEST(MeshTopology, WeldDropsTrianglesOnNonFiniteVerticesAndKeepsTheRest)
{
    const double nan = std::nan("");
    const double inf = INFINITY;
    // A far-away unused vertex and non-finite ones would otherwise stretch the tolerance over the mesh.
    const MeshPositions positions{{0, 0, 0},   {1, 0, 0},     {0, 1, 0}, {nan, 0, 0},
                                  {inf, 0, 0}, {1e300, 0, 0}, {0, 0, 1}};
    const MeshTriangles triangles{{0, 1, 2}, {0, 1, 3}, {4, 1, 2}, {0, 2, 6}};
    const MeshLists welded = MeshTopology::weld(positions, triangles);
    EXPECT_EQ(welded.positions, (MeshPositions{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}}));
    EXPECT_EQ(welded.triangles, (MeshTriangles{{0, 1, 2}, {0, 2, 3}}));
    // Only non-finite geometry: nothing survives, and nothing crashes.
    EXPECT_TRUE(MeshTopology::weld({{nan, nan, nan}, {inf, 0, 0}, {0, 0, 0}}, {{0, 1, 2}}).triangles.empty());
    // An empty position list is returned as it came.
    EXPECT_EQ(MeshTopology::weld({}, {{0, 1, 2}}).triangles.size(), 1u);
}

// The weld written plainly: an ordered map of cells and all 27 neighbours searched for every vertex.
MeshLists plainWeld(const MeshPositions& positions, const MeshTriangles& triangles, double tol)
{
    Vec3 lo{INFINITY, INFINITY, INFINITY};
    std::vector<char> used(positions.size(), 0);
    for (const MeshTriangle& t : triangles) {
        for (std::int64_t v : t) {
            used[static_cast<std::size_t>(v)] = 1;
            for (int a = 0; a < 3; ++a) {
                lo[a] = std::min(lo[a], positions[static_cast<std::size_t>(v)][a]);
            }
        }
    }
    std::map<std::array<std::int64_t, 3>, std::vector<std::int64_t>> cells;
    MeshLists out;
    std::vector<std::int64_t> rep(positions.size(), -1);
    for (std::size_t v = 0; v < positions.size(); ++v) {
        if (!used[v]) {
            continue;
        }
        const Vec3& p = positions[v];
        std::array<std::int64_t, 3> own;
        for (int a = 0; a < 3; ++a) {
            own[a] = static_cast<std::int64_t>(std::floor((p[a] - lo[a]) * (1.0 / tol)));
        }
        for (int dz = -1; dz <= 1 && rep[v] < 0; ++dz) {
            for (int dy = -1; dy <= 1 && rep[v] < 0; ++dy) {
                for (int dx = -1; dx <= 1 && rep[v] < 0; ++dx) {
                    for (std::int64_t s : cells[{own[0] + dx, own[1] + dy, own[2] + dz}]) {
                        const Vec3& q = out.positions[static_cast<std::size_t>(s)];
                        const double d =
                            std::sqrt((q[0] - p[0]) * (q[0] - p[0]) + (q[1] - p[1]) * (q[1] - p[1]) +
                                      (q[2] - p[2]) * (q[2] - p[2]));
                        if (d <= tol) {
                            rep[v] = s;
                            break;
                        }
                    }
                }
            }
        }
        if (rep[v] < 0) {
            rep[v] = static_cast<std::int64_t>(out.positions.size());
            out.positions.push_back(p);
            cells[own].push_back(rep[v]);
        }
    }
    for (const MeshTriangle& t : triangles) {
        const MeshTriangle r{rep[static_cast<std::size_t>(t[0])], rep[static_cast<std::size_t>(t[1])],
                             rep[static_cast<std::size_t>(t[2])]};
        if (r[0] != r[1] && r[1] != r[2] && r[0] != r[2]) {
            out.triangles.push_back(r);
        }
    }
    return out;
}

TEST(MeshTopology, WeldMatchesThePlainSearchOnClusteredPoints)
{
    std::mt19937 rng(4);
    std::uniform_real_distribution<double> centre(-40.0, 40.0);
    std::uniform_real_distribution<double> jitter(-0.6, 0.6);
    MeshPositions positions;
    for (int cluster = 0; cluster < 400; ++cluster) {
        const Vec3 c{centre(rng), centre(rng), centre(rng)};
        for (int k = 0; k < 6; ++k) {
            positions.push_back({c[0] + jitter(rng), c[1] + jitter(rng), c[2] + jitter(rng)});
        }
    }
    std::uniform_int_distribution<std::int64_t> pick(0, static_cast<std::int64_t>(positions.size()) - 1);
    MeshTriangles triangles;
    for (int t = 0; t < 3000; ++t) {
        triangles.push_back({pick(rng), pick(rng), pick(rng)});
    }
    triangles = MeshTopology::validTriangles(triangles, static_cast<std::int64_t>(positions.size()));
    for (double tol : {0.25, 0.5, 1.0}) {
        const MeshLists expected = plainWeld(positions, triangles, tol);
        const MeshLists welded = MeshTopology::weld(positions, triangles, tol);
        EXPECT_EQ(welded.positions, expected.positions) << tol;
        EXPECT_EQ(welded.triangles, expected.triangles) << tol;
        EXPECT_LT(expected.positions.size() + 100, positions.size()) << tol; // merging did happen
    }
}

struct EdgeCase
{
    const char* name;
    MeshTriangles triangles;
    EdgeReport expected;
};

void PrintTo(const EdgeCase& c, std::ostream* os)
{
    *os << c.name;
}

class EdgeReports : public ::testing::TestWithParam<EdgeCase>
{
};

TEST_P(EdgeReports, CountOpenNonManifoldAndFlippedEdges)
{
    EXPECT_EQ(MeshTopology::edgeReport(GetParam().triangles), GetParam().expected);
}

const MeshTriangles kTetrahedron{{0, 2, 1}, {0, 1, 3}, {1, 2, 3}, {0, 3, 2}};

INSTANTIATE_TEST_SUITE_P(
    MeshTopology, EdgeReports,
    ::testing::Values(EdgeCase{"singleTriangle", {{0, 1, 2}}, {3, 0, 0}},
                      EdgeCase{"closedTetrahedron", kTetrahedron, {0, 0, 0}},
                      EdgeCase{"oneFaceReversed", {{0, 1, 2}, {0, 1, 3}, {1, 2, 3}, {0, 3, 2}}, {0, 0, 3}},
                      EdgeCase{"threeShareAnEdge", {{0, 1, 2}, {1, 0, 3}, {0, 1, 4}}, {6, 1, 0}},
                      EdgeCase{"empty", {}, {0, 0, 0}},
                      EdgeCase{"sparseLargeIndices",
                               {{4000000000, 4000000001, 4000000002}, {4000000002, 4000000001, 4000000000}},
                               {0, 0, 0}}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace

} // namespace tovarine
