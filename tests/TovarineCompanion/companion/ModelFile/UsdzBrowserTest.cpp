// The model file as a browser shows it: the USDZ loader of three.js (installed into web/ with `npm ci`) in
// headless Chromium, from local files only.
#include "HangCeiling.h"
#include "UsdzFile.h"

#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>
#include <gtest/gtest.h>

using namespace tovarine;

namespace {

const QString kWebFolder = QStringLiteral(TOVARINE_USDZ_WEB_FOLDER);

// A square facing +Z, red in its vertex colours, blue and green stripes in its texture.
ModelMesh stripedSquare(const char* format)
{
    ModelMesh mesh;
    mesh.positions = {-0.5f, -0.5f, 0, 0.5f, -0.5f, 0, 0.5f, 0.5f, 0, -0.5f, 0.5f, 0};
    mesh.normals = {0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 1};
    mesh.colors = {1, 0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0};
    mesh.texcoords = {0, 0, 1, 0, 1, 1, 0, 1};
    mesh.indices = {0, 1, 2, 0, 2, 3};
    QImage texture(64, 64, QImage::Format_RGB888);
    QPainter painter(&texture);
    for (int stripe = 0; stripe < 4; ++stripe) {
        painter.fillRect(stripe * 16, 0, 16, 64, stripe % 2 ? QColor(20, 220, 40) : QColor(20, 40, 220));
    }
    painter.end();
    QBuffer bytes;
    bytes.open(QIODevice::WriteOnly);
    texture.save(&bytes, format);
    mesh.textureBytes = bytes.data().toStdString();
    mesh.textureName = std::string("diffuse.") + (QByteArray(format) == "PNG" ? "png" : "jpg");
    return mesh;
}

} // namespace

TEST(UsdzInBrowser, ThreeJsShowsTheModelsTexture)
{
    const QString chromium = QStandardPaths::findExecutable(QStringLiteral("chromium"));
    if (chromium.isEmpty()) {
        GTEST_SKIP() << "chromium is not installed";
    }
    if (!QFile::exists(kWebFolder +
                       QStringLiteral("/node_modules/three/examples/jsm/loaders/USDZLoader.js"))) {
        GTEST_SKIP() << "three.js is not installed: run `npm ci` in " << kWebFolder.toStdString();
    }
    for (const char* format : {"PNG", "JPEG"}) {
        QTemporaryDir dir;
        const QString model = dir.filePath(QStringLiteral("model.usdz"));
        ASSERT_TRUE(UsdzFile::write(stripedSquare(format), model));
        QUrl page = QUrl::fromLocalFile(kWebFolder + QStringLiteral("/check.html"));
        page.setQuery(QStringLiteral("model=") + QUrl::fromLocalFile(model).toString());
        QProcess browser;
        browser.start(
            chromium,
            {QStringLiteral("--headless"), QStringLiteral("--no-sandbox"), QStringLiteral("--disable-gpu"),
             QStringLiteral("--use-angle=swiftshader"), QStringLiteral("--enable-unsafe-swiftshader"),
             QStringLiteral("--disable-background-networking"), QStringLiteral("--disable-component-update"),
             QStringLiteral("--disable-sync"), QStringLiteral("--disable-default-apps"),
             QStringLiteral("--no-first-run"), QStringLiteral("--allow-file-access-from-files"),
             QStringLiteral("--user-data-dir=") + dir.filePath(QStringLiteral("profile")),
             QStringLiteral("--virtual-time-budget=20000"), QStringLiteral("--dump-dom"),
             page.toString(QUrl::FullyEncoded)});
        ASSERT_TRUE(browser.waitForFinished(tovarine::test::kHangCeilingMs)) << format;
        const QString dom = QString::fromUtf8(browser.readAllStandardOutput());
        const auto match = QRegularExpression(QStringLiteral("<pre id=\"out\">(.*)</pre>")).match(dom);
        ASSERT_TRUE(match.hasMatch()) << format << ": " << dom.left(2000).toStdString()
                                      << browser.readAllStandardError().left(2000).toStdString();
        const QJsonObject info = QJsonDocument::fromJson(match.captured(1).toUtf8()).object();
        ASSERT_FALSE(info.isEmpty()) << format << ": " << match.captured(1).toStdString();
        EXPECT_EQ(info.value(QStringLiteral("meshes")).toInt(), 1) << format;
        EXPECT_EQ(info.value(QStringLiteral("uvs")).toInt(), 1) << format;
        EXPECT_EQ(info.value(QStringLiteral("mapped")).toInt(), 1)
            << format << ": the material reads no texture";
        // Both stripe colours on screen, none of the vertex colours' red.
        EXPECT_GT(info.value(QStringLiteral("blue")).toInt(), 500)
            << format << ": " << match.captured(1).toStdString();
        EXPECT_GT(info.value(QStringLiteral("green")).toInt(), 500)
            << format << ": " << match.captured(1).toStdString();
        EXPECT_EQ(info.value(QStringLiteral("red")).toInt(), 0)
            << format << ": " << match.captured(1).toStdString();
    }
}
