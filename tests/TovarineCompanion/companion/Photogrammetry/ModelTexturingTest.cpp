#include "ModelTexturing.h"

#include "ColmapDetailTable.h"
#include "SceneFixtures.h"
#include "SyntheticScene.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <cmath>
#include <gtest/gtest.h>

using namespace tovarine;

namespace {

// The scene's cameras (made in the model's coordinates) as a reconstruction in an arbitrary frame would hold
// them, with `frame` mapping that reconstruction back to the model.
SparseModel reconstructionOf(const std::vector<TextureBaker::Camera>& cameras, const ModelFrame& frame)
{
    SparseModel model;
    for (std::size_t i = 0; i < cameras.size(); ++i) {
        const TextureBaker::Camera& c = cameras[i];
        geo::Mat3 rm;
        for (int k = 0; k < 9; ++k) {
            rm.m[k] = c.rotation[k];
        }
        const geo::Vec3 tm{c.translation[0], c.translation[1], c.translation[2]};
        // x = Rm model + tm with model = s R (world - o): x / s = (Rm R) world + tm / s - (Rm R) o.
        SparseImage image;
        image.id = int(i) + 1;
        image.cameraId = i == 0 ? 2 : 1; // the first frame's camera has a lens model that is not handled
        image.name = QStringLiteral("frame_%1.png").arg(i);
        image.rotation = rm * frame.rotation;
        image.translation = tm / frame.scale - image.rotation * frame.origin;
        model.images.push_back(image);
    }
    model.cameras.push_back({1,
                             QStringLiteral("PINHOLE"),
                             cameras[0].widthPx,
                             cameras[0].heightPx,
                             {cameras[0].fx, cameras[0].fy, cameras[0].cx, cameras[0].cy}});
    model.cameras.push_back({2, QStringLiteral("FISHEYE_UNKNOWN"), 320, 240, {1, 2, 3, 4}});
    return model;
}

} // namespace

TEST(ModelTexturing, FramesOfAReconstructionBakeTheModelsTexture)
{
    QTemporaryDir folder;
    const std::vector<scene::Box> boxes{{{-0.05, 0.0, -0.05}, {0.05, 0.1, 0.05}}};
    auto cameras = scene::ring(10, 0.3, 0.15, {0, 0.05, 0}, 320, 240);
    const auto low = scene::ring(5, 0.3, -0.1, {0, 0.05, 0}, 320, 240);
    cameras.insert(cameras.end(), low.begin(), low.end());
    for (std::size_t i = 0; i < cameras.size(); ++i) {
        ASSERT_TRUE(
            scene::render(boxes, cameras[i]).save(folder.filePath(QStringLiteral("frame_%1.png").arg(i))));
    }
    ModelFrame frame;
    frame.rotation = geo::Mat3::fromQuaternion(0.8, 0.3, -0.4, 0.2);
    frame.origin = {1.5, -2.0, 0.7};
    frame.scale = 0.27;

    const auto views = ModelTexturing::views(reconstructionOf(cameras, frame), frame, folder.path());
    ASSERT_EQ(views.size(), cameras.size() - 1) << "the frame with the unknown lens is left out";
    for (std::size_t i = 0; i < views.size(); ++i) {
        const TextureBaker::Camera& expected = cameras[i + 1];
        EXPECT_EQ(views[i].imagePath, folder.filePath(QStringLiteral("frame_%1.png").arg(i + 1)));
        for (int k = 0; k < 9; ++k) {
            EXPECT_NEAR(views[i].camera.rotation[k], expected.rotation[k], 1e-9);
        }
        for (int k = 0; k < 3; ++k) {
            EXPECT_NEAR(views[i].camera.translation[k], expected.translation[k], 1e-9);
        }
    }

    ModelTexturing::Settings settings;
    settings.sizePx = 256;
    settings.threads = 2;
    const ModelMesh mesh = scene::mesh(boxes, 3);
    auto outcome = ModelTexturing::apply(mesh, views, settings);
    ASSERT_TRUE(outcome) << outcome.error().toStdString();
    EXPECT_EQ(outcome->mesh.textureName, "diffuse.jpg");
    EXPECT_EQ(outcome->mesh.colors.size(), outcome->mesh.positions.size()) << "vertex colours stay";
    QImage texture;
    ASSERT_TRUE(texture.loadFromData(QByteArray::fromStdString(outcome->mesh.textureBytes), "JPEG"));
    EXPECT_EQ(texture.size(), QSize(256, 256));
    // The texture at each triangle's centre matches the box's colour there.
    double error = 0;
    const ModelMesh& out = outcome->mesh;
    for (std::size_t t = 0; t < out.triangleCount(); ++t) {
        double p[3] = {0, 0, 0};
        double st[2] = {0, 0};
        for (int c = 0; c < 3; ++c) {
            const std::uint32_t v = out.indices[3 * t + c];
            for (int a = 0; a < 3; ++a) {
                p[a] += out.positions[3 * v + a] / 3.0;
            }
            st[0] += out.texcoords[2 * v] / 3.0;
            st[1] += out.texcoords[2 * v + 1] / 3.0;
        }
        const auto truth = scene::colourAt(boxes[0], p[0], p[1], p[2]);
        const auto texel = scene::sample(texture, st[0], st[1]);
        for (int a = 0; a < 3; ++a) {
            error += std::abs(truth[a] - texel[a]) / (3.0 * double(out.triangleCount()));
        }
    }
    EXPECT_LT(error, 0.04);

    auto none = ModelTexturing::apply(mesh, {}, settings);
    ASSERT_FALSE(none);
    EXPECT_FALSE(none.error().isEmpty());
}

TEST(ModelTexturing, TheLevelTableGivesTexturesToTheLevelsThatHaveThem)
{
    using Detail = PhotogrammetrySession::Detail;
    using Dimension = PhotogrammetrySession::TextureDimension;
    using Map = PhotogrammetrySession::TextureMap;
    PhotogrammetrySession::CustomDetailSpecification sixteen;
    sixteen.maximumTextureDimension = Dimension::sixteenK;
    sixteen.outputTextureMaps = {Map::diffuseColor, Map::normal};
    PhotogrammetrySession::CustomDetailSpecification twoKJpeg;
    twoKJpeg.maximumTextureDimension = Dimension::twoK;
    twoKJpeg.textureFormat = PhotogrammetrySession::TextureFormat::jpeg;
    PhotogrammetrySession::CustomDetailSpecification normalsOnly;
    normalsOnly.outputTextureMaps = {Map::normal};
    const struct
    {
        Detail detail;
        PhotogrammetrySession::CustomDetailSpecification custom;
        int sizePx;
        bool jpeg;
    } cases[] = {
        {Detail::preview, {}, 0, true},
        {Detail::reduced, {}, 1024, true},
        {Detail::medium, {}, 2048, true},
        {Detail::full, {}, 4096, true},
        {Detail::raw, {}, 8192, true},
        {Detail::custom, {}, 4096, false},
        {Detail::custom, sixteen, ColmapDetailTable::kMaxTextureSizePx, false},
        {Detail::custom, twoKJpeg, 2048, true},
        {Detail::custom, normalsOnly, 0, false},
    };
    for (const auto& c : cases) {
        const ColmapLevelSettings settings = ColmapDetailTable::settingsFor(c.detail, c.custom);
        EXPECT_EQ(settings.textureSizePx, c.sizePx) << int(c.detail);
        if (settings.textureSizePx > 0) {
            EXPECT_EQ(settings.textureJpeg, c.jpeg) << int(c.detail);
        }
    }
}
