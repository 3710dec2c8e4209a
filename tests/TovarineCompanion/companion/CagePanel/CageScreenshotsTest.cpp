#include "BrowseView.h"
#include "EngineScheme.h"
#include "HangCeiling.h"
#include "MorvelEngineLocator.h"
#include "MorvelSceneView.h"
#include "PrivateSettings.h"
#include "ResultView.h"
#include "TovarineCompanionApp.h"
#include "USDZPreviewMac.h"
#include "UsdzFile.h"
#include "WindowTestSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QMainWindow>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <gtest/gtest.h>

namespace tovarine {
namespace {

using State = DropReconstruction::State;
using Phase = MorvelMacSession::Phase;

// A rounded block of about 12 x 8 x 6 cm standing in for a scan (metres, +Y up).
ModelMesh blockScan()
{
    ModelMesh mesh;
    const int rings = 48;
    const int segments = 96;
    for (int r = 0; r <= rings; ++r) {
        const double theta = M_PI * r / rings;
        for (int s = 0; s <= segments; ++s) {
            const double phi = 2.0 * M_PI * s / segments;
            // A superellipsoid: flat faces with rounded edges.
            const auto shape = [](double c, double e) { return std::copysign(std::pow(std::abs(c), e), c); };
            mesh.positions.insert(mesh.positions.end(),
                                  {float(0.06 * shape(std::sin(theta), 0.4) * shape(std::cos(phi), 0.4)),
                                   float(0.03 * shape(std::cos(theta), 0.4)),
                                   float(0.04 * shape(std::sin(theta), 0.4) * shape(std::sin(phi), 0.4))});
            mesh.colors.insert(mesh.colors.end(), {0.62f, 0.5f + 0.15f * float(std::cos(theta)), 0.38f});
        }
    }
    for (int r = 0; r < rings; ++r) {
        for (int s = 0; s < segments; ++s) {
            const std::uint32_t a = r * (segments + 1) + s;
            const std::uint32_t b = a + segments + 1;
            mesh.indices.insert(mesh.indices.end(), {a, b, a + 1, a + 1, b, b + 1});
        }
    }
    return mesh;
}

// Queued paints need this long to reach the screen before it is read back.
void save(QWidget* window, const QString& name)
{
    test::saveScreenshot(window, name, 150);
}

// The result view before and after a cage made by the stand-in engine page, and after the next drop.
TEST(CageScreenshots, ResultViewBeforeAndAfterACage)
{
    MorvelEngineLocator::setEngineFolderForTesting(QStringLiteral(TOVARINE_TESTDATA_DIR "/morvel-standin"));
    TovarineCompanionApp::applyDarkScheme();
    test::WindowFixture fixture;
    TovarineCompanionApp app(fixture.engine.factory(), fixture.defaults.get(), &fixture.workspace);
    // The window at the size it opens with.
    QMainWindow* window = app.mainWindow();
    app.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window, tovarine::test::kHangCeilingMs));
    BrowseView* view = app.browseView();

    const QString resultDir = fixture.root.filePath(QStringLiteral("Desktop/tovarine/amber-inkwell"));
    QDir().mkpath(resultDir);
    const QString modelPath = resultDir + QStringLiteral("/model.usdz");
    ASSERT_TRUE(UsdzFile::write(blockScan(), modelPath));
    QFile phone(resultDir + QStringLiteral("/phone_morvel_settings.json"));
    ASSERT_TRUE(phone.open(QIODevice::WriteOnly));
    phone.write(R"({"quads": 588, "settings": {"host": {"macRedo": {"targetQuads": 2400}}}})");
    phone.close();

    view->drop().setState(State::done(resultDir, modelPath));
    ResultView* result = view->resultView();
    ASSERT_NE(result, nullptr);
    QTRY_VERIFY_WITH_TIMEOUT(result->preview()->loader().status() == PreviewModelLoader::Status::loaded,
                             tovarine::test::kHangCeilingMs);
    save(window, QStringLiteral("cage-01-result-before"));

    // A fit caught running: a copy of the stand-in that reports four stages and then keeps working.
    QTemporaryDir stalling;
    const QString stallingEngine = stalling.filePath(QStringLiteral("MorvelEngine"));
    QDir().mkpath(stallingEngine + QStringLiteral("/host"));
    for (const char* file : {"host/morvel_host.html", "host/standin.js"}) {
        ASSERT_TRUE(
            QFile::copy(QStringLiteral(TOVARINE_TESTDATA_DIR "/morvel-standin/") + QLatin1String(file),
                        stallingEngine + QLatin1Char('/') + QLatin1String(file)));
    }
    QFile mode(stallingEngine + QStringLiteral("/standin-mode.txt"));
    ASSERT_TRUE(mode.open(QIODevice::WriteOnly));
    mode.write("stallMidway");
    mode.close();
    MorvelEngineLocator::setEngineFolderForTesting(stallingEngine);
    auto* makeMorvel = result->findChild<QPushButton*>(QStringLiteral("makeMorvelButton"));
    QTest::mouseClick(makeMorvel, Qt::LeftButton);
    MorvelMacSession& morvel = view->morvel();
    ASSERT_EQ(morvel.phase().kind, Phase::Kind::running);
    QTRY_VERIFY_WITH_TIMEOUT(morvel.phase().kind != Phase::Kind::running || morvel.phase().fraction > 0.4,
                             tovarine::test::kHangCeilingMs);
    ASSERT_EQ(morvel.phase().kind, Phase::Kind::running) << morvel.phase().text.toStdString();
    save(window, QStringLiteral("cage-02-running"));
    EXPECT_EQ(morvel.phase().kind, Phase::Kind::running); // still running when the picture was taken
    QTest::mouseClick(result->findChild<QPushButton*>(QStringLiteral("stopButton")), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(morvel.phase().kind != Phase::Kind::running, tovarine::test::kHangCeilingMs);

    MorvelEngineLocator::setEngineFolderForTesting(QStringLiteral(TOVARINE_TESTDATA_DIR "/morvel-standin"));
    QTest::mouseClick(makeMorvel, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(morvel.phase().kind != Phase::Kind::running, tovarine::test::kHangCeilingMs);
    ASSERT_EQ(morvel.phase().kind, Phase::Kind::done) << morvel.phase().text.toStdString();
    EXPECT_EQ(morvel.writtenIn(), resultDir);
    for (const char* name : {"model_morvel.3dm", "model_morvel.vellacot", "model_morvel_settings.json"}) {
        EXPECT_TRUE(QFile::exists(resultDir + QLatin1Char('/') + QLatin1String(name))) << name;
    }
    auto* cage = result->findChild<MorvelSceneView*>(QStringLiteral("cagePreview"));
    ASSERT_NE(cage, nullptr);
    save(window, QStringLiteral("cage-03-result-with-cage"));

    QTest::mouseClick(result->findChild<QCheckBox*>(QStringLiteral("cageWireToggle")), Qt::LeftButton);
    EXPECT_FALSE(cage->showsCage());
    save(window, QStringLiteral("cage-04-cage-wire-off"));

    // Dropping another capture clears the cage.
    QTest::mouseClick(result->findChild<QPushButton*>(QStringLiteral("dropAnotherButton")), Qt::LeftButton);
    EXPECT_EQ(morvel.phase(), Phase::idle());
    EXPECT_FALSE(morvel.writtenIn().has_value());
    MorvelEngineLocator::setEngineFolderForTesting(std::nullopt);
}

} // namespace
} // namespace tovarine

// The engine scheme must be registered and GL contexts shared before the application object exists.
int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]).starts_with("--gtest_list_tests")) {
            return RUN_ALL_TESTS();
        }
    }
    const auto settingsFolder = tovarine::test::usePrivateSettingsFolder();
    tovarine::EngineScheme::registerScheme();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("tovarine-tests"));
    QCoreApplication::setApplicationName(QStringLiteral("tovarine-tests"));
    return RUN_ALL_TESTS();
}
