#include "MeshFixtures.h"

#include "Mesh/MeshSubdivision.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace ostrel;

namespace {

void expectNear(const Float3& actual, const Float3& expected)
{
    EXPECT_NEAR(actual.x, expected.x, 1e-6f);
    EXPECT_NEAR(actual.y, expected.y, 1e-6f);
    EXPECT_NEAR(actual.z, expected.z, 1e-6f);
}

} // namespace

TEST(MeshSubdivision, OneTriangleOneLevel)
{
    const std::vector<Float3> v = {{0, 0, 0}, {2, 0, 0}, {0, 2, 0}};
    const auto r = MeshSubdivision::subdivide(v, {}, std::vector<std::uint32_t>{0, 1, 2}, 1);
    EXPECT_EQ(r.vertices, (std::vector<Float3>{{0, 0, 0}, {2, 0, 0}, {0, 2, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}));
    EXPECT_EQ(r.indices, (std::vector<std::uint32_t>{0, 3, 5, 3, 1, 4, 5, 4, 2, 3, 4, 5}));
    ASSERT_EQ(r.normals.size(), 6u);
    for (const Float3& n : r.normals) {
        EXPECT_EQ(n, (Float3{0, 0, 1}));
    }
}

TEST(MeshSubdivision, SharedEdgeGetsOneMidpointAndCountsGrowPerLevel)
{
    // A square of two triangles whose diagonal runs both ways.
    const std::vector<Float3> v = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    const std::vector<std::uint32_t> idx = {0, 1, 2, 0, 2, 3};
    const auto one = MeshSubdivision::subdivide(v, {}, idx, 1);
    EXPECT_EQ(one.vertices.size(), 9u);
    EXPECT_EQ(one.indices.size(), 8u * 3);
    const auto two = MeshSubdivision::subdivide(v, {}, idx, 2);
    EXPECT_EQ(two.vertices.size(), 25u);
    EXPECT_EQ(two.indices.size(), 32u * 3);

    // The closed box keeps its shape: every vertex stays on a face of the unit cube.
    const test::Mesh box = test::closedBox();
    const auto fine = MeshSubdivision::subdivide(box.vertices, {}, box.indices, 3);
    EXPECT_EQ(fine.indices.size(), 12u * 64 * 3);
    for (const Float3& p : fine.vertices) {
        const bool onFace = p.x == 0 || p.x == 1 || p.y == 0 || p.y == 1 || p.z == 0 || p.z == 1;
        EXPECT_TRUE(onFace);
    }
}

TEST(MeshSubdivision, NoLevelsReturnsTheInputUntouched)
{
    const std::vector<Float3> v = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    const std::vector<Float3> n = {{0.3f, 0.3f, 0.3f}};
    const std::vector<std::uint32_t> idx = {0, 1, 2, 7}; // out of range, but untouched at level 0
    for (const int levels : {0, -3}) {
        const auto r = MeshSubdivision::subdivide(v, n, idx, levels);
        EXPECT_EQ(r.vertices, v);
        EXPECT_EQ(r.normals, n);
        EXPECT_EQ(r.indices, idx);
    }
    const auto positive = MeshSubdivision::subdivide(v, n, std::vector<std::uint32_t>{0, 1, 2}, 1);
    EXPECT_EQ(positive.normals[0], (Float3{0, 0, 1})); // any positive level replaces the normals
}

TEST(MeshSubdivision, CollapsedTrianglesDoNotSpoilTheirNeighboursNormals)
{
    // Vertex 0 belongs to a good triangle in the z = 0 plane and to a collapsed one (0, 0, 3); vertex 3 only
    // to the collapsed one; vertex 4 to none.
    const std::vector<Float3> v = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {5, 5, 5}, {9, 9, 9}};
    const std::vector<std::uint32_t> idx = {0, 1, 2, 0, 0, 3};
    const auto r = MeshSubdivision::subdivide(v, {}, idx, 1);
    EXPECT_EQ(r.normals[0], (Float3{0, 0, 1}));
    EXPECT_EQ(r.normals[1], (Float3{0, 0, 1}));
    EXPECT_EQ(r.normals[3], (Float3{0, 1, 0}));
    EXPECT_EQ(r.normals[4], (Float3{0, 1, 0}));
}

TEST(MeshSubdivision, NormalsAverageFacesEquallyWhateverTheirArea)
{
    // A large triangle in z = 0 and a small one in x = 0 share the edge (0, 2): those corners get the
    // normalised sum of the two unit normals.
    const std::vector<Float3> v = {{0, 0, 0}, {10, 0, 0}, {0, 10, 0}, {0, 0, 0.1f}};
    const auto r = MeshSubdivision::subdivide(v, {}, std::vector<std::uint32_t>{0, 1, 2, 0, 2, 3}, 1);
    const float h = 1.0f / std::sqrt(2.0f);
    expectNear(r.normals[0], {h, 0, h});
    expectNear(r.normals[2], {h, 0, h});
    expectNear(r.normals[1], {0, 0, 1});
    expectNear(r.normals[3], {1, 0, 0});
}

TEST(MeshSubdivision, InputOutsideTheLimitsGivesTheEmptyResult)
{
    const test::Mesh box = test::closedBox();
    struct Case
    {
        const char* name;
        std::vector<std::uint32_t> indices;
        int levels;
    };
    const Case cases[] = {
        {"index past the last vertex", {0, 1, 8}, 1},
        {"more levels than the cap", box.indices, MeshSubdivision::kMaxLevels + 1},
        {"a level count whose result could never be held", box.indices, 1000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto r = MeshSubdivision::subdivide(box.vertices, {}, c.indices, c.levels);
        EXPECT_TRUE(r.vertices.empty());
        EXPECT_TRUE(r.normals.empty());
        EXPECT_TRUE(r.indices.empty());
    }
    const auto capped = MeshSubdivision::subdivide(box.vertices, {}, box.indices, MeshSubdivision::kMaxLevels);
    EXPECT_EQ(capped.indices.size(), 12u * 65536 * 3);
}

TEST(MeshSubdivision, MidpointsOfHugeCoordinatesStayFinite)
{
    const std::vector<Float3> v = {{3e38f, 0, 0}, {3e38f, 1, 0}, {0, 0, 1}};
    const auto r = MeshSubdivision::subdivide(v, {}, std::vector<std::uint32_t>{0, 1, 2}, 1);
    ASSERT_EQ(r.vertices.size(), 6u);
    EXPECT_EQ(r.vertices[3], (Float3{3e38f, 0.5f, 0}));
}
