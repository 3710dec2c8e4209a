#include "HangCeiling.h"
#include "MorvelSceneGlView.h"
#include "MorvelSceneView.h"
#include "PreviewGlView.h"
#include "USDZPreviewMac.h"

#include <QDir>
#include <QHBoxLayout>
#include <QImage>
#include <QPainter>
#include <QTest>
#include <cmath>
#include <gtest/gtest.h>

namespace tovarine {
namespace {

// A UV sphere of `radius` around the origin: flat positions and triangle indices.
void sphere(float radius, int rings, int segments, std::vector<float>& positions,
            std::vector<std::uint32_t>& indices)
{
    for (int r = 0; r <= rings; ++r) {
        const float theta = float(M_PI) * float(r) / float(rings);
        for (int s = 0; s <= segments; ++s) {
            const float phi = 2.0f * float(M_PI) * float(s) / float(segments);
            positions.insert(positions.end(),
                             {radius * std::sin(theta) * std::cos(phi),
                              radius * std::sin(theta) * std::sin(phi), radius * std::cos(theta)});
        }
    }
    for (int r = 0; r < rings; ++r) {
        for (int s = 0; s < segments; ++s) {
            const std::uint32_t a = r * (segments + 1) + s;
            const std::uint32_t b = a + segments + 1;
            indices.insert(indices.end(), {a, b, a + 1, a + 1, b, b + 1});
        }
    }
}

// The fit of a ball scan: a limit sphere of radius 40 mm in a cube cage of +-50 mm (engine space, Z up),
// the bottom square hard-creased, the uprights soft-creased and the top square plain.
MorvelPreview ballFit()
{
    MorvelPreview preview;
    sphere(40.0f, 24, 48, preview.limitPositions, preview.limitTriangles);
    preview.cagePositions = {-50, -50, -50, 50, -50, -50, 50, 50, -50, -50, 50, -50,
                             -50, -50, 50,  50, -50, 50,  50, 50, 50,  -50, 50, 50};
    preview.cageEdges = {0, 1, 1, 2, 2, 3, 3, 0, 0, 4, 1, 5, 2, 6, 3, 7, 4, 5, 5, 6, 6, 7, 7, 4};
    preview.creaseWeights = {4, 4, 4, 4, 1, 1, 1, 1, 0, 0, 0, 0};
    return preview;
}

// The same ball as the scan: metres, +Y up.
ModelMesh ballScan()
{
    ModelMesh mesh;
    sphere(0.04f, 24, 48, mesh.positions, mesh.indices);
    return mesh;
}

QString outputDir()
{
    const QString dir = QStringLiteral(TOVARINE_BINARY_ROOT "/test-output/morvel-preview");
    QDir().mkpath(dir);
    return dir;
}

struct WireCounts
{
    int cyan = 0;
    int yellow = 0;
    int orange = 0;
    int lit = 0;
};

// Counts the wire colours' pixels (and every non-black one) in `area` of `image`.
WireCounts count(const QImage& image, const QRect& area)
{
    WireCounts counts;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QRgb p = image.pixel(x, y);
            const int r = qRed(p), g = qGreen(p), b = qBlue(p);
            counts.lit += qGray(p) > 12 ? 1 : 0;
            counts.cyan += (r < 60 && g > 120 && b > 120 && std::abs(g - b) < 30) ? 1 : 0;
            counts.yellow += (r > 200 && g > 200 && b < 60) ? 1 : 0;
            counts.orange += (r > 200 && g > 90 && g < 160 && b < 60) ? 1 : 0;
        }
    }
    return counts;
}

TEST(MorvelSceneViewGl, ScanAndCageSideBySide)
{
    QWidget row;
    auto* layout = new QHBoxLayout(&row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    auto* scan =
        new USDZPreviewMac([](const QString&) -> Expected<ModelMesh, QString> { return ballScan(); }, &row);
    scan->setModelPath(QStringLiteral("/virtual/model.usdz"));
    auto* cage = new MorvelSceneView(ballFit(), true, &row);
    cage->setCornerLabel(QStringLiteral("Morvel"));
    layout->addWidget(scan, 1);
    layout->addWidget(cage, 1);
    row.resize(650, 340);
    row.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&row, tovarine::test::kHangCeilingMs));
    QTRY_VERIFY_WITH_TIMEOUT(scan->loader().status() == PreviewModelLoader::Status::loaded,
                             tovarine::test::kHangCeilingMs);
    ASSERT_TRUE(cage->frame().has_value());
    ASSERT_NE(scan->glView(), nullptr) << "this display has no OpenGL 3.3";
    ASSERT_NE(cage->glView(), nullptr);

    const auto grab = [](QOpenGLWidget* view) {
        return view->grabFramebuffer().convertToFormat(QImage::Format_RGB32);
    };
    const QImage scanImage = grab(scan->glView());
    const QImage withWire = grab(cage->glView());
    cage->setShowsCage(false);
    const QImage withoutWire = grab(cage->glView());
    const auto keep = [&] {
        QImage sideBySide(scanImage.width() + 10 + withWire.width(), 2 * withWire.height() + 10,
                          QImage::Format_RGB32);
        sideBySide.fill(Qt::black);
        QPainter painter(&sideBySide);
        painter.drawImage(0, 0, scanImage);
        painter.drawImage(scanImage.width() + 10, 0, withWire);
        painter.drawImage(0, withWire.height() + 10, scanImage);
        painter.drawImage(scanImage.width() + 10, withWire.height() + 10, withoutWire);
        painter.end();
        sideBySide.save(outputDir() + QStringLiteral("/side-by-side.png"));
        return outputDir().toStdString();
    };

    // The two views share the row.
    EXPECT_NEAR(scan->width(), cage->width(), 1);
    EXPECT_EQ(scan->y(), cage->y());

    const QRect inside = withWire.rect().adjusted(12, 12, -12, -12);
    EXPECT_GT(qGray(scanImage.pixel(inside.center())), 40) << "no scan in the middle of its view; " << keep();
    EXPECT_GT(qGray(withWire.pixel(inside.center())), 40) << "no limit surface in the middle; " << keep();

    const WireCounts scanSide = count(scanImage, scanImage.rect().adjusted(12, 12, -12, -12));
    EXPECT_EQ(scanSide.cyan + scanSide.yellow + scanSide.orange, 0) << "the scan has no wire; " << keep();
    const WireCounts wire = count(withWire, inside);
    EXPECT_GT(wire.cyan, 40) << "plain edges; " << keep();
    EXPECT_GT(wire.yellow, 40) << "soft creases; " << keep();
    EXPECT_GT(wire.orange, 40) << "hard creases; " << keep();

    const WireCounts hidden = count(withoutWire, inside);
    EXPECT_EQ(hidden.cyan + hidden.yellow + hidden.orange, 0) << "the wire stays after hiding it; " << keep();
    EXPECT_GT(hidden.lit, inside.width() * inside.height() / 20)
        << "the surface went with the wire; " << keep();

    // The corner label sits in the top-left corner of the cage view, and only there.
    EXPECT_GT(count(withoutWire, QRect(8, 8, 50, 12)).lit, 10) << "no corner label; " << keep();
    EXPECT_EQ(count(withoutWire, QRect(withoutWire.width() - 60, 8, 50, 12)).lit, 0) << keep();
}

TEST(MorvelSceneViewGl, EmptyFitDrawsNothingAndKeepsADefaultCamera)
{
    MorvelSceneView view(MorvelPreview{}, true);
    view.resize(200, 340);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view, tovarine::test::kHangCeilingMs));
    EXPECT_FALSE(view.frame().has_value());
    ASSERT_NE(view.glView(), nullptr);
    const QImage image = view.glView()->grabFramebuffer().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(count(image, image.rect().adjusted(12, 12, -12, -12)).lit, 0);
}

} // namespace
} // namespace tovarine
