#include "TextureAtlas.h"

#include "SyntheticScene.h"

#include <cmath>
#include <gtest/gtest.h>

using namespace tovarine;

TEST(TextureAtlas, ChartsLieInsideTheAtlasWithoutOverlapAndKeepTheSurface)
{
    // Two boxes, one touching the other, and a sphere-like bump of slanted faces from the boxes' edges.
    const ModelMesh input =
        scene::mesh({{{-0.5, 0, -0.5}, {0.5, 1, 0.5}}, {{0.5, 0.2, -0.1}, {0.7, 0.4, 0.1}}}, 6);
    TextureAtlas::Options options;
    options.sizePx = 256;
    options.paddingPx = 2;
    auto layout = TextureAtlas::build(input, options);
    ASSERT_TRUE(layout) << layout.error().toStdString();
    const ModelMesh& mesh = layout->mesh;
    ASSERT_EQ(mesh.triangleCount(), input.triangleCount());
    ASSERT_EQ(mesh.texcoords.size(), mesh.vertexCount() * 2);
    EXPECT_EQ(layout->chartCount, 12); // one per box face
    // Every split vertex keeps its source's position and colour; each triangle has the same corners as
    // before.
    for (std::size_t v = 0; v < mesh.vertexCount(); ++v) {
        for (int a = 0; a < 3; ++a) {
            ASSERT_EQ(mesh.positions[3 * v + a], input.positions[3 * layout->sourceVertex[v] + a]);
            ASSERT_EQ(mesh.colors[3 * v + a], input.colors[3 * layout->sourceVertex[v] + a]);
        }
    }
    for (std::size_t i = 0; i < mesh.indices.size(); ++i) {
        ASSERT_EQ(layout->sourceVertex[mesh.indices[i]], input.indices[i]);
    }
    // Coordinates inside the atlas, and no texel claimed by two charts.
    std::vector<int> claimed(std::size_t(options.sizePx) * options.sizePx, -1);
    for (std::size_t t = 0; t < mesh.triangleCount(); ++t) {
        double x[3];
        double y[3];
        for (int k = 0; k < 3; ++k) {
            const float s = mesh.texcoords[2 * mesh.indices[3 * t + k]];
            const float u = mesh.texcoords[2 * mesh.indices[3 * t + k] + 1];
            ASSERT_GE(s, 0.0f);
            ASSERT_LE(s, 1.0f);
            ASSERT_GE(u, 0.0f);
            ASSERT_LE(u, 1.0f);
            x[k] = s * options.sizePx;
            y[k] = (1 - u) * options.sizePx;
        }
        const double area = (x[1] - x[0]) * (y[2] - y[0]) - (y[1] - y[0]) * (x[2] - x[0]);
        ASSERT_GT(std::abs(area), 0.5) << "triangle " << t << " has no room in the atlas";
        for (int py = 0; py < options.sizePx; ++py) {
            for (int px = 0; px < options.sizePx; ++px) {
                const double cx = px + 0.5;
                const double cy = py + 0.5;
                const double w0 = ((x[1] - cx) * (y[2] - cy) - (y[1] - cy) * (x[2] - cx)) / area;
                const double w1 = ((x[2] - cx) * (y[0] - cy) - (y[2] - cy) * (x[0] - cx)) / area;
                if (w0 < 0 || w1 < 0 || w0 + w1 > 1) {
                    continue;
                }
                int& owner = claimed[std::size_t(py) * options.sizePx + px];
                const int chart = int(layout->triangleChart[t]);
                ASSERT_TRUE(owner == -1 || owner == chart)
                    << "charts " << owner << " and " << chart << " overlap";
                owner = chart;
            }
        }
    }
}

TEST(TextureAtlas, RefusesWhatItCannotLayOut)
{
    ModelMesh badIndex = scene::mesh({{{0, 0, 0}, {1, 1, 1}}}, 1);
    badIndex.indices[4] = 999;
    const struct
    {
        const char* name;
        ModelMesh mesh;
        int sizePx;
    } cases[] = {
        {"no triangles", ModelMesh{}, 256},
        {"index past the vertices", badIndex, 256},
        {"atlas too small", scene::mesh({{{0, 0, 0}, {1, 1, 1}}}, 1), 8},
    };
    for (const auto& c : cases) {
        TextureAtlas::Options options;
        options.sizePx = c.sizePx;
        auto layout = TextureAtlas::build(c.mesh, options);
        ASSERT_FALSE(layout) << c.name;
        EXPECT_FALSE(layout.error().isEmpty()) << c.name;
    }
}
