#include "MorvelSceneGeometry.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

using namespace tovarine;

namespace {

void expectNear(const QVector3D& actual, const QVector3D& expected, float tolerance = 1e-6f)
{
    EXPECT_NEAR(actual.x(), expected.x(), tolerance);
    EXPECT_NEAR(actual.y(), expected.y(), tolerance);
    EXPECT_NEAR(actual.z(), expected.z(), tolerance);
}

// A unit cube cage in millimetres (Z up): 8 corners, 12 edges.
MorvelPreview cubeCage()
{
    MorvelPreview preview;
    preview.cagePositions = {0, 0, 0,  10, 0, 0,  10, 10, 0,  0, 10, 0,
                             0, 0, 10, 10, 0, 10, 10, 10, 10, 0, 10, 10};
    preview.cageEdges = {0, 1, 1, 2, 2, 3, 3, 0, 4, 5, 5, 6, 6, 7, 7, 4, 0, 4, 1, 5, 2, 6, 3, 7};
    return preview;
}

} // namespace

TEST(MorvelSceneGeometry, PointsTurnMillimetresZUpIntoMetresYUp)
{
    const std::vector<QVector3D> p = MorvelSceneGeometry::points({10, 20, 30, -1000, 0, 500, 7, 8});
    ASSERT_EQ(p.size(), 2u) << "the trailing incomplete triple is ignored";
    expectNear(p[0], {0.01f, 0.03f, -0.02f});
    expectNear(p[1], {-1.0f, 0.5f, 0.0f});
    EXPECT_TRUE(MorvelSceneGeometry::points({1, 2}).empty());
    EXPECT_TRUE(MorvelSceneGeometry::points({}).empty());
}

TEST(MorvelSceneGeometry, CreaseWeightsPickTheEdgeClassAndColour)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct
    {
        double weight;
        MorvelEdgeClass edgeClass;
    } cases[] = {
        {0.0, MorvelEdgeClass::plain},        {-1.0, MorvelEdgeClass::plain},
        {nan, MorvelEdgeClass::plain},        {0.5, MorvelEdgeClass::softCrease},
        {2.999, MorvelEdgeClass::softCrease}, {3.0, MorvelEdgeClass::hardCrease},
        {7.0, MorvelEdgeClass::hardCrease},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MorvelSceneGeometry::edgeClass(c.weight), c.edgeClass) << "weight " << c.weight;
    }
    EXPECT_EQ(MorvelSceneGeometry::lineColor(MorvelEdgeClass::plain), QColor::fromRgbF(0, 1, 1, 0.75f));
    EXPECT_EQ(MorvelSceneGeometry::lineColor(MorvelEdgeClass::softCrease), QColor::fromRgbF(1, 1, 0));
    EXPECT_EQ(MorvelSceneGeometry::lineColor(MorvelEdgeClass::hardCrease), QColor::fromRgbF(1, 0.5f, 0));
}

TEST(MorvelSceneGeometry, CageEdgesGoToTheirClassesInEdgeOrder)
{
    MorvelPreview preview = cubeCage();
    preview.cageEdges.resize(10);   // five edges
    preview.cageEdges.push_back(6); // an odd trailing index is ignored
    preview.creaseWeights = {0, 0.5, 2.999, 3, 7};
    MorvelCageGeometry cage = MorvelSceneGeometry::cage(preview);
    ASSERT_EQ(cage.positions.size(), 8u);
    expectNear(cage.positions[6], {0.01f, 0.01f, -0.01f});
    EXPECT_EQ(cage.lines[0], (std::vector<std::uint32_t>{0, 1}));
    EXPECT_EQ(cage.lines[1], (std::vector<std::uint32_t>{1, 2, 2, 3}));
    EXPECT_EQ(cage.lines[2], (std::vector<std::uint32_t>{3, 0, 4, 5}));

    // Three edges and two weights: the third edge has no weight and is plain.
    preview = cubeCage();
    preview.cageEdges.resize(6);
    preview.creaseWeights = {3, 1};
    cage = MorvelSceneGeometry::cage(preview);
    EXPECT_EQ(cage.lines[0], (std::vector<std::uint32_t>{2, 3}));
    EXPECT_EQ(cage.lines[1], (std::vector<std::uint32_t>{1, 2}));
    EXPECT_EQ(cage.lines[2], (std::vector<std::uint32_t>{0, 1}));

    // All plain: one class only; no edges: none.
    cage = MorvelSceneGeometry::cage(cubeCage());
    EXPECT_EQ(cage.lines[0].size(), 24u);
    EXPECT_TRUE(cage.lines[1].empty() && cage.lines[2].empty());
    preview = cubeCage();
    preview.cageEdges = {3};
    cage = MorvelSceneGeometry::cage(preview);
    EXPECT_TRUE(cage.lines[0].empty() && cage.lines[1].empty() && cage.lines[2].empty());
}

TEST(MorvelSceneGeometry, CageEdgesPastTheVertexCountAreDroppedWithTheirWeightsKeptInStep)
{
    MorvelPreview preview = cubeCage();
    preview.cageEdges = {0, 1, 8, 2, 2, 3, 4, 4000000000u};
    preview.creaseWeights = {0, 7, 7, 7};
    const MorvelCageGeometry cage = MorvelSceneGeometry::cage(preview);
    EXPECT_EQ(cage.lines[0], (std::vector<std::uint32_t>{0, 1}));
    EXPECT_TRUE(cage.lines[1].empty());
    EXPECT_EQ(cage.lines[2], (std::vector<std::uint32_t>{2, 3})) << "the third edge keeps the third weight";
}

TEST(MorvelSceneGeometry, SurfaceNormalsAreAreaWeightedAndYUp)
{
    // A roof of two triangles over the XY plane in engine space (Z up), plus a vertex only on a degenerate
    // triangle and one on no triangle at all.
    MorvelPreview preview;
    preview.limitPositions = {
        0,  0,  0, // 0
        20, 0,  0, // 1
        20, 10, 0, // 2
        0,  10, 0, // 3
        5,  5,  0, // 4: on a zero-area triangle only
        9,  9,  9, // 5: on none
    };
    preview.limitTriangles = {0, 1, 2, 0, 2, 3, 4, 4, 4};
    const MorvelSurfaceGeometry surface = MorvelSceneGeometry::surface(preview);
    ASSERT_EQ(surface.positions.size(), 6u);
    ASSERT_EQ(surface.normals.size(), 6u);
    // Counter-clockwise seen from engine +Z: the normal points up, which is the view's +Y.
    for (int i = 0; i < 4; ++i) {
        expectNear(surface.normals[i], {0, 1, 0});
    }
    expectNear(surface.normals[4], {0, 1, 0});
    expectNear(surface.normals[5], {0, 1, 0});
    EXPECT_EQ(surface.triangles, preview.limitTriangles);

    // Two faces of a fold sharing an edge: the larger face pulls the shared vertices' normal toward its own.
    preview.limitPositions = {0, 0, 0, 0, 10, 0, 100, 0, 0, 0, 0, 10};
    preview.limitTriangles = {0, 2, 1, 0, 1, 3};
    const MorvelSurfaceGeometry fold = MorvelSceneGeometry::surface(preview);
    // Face 0,2,1 (area 500) faces engine +Z (view +Y); face 0,1,3 (area 50) faces engine +X (view +X).
    expectNear(fold.normals[0], QVector3D(0.1f, 1.0f, 0.0f).normalized(), 1e-5f);
    expectNear(fold.normals[1], QVector3D(0.1f, 1.0f, 0.0f).normalized(), 1e-5f);
    expectNear(fold.normals[2], {0, 1, 0});
    expectNear(fold.normals[3], {1, 0, 0});

    // Small faces keep their direction: a 1 mm triangle facing engine +X (view +X) is no degenerate one.
    preview.limitPositions = {0, 0, 0, 0, 1, 0, 0, 0, 1};
    preview.limitTriangles = {0, 1, 2};
    const MorvelSurfaceGeometry small = MorvelSceneGeometry::surface(preview);
    for (const QVector3D& n : small.normals) {
        expectNear(n, {1, 0, 0});
    }
}

TEST(MorvelSceneGeometry, SurfaceTrianglesPastTheVertexCountAreDroppedAndAddNothing)
{
    MorvelPreview preview;
    preview.limitPositions = {0, 0, 0, 10, 0, 0, 0, 10, 0};
    // The second triangle names vertex 3 of three; its turned winding would cancel the first normal.
    preview.limitTriangles = {0, 1, 2, 0, 2, 3, 2, 1};
    const MorvelSurfaceGeometry surface = MorvelSceneGeometry::surface(preview);
    EXPECT_EQ(surface.triangles, (std::vector<std::uint32_t>{0, 1, 2}));
    expectNear(surface.normals[0], {0, 1, 0});
}

TEST(MorvelSceneGeometry, BoundsCoverThePointsAndIgnoreNotANumber)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    MorvelPreview preview;
    preview.limitPositions = {nan, 0, 0, 200, 100, 50, 0, nan, 0, -10, 20, 0};
    const BoundingBox bounds = MorvelSceneGeometry::surface(preview).bounds;
    expectNear(bounds.min, {-0.01f, 0.0f, -0.1f});
    expectNear(bounds.max, {0.2f, 0.05f, 0.0f});

    const BoundingBox empty = MorvelSceneGeometry::surface(MorvelPreview{}).bounds;
    expectNear(empty.min, {0, 0, 0});
    expectNear(empty.max, {0, 0, 0});
}
