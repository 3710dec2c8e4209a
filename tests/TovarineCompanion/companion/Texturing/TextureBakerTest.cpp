#include "TextureBaker.h"

#include "SyntheticScene.h"
#include "TextureAtlas.h"

#include <QTemporaryDir>
#include <cmath>
#include <gtest/gtest.h>
#include <random>

using namespace tovarine;

namespace {

struct Baked
{
    TextureAtlas::Layout layout;
    QImage texture;
    TextureBaker::Report report;
};

std::vector<TextureBaker::View> renderViews(const std::vector<scene::Box>& boxes,
                                            const std::vector<TextureBaker::Camera>& cameras,
                                            const QString& folder)
{
    std::vector<TextureBaker::View> views;
    for (std::size_t i = 0; i < cameras.size(); ++i) {
        const QString path = folder + QStringLiteral("/frame_%1.png").arg(i);
        EXPECT_TRUE(scene::render(boxes, cameras[i]).save(path));
        views.push_back({path, cameras[i]});
    }
    return views;
}

// Mean absolute error (0...1, all channels) of the texture, and of the vertex colours, against the boxes'
// true colour at random points of the triangles of `box`.
std::pair<double, double> errors(const Baked& baked, const std::vector<scene::Box>& boxes, std::size_t box,
                                 std::size_t trianglesPerBox)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<double> unit(0, 1);
    const ModelMesh& mesh = baked.layout.mesh;
    double textureError = 0;
    double vertexError = 0;
    int samples = 0;
    for (std::size_t t = box * trianglesPerBox; t < (box + 1) * trianglesPerBox; ++t) {
        for (int k = 0; k < 8; ++k) {
            double w1 = unit(random);
            double w2 = unit(random);
            if (w1 + w2 > 1) {
                w1 = 1 - w1;
                w2 = 1 - w2;
            }
            const double w[3] = {1 - w1 - w2, w1, w2};
            double p[3] = {0, 0, 0};
            double st[2] = {0, 0};
            double vc[3] = {0, 0, 0};
            for (int c = 0; c < 3; ++c) {
                const std::uint32_t v = mesh.indices[3 * t + c];
                for (int a = 0; a < 3; ++a) {
                    p[a] += w[c] * mesh.positions[3 * v + a];
                    vc[a] += w[c] * mesh.colors[3 * v + a];
                }
                st[0] += w[c] * mesh.texcoords[2 * v];
                st[1] += w[c] * mesh.texcoords[2 * v + 1];
            }
            const auto truth = scene::colourAt(boxes[box], p[0], p[1], p[2]);
            const auto texel = scene::sample(baked.texture, st[0], st[1]);
            for (int a = 0; a < 3; ++a) {
                textureError += std::abs(texel[a] - truth[a]);
                vertexError += std::abs(vc[a] - truth[a]);
            }
            ++samples;
        }
    }
    return {textureError / (3 * samples), vertexError / (3 * samples)};
}

Baked bake(const ModelMesh& mesh, const std::vector<TextureBaker::View>& views, int sizePx)
{
    Baked baked;
    TextureAtlas::Options atlasOptions;
    atlasOptions.sizePx = sizePx;
    auto layout = TextureAtlas::build(mesh, atlasOptions);
    EXPECT_TRUE(layout);
    baked.layout = std::move(layout).value();
    TextureBaker::Options options;
    options.sizePx = sizePx;
    options.threads = 3;
    auto texture = TextureBaker::bake(baked.layout.mesh, views, options, &baked.report);
    EXPECT_TRUE(texture) << texture.error().toStdString();
    if (texture) {
        baked.texture = *texture;
    }
    return baked;
}

} // namespace

TEST(TextureBaker, BakesTheFramesColoursFarCloserThanVertexColours)
{
    QTemporaryDir folder;
    const std::vector<scene::Box> boxes{{{-0.5, -0.5, -0.5}, {0.5, 0.5, 0.5}}};
    auto cameras = scene::ring(8, 2.2, 1.0, {0, 0, 0}, 320, 240);
    const auto below = scene::ring(4, 2.2, -1.0, {0, 0, 0}, 320, 240);
    cameras.insert(cameras.end(), below.begin(), below.end());
    const ModelMesh mesh = scene::mesh(boxes, 4);
    const Baked baked = bake(mesh, renderViews(boxes, cameras, folder.path()), 512);
    ASSERT_FALSE(baked.texture.isNull());
    EXPECT_EQ(baked.report.framesRead, 12);
    EXPECT_EQ(baked.report.trianglesFromVertexColours, 0u);
    const auto [textureError, vertexError] = errors(baked, boxes, 0, mesh.triangleCount());
    EXPECT_LT(textureError, 0.03);
    EXPECT_LT(textureError, vertexError / 2) << "vertex colours " << vertexError;
}

TEST(TextureBaker, AHiddenSurfaceTakesNoColourFromTheFrameThatSeesTheOccluder)
{
    // A flat red block stands right in front of a wall's face; straight-on frames see the block where the
    // wall is hidden, oblique ones see the wall behind it.
    QTemporaryDir folder;
    const std::vector<scene::Box> boxes{{{-0.6, -0.6, -0.1}, {0.6, 0.6, 0.0}},
                                        {{-0.15, -0.15, 0.08}, {0.15, 0.15, 0.3}, {1, 0, 0}}};
    std::vector<TextureBaker::Camera> cameras = scene::ring(1, 2.0, 0.0, {0, 0, 0}, 320, 240);
    for (const double angle : {-0.7, 0.7}) {
        auto turned = scene::ring(16, 2.0, 0.0, {0, 0, 0}, 320, 240);
        cameras.push_back(turned[angle < 0 ? 15 : 1]);
    }
    const int n = 16;
    const ModelMesh mesh = scene::mesh(boxes, n);
    const Baked baked = bake(mesh, renderViews(boxes, cameras, folder.path()), 512);
    ASSERT_FALSE(baked.texture.isNull());
    // The part of the wall's front face (the sixth face of its mesh, +z) behind the block, where red would
    // show the occluder leaking in.
    const std::size_t perFace = 2 * n * n;
    double red = 0;
    int samples = 0;
    const ModelMesh& out = baked.layout.mesh;
    for (std::size_t t = 5 * perFace; t < 6 * perFace; ++t) {
        double st[2] = {0, 0};
        double p[2] = {0, 0};
        for (int c = 0; c < 3; ++c) {
            const std::uint32_t v = out.indices[3 * t + c];
            st[0] += out.texcoords[2 * v] / 3.0;
            st[1] += out.texcoords[2 * v + 1] / 3.0;
            p[0] += out.positions[3 * v] / 3.0;
            p[1] += out.positions[3 * v + 1] / 3.0;
        }
        if (std::abs(p[0]) > 0.12 || std::abs(p[1]) > 0.12) {
            continue;
        }
        const auto texel = scene::sample(baked.texture, st[0], st[1]);
        red = std::max(red, texel[0] - (texel[1] + texel[2]) / 2);
        ++samples;
    }
    ASSERT_GT(samples, 8);
    const auto [wallError, vertexError] = errors(baked, boxes, 0, mesh.triangleCount() / 2);
    EXPECT_LT(wallError, 0.05) << "vertex colours " << vertexError;
    EXPECT_LT(red, 0.25);
}

TEST(TextureBaker, FailsClearlyWithoutLayoutFramesOrWhenCancelled)
{
    QTemporaryDir folder;
    const std::vector<scene::Box> boxes{{{-0.5, -0.5, -0.5}, {0.5, 0.5, 0.5}}};
    const auto cameras = scene::ring(4, 2.2, 0.5, {0, 0, 0}, 64, 48);
    const ModelMesh plain = scene::mesh(boxes, 2);
    auto layout = TextureAtlas::build(plain, {});
    ASSERT_TRUE(layout);
    std::vector<TextureBaker::View> missing;
    for (const auto& camera : cameras) {
        missing.push_back({folder.path() + QStringLiteral("/absent.jpg"), camera});
    }
    std::vector<TextureBaker::View> lookingAway = renderViews(boxes, cameras, folder.path());
    for (auto& view : lookingAway) {
        view.camera.translation[2] = -5; // the box is behind every camera
    }
    const std::atomic<bool> cancelled{true};
    const struct
    {
        const char* name;
        const ModelMesh* mesh;
        std::vector<TextureBaker::View> views;
        const std::atomic<bool>* cancel;
        const char* message; // part of the error; empty for a cancelled bake
    } cases[] = {
        {"no layout", &plain, renderViews(boxes, cameras, folder.path()), nullptr, "no texture layout"},
        {"frames unreadable", &layout->mesh, missing, nullptr, "could be read"},
        {"no frame sees the model", &layout->mesh, lookingAway, nullptr, "sees the model"},
        {"cancelled", &layout->mesh, renderViews(boxes, cameras, folder.path()), &cancelled, ""},
    };
    for (const auto& c : cases) {
        TextureBaker::Options options;
        options.sizePx = 128;
        options.cancelled = c.cancel;
        auto texture = TextureBaker::bake(*c.mesh, c.views, options);
        ASSERT_FALSE(texture) << c.name;
        if (*c.message) {
            EXPECT_TRUE(texture.error().contains(QLatin1String(c.message)))
                << c.name << ": " << texture.error().toStdString();
        } else {
            EXPECT_TRUE(texture.error().isEmpty()) << c.name;
        }
    }
}
