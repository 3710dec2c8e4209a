#include "PreviewBuffers.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <set>
#include <utility>

namespace tovarine {
namespace {

// A unit cube of 8 shared corners and 12 outward-facing triangles.
ModelMesh cube()
{
    ModelMesh mesh;
    for (int i = 0; i < 8; ++i) {
        mesh.positions.insert(mesh.positions.end(), {float(i & 1), float((i >> 1) & 1), float((i >> 2) & 1)});
    }
    mesh.indices = {0, 2, 1, 1, 2, 3, 4, 5, 6, 5, 7, 6, 0, 1, 4, 1, 5, 4,
                    2, 6, 3, 3, 6, 7, 0, 4, 2, 2, 4, 6, 1, 3, 5, 3, 7, 5};
    return mesh;
}

QVector3D normalAt(const PreviewBuffers& buffers, std::size_t vertex)
{
    const float* v = buffers.vertices.data() + vertex * PreviewBuffers::kFloatsPerVertex;
    return {v[3], v[4], v[5]};
}

TEST(PreviewBuffers, CubeGetsOutwardNormalsGreyAndEachEdgeOnce)
{
    const PreviewBuffers buffers = buildPreviewBuffers(cube());
    ASSERT_EQ(buffers.vertexCount(), 8u);
    EXPECT_EQ(buffers.triangleIndices.size(), 36u);
    // 12 cube edges plus one diagonal per face.
    EXPECT_EQ(buffers.edgeIndices.size(), 2u * 18u);
    std::set<std::pair<std::uint32_t, std::uint32_t>> edges;
    for (std::size_t i = 0; i < buffers.edgeIndices.size(); i += 2) {
        edges.insert({buffers.edgeIndices[i], buffers.edgeIndices[i + 1]});
    }
    EXPECT_EQ(edges.size(), 18u);
    for (std::size_t v = 0; v < 8; ++v) {
        const float* data = buffers.vertices.data() + v * PreviewBuffers::kFloatsPerVertex;
        const QVector3D outward = QVector3D(data[0], data[1], data[2]) - QVector3D(0.5f, 0.5f, 0.5f);
        EXPECT_GT(QVector3D::dotProduct(normalAt(buffers, v), outward), 0.0f) << v;
        EXPECT_NEAR(normalAt(buffers, v).length(), 1.0f, 1e-5f);
        EXPECT_FLOAT_EQ(data[6], PreviewBuffers::kDefaultGrey);
    }
    EXPECT_TRUE(qFuzzyCompare(buffers.bounds.min, QVector3D(0, 0, 0)));
    EXPECT_TRUE(qFuzzyCompare(buffers.bounds.max, QVector3D(1, 1, 1)));
}

TEST(PreviewBuffers, MeshNormalsAndColoursAreKept)
{
    ModelMesh mesh = cube();
    for (int i = 0; i < 8; ++i) {
        mesh.normals.insert(mesh.normals.end(), {0.0f, 0.0f, 1.0f});
        mesh.colors.insert(mesh.colors.end(), {0.1f * i, 0.2f, 0.3f});
    }
    const PreviewBuffers buffers = buildPreviewBuffers(mesh);
    const float* last = buffers.vertices.data() + 7 * PreviewBuffers::kFloatsPerVertex;
    EXPECT_FLOAT_EQ(last[5], 1.0f);
    EXPECT_FLOAT_EQ(last[6], 0.7f);
    EXPECT_FLOAT_EQ(last[8], 0.3f);
}

TEST(PreviewBuffers, BadInputIsDroppedNotTrusted)
{
    ModelMesh mesh = cube();
    mesh.indices.insert(mesh.indices.end(), {0, 1, 99}); // past the end
    mesh.indices.push_back(2);                           // a dangling partial triangle
    mesh.colors = {1.0f, 0.0f};                          // not one per vertex: ignored
    const PreviewBuffers buffers = buildPreviewBuffers(mesh);
    EXPECT_EQ(buffers.triangleIndices.size(), 36u);
    EXPECT_FLOAT_EQ(buffers.vertices[6], PreviewBuffers::kDefaultGrey);

    ModelMesh empty;
    const PreviewBuffers none = buildPreviewBuffers(empty);
    EXPECT_EQ(none.vertexCount(), 0u);
    EXPECT_FALSE(CameraFraming::frame(none.bounds));

    ModelMesh broken = cube();
    broken.positions[4] = std::numeric_limits<float>::quiet_NaN();
    EXPECT_FALSE(CameraFraming::frame(buildPreviewBuffers(broken).bounds));
}

// A texture larger than the driver takes is shrunk to its limit, proportions kept; one that fits, or an
// unknown limit, leaves it as it is.
TEST(PreviewBuffers, TextureFitsTheDriversLargestSide)
{
    QImage wide(8192, 4096, QImage::Format_RGBA8888);
    wide.fill(Qt::red);
    struct Case
    {
        int limit;
        QSize expected;
    } cases[] = {{4096, {4096, 2048}},
                 {8192, {8192, 4096}},
                 {16384, {8192, 4096}},
                 {0, {8192, 4096}},
                 {-1, {8192, 4096}}};
    for (const Case& c : cases) {
        const QImage fitted = textureWithin(wide, c.limit);
        EXPECT_EQ(fitted.size(), c.expected) << c.limit;
        EXPECT_EQ(fitted.pixelColor(fitted.width() - 1, fitted.height() - 1), QColor(Qt::red)) << c.limit;
    }
    QImage tall(16, 4096, QImage::Format_RGBA8888);
    tall.fill(Qt::blue);
    EXPECT_EQ(textureWithin(tall, 1024).size(), QSize(4, 1024));
}

} // namespace
} // namespace tovarine
