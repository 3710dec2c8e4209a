#include "HangCeiling.h"
#include "PreviewGlView.h"
#include "USDZPreviewMac.h"

#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QTest>
#include <cmath>
#include <gtest/gtest.h>

namespace tovarine {
namespace {

// A UV sphere of radius 0.1 m around (0.3, 0.2, 0), coloured by latitude.
ModelMesh colouredSphere(int rings, int segments)
{
    ModelMesh mesh;
    for (int r = 0; r <= rings; ++r) {
        const float theta = float(M_PI) * float(r) / float(rings);
        for (int s = 0; s <= segments; ++s) {
            const float phi = 2.0f * float(M_PI) * float(s) / float(segments);
            const float x = std::sin(theta) * std::cos(phi);
            const float y = std::cos(theta);
            const float z = std::sin(theta) * std::sin(phi);
            mesh.positions.insert(mesh.positions.end(), {0.3f + 0.1f * x, 0.2f + 0.1f * y, 0.1f * z});
            mesh.colors.insert(mesh.colors.end(), {0.9f, 0.3f + 0.5f * float(r) / float(rings), 0.2f});
        }
    }
    for (int r = 0; r < rings; ++r) {
        for (int s = 0; s < segments; ++s) {
            const std::uint32_t a = r * (segments + 1) + s;
            const std::uint32_t b = a + segments + 1;
            mesh.indices.insert(mesh.indices.end(), {a, a + 1, b, a + 1, b + 1, b});
        }
    }
    return mesh;
}

// The sphere with texture coordinates (s around, t up) and a texture of blue and green stripes around it, so
// that neither matches its reddish vertex colours.
ModelMesh texturedSphere()
{
    const int rings = 24;
    const int segments = 48;
    ModelMesh mesh = colouredSphere(rings, segments);
    for (int r = 0; r <= rings; ++r) {
        for (int s = 0; s <= segments; ++s) {
            mesh.texcoords.insert(mesh.texcoords.end(), {float(s) / float(segments), 1.0f - float(r) / float(rings)});
        }
    }
    QImage texture(64, 64, QImage::Format_RGB888);
    QPainter painter(&texture);
    for (int stripe = 0; stripe < 8; ++stripe) {
        painter.fillRect(stripe * 8, 0, 8, 64, stripe % 2 ? QColor(25, 230, 75) : QColor(25, 75, 230));
    }
    painter.end();
    QBuffer png;
    png.open(QIODevice::WriteOnly);
    texture.save(&png, "PNG");
    mesh.textureBytes = png.data().toStdString();
    mesh.textureName = "diffuse.png";
    return mesh;
}

QString outputDir()
{
    const QString dir = QStringLiteral(TOVARINE_BINARY_ROOT "/test-output/preview");
    QDir().mkpath(dir);
    return dir;
}

// The share of pixels that are not black.
double coverage(const QImage& image)
{
    int lit = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            lit += qGray(image.pixel(x, y)) > 12 ? 1 : 0;
        }
    }
    return double(lit) / double(image.width() * image.height());
}

double meanDifference(const QImage& a, const QImage& b)
{
    double sum = 0.0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            sum +=
                std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
        }
    }
    return sum / double(a.width() * a.height());
}

TEST(USDZPreviewMacGl, ShadingModesDifferAndTheModelIsFramed)
{
    USDZPreviewMac view([](const QString&) -> Expected<ModelMesh, QString> { return colouredSphere(24, 48); },
                        nullptr);
    ASSERT_NE(view.glView(), nullptr) << "no OpenGL 3.3 core on this display";
    view.resize(320, 340);
    view.setModelPath(QStringLiteral("/virtual/model.usdz"));
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view, tovarine::test::kHangCeilingMs));
    QTRY_VERIFY_WITH_TIMEOUT(view.loader().status() == PreviewModelLoader::Status::loaded,
                             tovarine::test::kHangCeilingMs);

    QImage images[3];
    const char* const modes[] = {"lit", "albedo", "wireframe"};
    for (int i = 0; i < 3; ++i) {
        view.setLook(QString::fromLatin1(modes[i]), 0.0, 1.0);
        images[i] = view.glView()->grabFramebuffer().convertToFormat(QImage::Format_RGB32);
    }
    const auto keep = [&] {
        for (int i = 0; i < 3; ++i) {
            images[i].save(outputDir() + QStringLiteral("/%1.png").arg(QString::fromLatin1(modes[i])));
        }
        return outputDir().toStdString();
    };

    const QImage& lit = images[0];
    const QPoint centre(lit.width() / 2, lit.height() / 2);
    EXPECT_GT(qGray(lit.pixel(centre)), 40) << "model not in the middle of the view; images in " << keep();
    EXPECT_EQ(qGray(lit.pixel(4, lit.height() / 2)), 0) << keep();
    EXPECT_GT(coverage(lit), 0.05) << keep();
    EXPECT_LT(coverage(lit), 0.6) << keep();

    EXPECT_GT(meanDifference(images[0], images[1]), 2.0) << "lit and albedo look alike; " << keep();
    EXPECT_GT(meanDifference(images[0], images[2]), 2.0) << "lit and wireframe look alike; " << keep();
    // Lines leave gaps between them: less of the view is covered than by the filled surface.
    EXPECT_LT(coverage(images[2]), coverage(lit)) << keep();

    // The 1 px outline (white at 15%) runs along the edges; the corners outside its radius stay black.
    EXPECT_NEAR(qGray(lit.pixel(0, lit.height() / 2)), 38, 6) << keep();
    EXPECT_NEAR(qGray(lit.pixel(lit.width() / 2, 0)), 38, 6) << keep();
    EXPECT_EQ(qGray(lit.pixel(0, 0)), 0) << keep();

    // Albedo is the flat vertex colour: the centre shows it unlit (0.9 red -> 230).
    EXPECT_NEAR(qRed(images[1].pixel(centre)), 230, 3) << keep();

    // Brightness and contrast change the surface colour.
    view.setLook(QStringLiteral("albedo"), -0.5, 1.0);
    const QImage darker = view.glView()->grabFramebuffer().convertToFormat(QImage::Format_RGB32);
    EXPECT_NEAR(qRed(darker.pixel(centre)), 102, 3) << keep();
}

TEST(USDZPreviewMacGl, UnreadableModelShowsItsMessage)
{
    USDZPreviewMac view(
        [](const QString&) -> Expected<ModelMesh, QString> { return unexpected(QStringLiteral("Bad file")); },
        nullptr);
    ASSERT_NE(view.glView(), nullptr) << "no OpenGL 3.3 core on this display";
    view.resize(200, 200);
    view.setModelPath(QStringLiteral("/virtual/broken.usdz"));
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view, tovarine::test::kHangCeilingMs));
    QTRY_VERIFY_WITH_TIMEOUT(view.loader().status() == PreviewModelLoader::Status::failed,
                             tovarine::test::kHangCeilingMs);
    const QImage image = view.glView()->grabFramebuffer();
    EXPECT_GT(coverage(image), 0.001); // the message's text
    EXPECT_LT(coverage(image), 0.2);
}

} // namespace
} // namespace tovarine

namespace tovarine {
namespace {

TEST(USDZPreviewMacGl, ATexturedModelShowsItsTextureLitAndUnlit)
{
    USDZPreviewMac view([](const QString&) -> Expected<ModelMesh, QString> { return texturedSphere(); }, nullptr);
    ASSERT_NE(view.glView(), nullptr) << "no OpenGL 3.3 core on this display";
    view.resize(320, 340);
    view.setModelPath(QStringLiteral("/virtual/model.usdz"));
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view, tovarine::test::kHangCeilingMs));
    QTRY_VERIFY_WITH_TIMEOUT(view.loader().status() == PreviewModelLoader::Status::loaded,
                             tovarine::test::kHangCeilingMs);

    for (const char* mode : {"albedo", "lit"}) {
        view.setLook(QString::fromLatin1(mode), 0.0, 1.0);
        const QImage image = view.glView()->grabFramebuffer().convertToFormat(QImage::Format_RGB32);
        int red = 0;
        int blue = 0;
        int green = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QRgb p = image.pixel(x, y);
                if (qGray(p) < 20) {
                    continue;
                }
                red += qRed(p) > std::max(qGreen(p), qBlue(p)) ? 1 : 0;
                blue += qBlue(p) > qRed(p) + 40 && qBlue(p) > qGreen(p) + 40 ? 1 : 0;
                green += qGreen(p) > qRed(p) + 40 && qGreen(p) > qBlue(p) + 40 ? 1 : 0;
            }
        }
        image.save(outputDir() + QStringLiteral("/textured-%1.png").arg(QString::fromLatin1(mode)));
        EXPECT_EQ(red, 0) << mode << ": the vertex colours show through; image in " << outputDir().toStdString();
        EXPECT_GT(blue, 500) << mode << ": " << outputDir().toStdString();
        EXPECT_GT(green, 500) << mode << ": " << outputDir().toStdString();
    }
}

} // namespace
} // namespace tovarine
