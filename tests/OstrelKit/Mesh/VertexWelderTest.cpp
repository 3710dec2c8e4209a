#include "MeshFixtures.h"

#include "Mesh/VertexWelder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <random>
#include <tuple>

using namespace ostrel;

namespace {

// The welder written the plain way: a map of cells, all 27 neighbours searched in order for every vertex.
VertexWelder::WeldResult referenceWeld(const std::vector<Float3>& vertices, const std::vector<Float3>& normals,
                                       const std::vector<std::uint32_t>& indices, float threshold)
{
    VertexWelder::WeldResult r;
    const float cell = 2.0f * threshold;
    std::map<std::tuple<int, int, int>, std::vector<std::uint32_t>> cells;
    std::vector<std::uint32_t> remap;
    for (std::size_t i = 0; i < vertices.size(); ++i) {
        const Float3 p = vertices[i];
        const int kx = static_cast<int>(std::floor(p.x / cell));
        const int ky = static_cast<int>(std::floor(p.y / cell));
        const int kz = static_cast<int>(std::floor(p.z / cell));
        std::uint32_t match = std::numeric_limits<std::uint32_t>::max();
        for (int dx = -1; dx <= 1 && match == std::numeric_limits<std::uint32_t>::max(); ++dx) {
            for (int dy = -1; dy <= 1 && match == std::numeric_limits<std::uint32_t>::max(); ++dy) {
                for (int dz = -1; dz <= 1 && match == std::numeric_limits<std::uint32_t>::max(); ++dz) {
                    const auto found = cells.find({kx + dx, ky + dy, kz + dz});
                    if (found == cells.end()) {
                        continue;
                    }
                    for (const std::uint32_t u : found->second) {
                        const Float3 q = r.vertices[u];
                        const float ex = q.x - p.x;
                        const float ey = q.y - p.y;
                        const float ez = q.z - p.z;
                        if ((ex * ex + ey * ey) + ez * ez < threshold * threshold) {
                            match = u;
                            break;
                        }
                    }
                }
            }
        }
        if (match == std::numeric_limits<std::uint32_t>::max()) {
            match = static_cast<std::uint32_t>(r.vertices.size());
            r.vertices.push_back(p);
            r.normals.push_back(i < normals.size() ? normals[i] : Float3{0, 1, 0});
            cells[{kx, ky, kz}].push_back(match);
        }
        remap.push_back(match);
    }
    for (const std::uint32_t i : indices) {
        r.indices.push_back(remap[i]);
    }
    r.originalCount = static_cast<std::int64_t>(vertices.size());
    r.weldedCount = static_cast<std::int64_t>(r.vertices.size());
    return r;
}

void expectSame(const VertexWelder::WeldResult& actual, const VertexWelder::WeldResult& expected)
{
    EXPECT_EQ(actual.vertices, expected.vertices);
    EXPECT_EQ(actual.normals, expected.normals);
    EXPECT_EQ(actual.indices, expected.indices);
    EXPECT_EQ(actual.originalCount, expected.originalCount);
    EXPECT_EQ(actual.weldedCount, expected.weldedCount);
}

} // namespace

TEST(VertexWelder, LooseBoxBecomesEightSharedVertices)
{
    const test::Mesh box = test::closedBox();
    const test::Mesh loose = test::looseTriangles(box);
    const auto r = VertexWelder::weld(loose.vertices, loose.normals, loose.indices, 0.0001f);
    EXPECT_EQ(r.originalCount, 36);
    EXPECT_EQ(r.weldedCount, 8);
    ASSERT_EQ(r.indices.size(), 36u);
    // Kept in order of first appearance, positions and normals of the first member unchanged.
    EXPECT_EQ(r.vertices[0], (Float3{0, 0, 0}));
    EXPECT_EQ(r.vertices[1], (Float3{1, 1, 0}));
    EXPECT_EQ(r.vertices[2], (Float3{1, 0, 0}));
    EXPECT_EQ(r.indices[3], 0u); // the second triangle starts at the first vertex again
    for (const Float3& n : r.normals) {
        EXPECT_EQ(n, (Float3{0, 0, 1}));
    }
}

TEST(VertexWelder, MergesStrictlyCloserThanTheThresholdIntoTheFirst)
{
    struct Case
    {
        const char* name;
        Float3 second;
        std::int64_t welded;
    };
    // 0.25 is exact in binary, so "exactly the threshold" is exact too.
    const Case cases[] = {
        {"exactly the threshold apart stays", {0.25f, 0, 0}, 2},
        {"slightly closer merges", {std::nextafter(0.25f, 0.0f), 0, 0}, 1},
        {"diagonal within the threshold merges", {0.1f, 0.1f, 0.1f}, 1},
        {"identical merges", {0, 0, 0}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<Float3> v = {{0, 0, 0}, c.second};
        const std::vector<Float3> n = {{1, 0, 0}, {0, 0, 1}};
        const auto r = VertexWelder::weld(v, n, std::vector<std::uint32_t>{0, 1, 1}, 0.25f);
        EXPECT_EQ(r.weldedCount, c.welded);
        EXPECT_EQ(r.vertices[0], (Float3{0, 0, 0}));
        EXPECT_EQ(r.normals[0], (Float3{1, 0, 0}));
    }
}

TEST(VertexWelder, MatchesOnlyKeptVerticesInInputOrder)
{
    // b is within the threshold of a, c only of b: b joins a, c stays (b was merged away).
    const std::vector<Float3> v = {{0, 0, 0}, {0.8f, 0, 0}, {1.6f, 0, 0}};
    const auto r = VertexWelder::weld(v, {}, std::vector<std::uint32_t>{0, 1, 2}, 1.0f);
    EXPECT_EQ(r.indices, (std::vector<std::uint32_t>{0, 0, 1}));
    EXPECT_EQ(r.vertices, (std::vector<Float3>{{0, 0, 0}, {1.6f, 0, 0}}));
}

TEST(VertexWelder, KeepsCollapsedTrianglesAndFillsMissingNormals)
{
    const std::vector<Float3> v = {{0, 0, 0}, {0.00001f, 0, 0}, {0, 0.00001f, 0}, {5, 5, 5}};
    const std::vector<Float3> n = {{1, 0, 0}, {0, 0, 1}};
    const auto r = VertexWelder::weld(v, n, std::vector<std::uint32_t>{0, 1, 2, 2, 3, 0}, 0.0001f);
    EXPECT_EQ(r.indices, (std::vector<std::uint32_t>{0, 0, 0, 0, 1, 0}));
    EXPECT_EQ(r.normals, (std::vector<Float3>{{1, 0, 0}, {0, 1, 0}})); // vertex 3 is past the normals' end
}

TEST(VertexWelder, EmptyVerticesGiveAnEmptyResultWhateverTheIndices)
{
    const auto r = VertexWelder::weld({}, {}, std::vector<std::uint32_t>{0, 1, 2}, 0.1f);
    EXPECT_TRUE(r.vertices.empty());
    EXPECT_TRUE(r.normals.empty());
    EXPECT_TRUE(r.indices.empty());
    EXPECT_EQ(r.originalCount, 0);
    EXPECT_EQ(r.weldedCount, 0);
}

TEST(VertexWelder, InputOutsideTheLimitsGivesTheEmptyResult)
{
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case
    {
        const char* name;
        std::vector<Float3> vertices;
        std::vector<std::uint32_t> indices;
    };
    const Case cases[] = {
        {"index past the last vertex", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {0, 1, 3}},
        {"NaN coordinate", {{0, 0, 0}, {nan, 0, 0}, {0, 1, 0}}, {0, 1, 2}},
        {"infinite coordinate", {{0, 0, 0}, {1, 0, 0}, {0, -inf, 0}}, {0, 1, 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto r = VertexWelder::weld(c.vertices, {}, c.indices, 0.1f);
        EXPECT_TRUE(r.vertices.empty());
        EXPECT_TRUE(r.indices.empty());
        EXPECT_EQ(r.weldedCount, 0);
    }
}

TEST(VertexWelder, NonPositiveOrNaNThresholdMergesNothing)
{
    const std::vector<Float3> v = {{0, 0, 0}, {0, 0, 0}, {1, 0, 0}};
    const std::vector<std::uint32_t> idx = {0, 1, 2};
    for (const float threshold : {0.0f, -1.0f, std::numeric_limits<float>::quiet_NaN(), 1e-30f}) {
        SCOPED_TRACE(threshold);
        const auto r = VertexWelder::weld(v, {}, idx, threshold);
        EXPECT_EQ(r.weldedCount, 3);
        EXPECT_EQ(r.vertices, v);
        EXPECT_EQ(r.indices, idx);
        EXPECT_EQ(r.normals, (std::vector<Float3>(3, Float3{0, 1, 0})));
    }
}

TEST(VertexWelder, HugeCoordinatesOverATinyCellStillWeldWithoutOverflow)
{
    // Cell coordinates far beyond 32 bits (and infinite quotients) must neither overflow nor lose matches.
    const std::vector<Float3> v = {{3e38f, -3e38f, 1e30f}, {3e38f, -3e38f, 1e30f}, {-3e38f, 3e38f, -1e30f},
                                   {1, 2, 3}, {1, 2, 3}};
    const auto r = VertexWelder::weld(v, {}, std::vector<std::uint32_t>{0, 1, 2, 3, 4, 2}, 1e-10f);
    EXPECT_EQ(r.indices, (std::vector<std::uint32_t>{0, 0, 1, 2, 2, 1}));
    EXPECT_EQ(r.weldedCount, 3);

    const auto wide = VertexWelder::weld(v, {}, std::vector<std::uint32_t>{0, 1, 2}, 3e38f);
    // An infinite cell and an infinite squared threshold: only the repeat merges, as squared distances
    // between the far points overflow too.
    EXPECT_EQ(wide.weldedCount, 3);
}

TEST(VertexWelder, AgreesWithTheFullNeighbourSearchOnClusteredPoints)
{
    // Clusters of jittered points, many near cell borders and at a range of scales, so matches reach into
    // every neighbour direction and order effects (chains, several candidates) occur.
    std::mt19937 rng(1234);
    for (const float threshold : {0.001f, 0.05f, 0.3f, 2.0f}) {
        for (const float scale : {1.0f, 1000.0f, 100000.0f}) {
            SCOPED_TRACE(testing::Message() << "threshold " << threshold << " scale " << scale);
            std::uniform_real_distribution<float> centre(-scale, scale);
            std::uniform_real_distribution<float> jitter(-1.5f * threshold, 1.5f * threshold);
            std::uniform_int_distribution<int> pick(0, 9);
            std::vector<Float3> centres;
            for (int c = 0; c < 40; ++c) {
                // Snap some centres onto cell borders.
                Float3 p{centre(rng), centre(rng), centre(rng)};
                if (c % 2 == 0) {
                    const float cell = 2.0f * threshold;
                    p.x = std::round(p.x / cell) * cell;
                }
                centres.push_back(p);
            }
            std::vector<Float3> v;
            std::vector<Float3> n;
            for (int i = 0; i < 3000; ++i) {
                const Float3 c = centres[static_cast<std::size_t>(i) % centres.size()];
                const Float3 p = pick(rng) < 3 ? c : Float3{c.x + jitter(rng), c.y + jitter(rng), c.z + jitter(rng)};
                v.push_back(p);
                n.push_back({static_cast<float>(i), 0, 0});
            }
            std::vector<std::uint32_t> idx;
            for (std::uint32_t i = 0; i < v.size(); ++i) {
                idx.push_back(static_cast<std::uint32_t>((i * 7919u) % v.size()));
            }
            n.resize(2500);
            const auto actual = VertexWelder::weld(v, n, idx, threshold);
            expectSame(actual, referenceWeld(v, n, idx, threshold));
            EXPECT_LT(actual.weldedCount, actual.originalCount);
        }
    }
}
