#include "MorvelSceneBuffers.h"

#include "OrbitCamera.h"

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

} // namespace

TEST(MorvelSceneBuffers, FramingLooksAtTheCentreFromAboveAndToTheSide)
{
    // A surface spanning 200 x 100 x 50 mm: 0.2 m is its largest extent.
    MorvelPreview preview;
    preview.limitPositions = {0, 0, 0, 200, 100, 50};
    const MorvelSurfaceGeometry surface = MorvelSceneGeometry::surface(preview);
    const std::optional<CameraFrame> frame = MorvelSceneBuffers::frame(surface.bounds);
    ASSERT_TRUE(frame.has_value());
    const QVector3D centre(0.1f, 0.025f, -0.05f);
    expectNear(frame->target, centre);
    expectNear(frame->position, centre + QVector3D(0.18f, 0.18f, 0.28f));
    EXPECT_NEAR(frame->zNear, 0.002f, 1e-7f);
    EXPECT_NEAR(frame->zFar, 10.0f, 1e-5f);
    EXPECT_FLOAT_EQ(frame->fieldOfViewDeg, 45.0f);
    // The orbit camera starts there, looking at the centre.
    const OrbitCamera camera(frame);
    expectNear(camera.position(), frame->position, 1e-5f);
    expectNear(camera.target(), centre);

    // No points, a single point or an infinite extent: no framing camera.
    EXPECT_FALSE(MorvelSceneBuffers::frame(MorvelSceneGeometry::surface({}).bounds));
    preview.limitPositions = {5, 5, 5};
    EXPECT_FALSE(MorvelSceneBuffers::frame(MorvelSceneGeometry::surface(preview).bounds));
    preview.limitPositions = {0, 0, 0, std::numeric_limits<float>::infinity(), 0, 0};
    EXPECT_FALSE(MorvelSceneBuffers::frame(MorvelSceneGeometry::surface(preview).bounds));
}

TEST(MorvelSceneBuffers, SurfaceIsGreyWithItsNormals)
{
    MorvelPreview preview;
    preview.limitPositions = {0, 0, 0, 10, 0, 0, 0, 10, 0};
    preview.limitTriangles = {0, 1, 2};
    const PreviewBuffers buffers = MorvelSceneBuffers::surface(MorvelSceneGeometry::surface(preview));
    ASSERT_EQ(buffers.vertexCount(), 3u);
    const float* v = &buffers.vertices[PreviewBuffers::kFloatsPerVertex];
    expectNear({v[0], v[1], v[2]}, {0.01f, 0.0f, 0.0f});
    expectNear({v[3], v[4], v[5]}, {0.0f, 1.0f, 0.0f});
    expectNear({v[6], v[7], v[8]}, {0.78f, 0.78f, 0.78f}, 1e-3f);
    EXPECT_EQ(buffers.triangleIndices, preview.limitTriangles);
    EXPECT_TRUE(buffers.edgeIndices.empty());
}

TEST(MorvelSceneBuffers, CageRunsCarryTheirClassColourAndOpacity)
{
    MorvelPreview preview;
    preview.cagePositions = {0, 0, 0, 10, 0, 0, 10, 10, 0};
    preview.cageEdges = {0, 1, 1, 2, 2, 0};
    preview.creaseWeights = {0, 5, 0};
    const MorvelCageBuffers cage = MorvelSceneBuffers::cage(MorvelSceneGeometry::cage(preview));
    ASSERT_EQ(cage.runs.size(), 2u) << "no soft creases: no run for them";
    EXPECT_EQ(cage.runs[0].edgeClass, MorvelEdgeClass::plain);
    EXPECT_EQ(cage.runs[0].firstEdge, 0);
    EXPECT_EQ(cage.runs[0].edgeCount, 2);
    EXPECT_NEAR(cage.runs[0].opacity, 0.75f, 1e-4f);
    EXPECT_EQ(cage.runs[1].edgeClass, MorvelEdgeClass::hardCrease);
    EXPECT_EQ(cage.runs[1].firstEdge, 2);
    EXPECT_EQ(cage.runs[1].edgeCount, 1);
    EXPECT_FLOAT_EQ(cage.runs[1].opacity, 1.0f);

    // Each run draws its own coloured copy of the cage vertices.
    ASSERT_EQ(cage.buffers.vertexCount(), 6u);
    EXPECT_EQ(cage.buffers.edgeIndices, (std::vector<std::uint32_t>{0, 1, 2, 0, 4, 5}));
    const auto colourOf = [&](std::uint32_t vertex) {
        const float* c = &cage.buffers.vertices[vertex * PreviewBuffers::kFloatsPerVertex + 6];
        return QVector3D(c[0], c[1], c[2]);
    };
    expectNear(colourOf(0), {0, 1, 1});
    expectNear(colourOf(4), {1, 0.5f, 0}, 1e-3f);
}
