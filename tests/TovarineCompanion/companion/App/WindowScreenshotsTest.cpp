#include "BrowseView.h"
#include "HangCeiling.h"
#include "PrintPrepControls.h"
#include "ResultView.h"
#include "SettingsKeys.h"
#include "TovarineCompanionApp.h"
#include "USDZPreviewMac.h"
#include "UsdzFile.h"
#include "WindowTestSupport.h"

#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QMainWindow>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <cmath>
#include <gtest/gtest.h>

namespace tovarine {
namespace {

using State = DropReconstruction::State;

// A lumpy, coloured ball of about 12 cm, standing in for a scan.
ModelMesh scanLikeModel()
{
    ModelMesh mesh;
    const int rings = 64;
    const int segments = 128;
    for (int r = 0; r <= rings; ++r) {
        const double theta = M_PI * r / rings;
        for (int s = 0; s <= segments; ++s) {
            const double phi = 2.0 * M_PI * s / segments;
            const double bump = 1.0 + 0.08 * std::sin(5 * theta) * std::cos(7 * phi);
            const double radius = 0.06 * bump;
            mesh.positions.insert(mesh.positions.end(), {float(radius * std::sin(theta) * std::cos(phi)),
                                                         float(radius * std::cos(theta)),
                                                         float(radius * std::sin(theta) * std::sin(phi))});
            mesh.colors.insert(mesh.colors.end(), {float(0.55 + 0.3 * std::sin(phi)),
                                                   float(0.45 + 0.2 * std::cos(theta)), 0.35f});
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
void save(QWidget* widget, const QString& name)
{
    test::saveScreenshot(widget, name, 100);
}

TEST(WindowScreenshots, EveryStateAndTheSettingsWindow)
{
    TovarineCompanionApp::applyDarkScheme();
    test::WindowFixture fixture;
    // The print-prep tools keep their working copies under the cache folder.
    qputenv("XDG_CACHE_HOME", fixture.root.filePath(QStringLiteral("cache")).toUtf8());
    TovarineCompanionApp app(fixture.engine.factory(), fixture.defaults.get(), &fixture.workspace);
    // The window at the size it opens with.
    QMainWindow* window = app.mainWindow();
    app.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window, tovarine::test::kHangCeilingMs));
    BrowseView* view = app.browseView();
    DropReconstruction& drop = view->drop();

    save(window, QStringLiteral("01-idle"));

    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(fixture.root.path())});
    QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view, &enter);
    save(window, QStringLiteral("02-drag-hover"));
    QDragLeaveEvent leave;
    QCoreApplication::sendEvent(view, &leave);

    drop.setState(State::preparing(QStringLiteral("Inspecting scan-2024-06-01.zip…")));
    save(window, QStringLiteral("03-preparing"));

    drop.setState(State::reconstructing(
        0.437,
        QStringLiteral("Reconstructing · 43% · dense stereo on 64 frames, fusing depth maps into a point "
                       "cloud; this step takes the longest on large captures")));
    save(window, QStringLiteral("04-reconstructing"));

    drop.setState(State::failed(QStringLiteral(
        "Couldn't unzip: End-of-central-directory signature not found. Either this file is not a zipfile, or "
        "it "
        "constitutes one disk of a multi-part archive. In the latter case the central directory and zipfile "
        "comment will be found on the last disk(s) of this archive. unzip: cannot find zipfile directory.")));
    save(window, QStringLiteral("05-failed"));

    const QString resultDir = fixture.root.filePath(QStringLiteral("Desktop/tovarine/walnut-teacup"));
    QDir().mkpath(resultDir);
    const QString modelPath = resultDir + QStringLiteral("/model.usdz");
    ASSERT_TRUE(UsdzFile::write(scanLikeModel(), modelPath));
    drop.setState(State::done(resultDir, modelPath));
    ResultView* result = view->resultView();
    ASSERT_NE(result, nullptr);
    QTRY_VERIFY_WITH_TIMEOUT(result->preview()->loader().status() == PreviewModelLoader::Status::loaded,
                             tovarine::test::kHangCeilingMs);
    save(window, QStringLiteral("06-done-lit"));
    fixture.defaults->setValue(SettingsKeys::kPreviewShading, QStringLiteral("albedo"));
    fixture.defaults->setValue(SettingsKeys::kPreviewBrightness, 0.12);
    fixture.defaults->setValue(SettingsKeys::kPreviewContrast, 1.4);
    save(window, QStringLiteral("07-done-albedo-adjusted"));
    fixture.defaults->setValue(SettingsKeys::kPreviewShading, QStringLiteral("wireframe"));
    save(window, QStringLiteral("08-done-wireframe"));
    fixture.defaults->setValue(SettingsKeys::kPreviewShading, QStringLiteral("lit"));
    fixture.defaults->setValue(SettingsKeys::kPreviewBrightness, 0.0);
    fixture.defaults->setValue(SettingsKeys::kPreviewContrast, 1.0);

    // Each print-prep tool's status line at the window's opening size.
    auto* printPrep = result->findChild<PrintPrepControls*>();
    ASSERT_NE(printPrep, nullptr);
    QSignalSpy ended(printPrep, &PrintPrepControls::runFinished);
    const std::pair<const char*, const char*> tools[] = {{"thickenButton", "11-print-prep-thicken"},
                                                         {"guardButton", "12-print-prep-guard"},
                                                         {"growButton", "13-print-prep-grow"}};
    for (const auto& [button, shot] : tools) {
        QTest::mouseClick(result->findChild<QPushButton*>(QString::fromLatin1(button)), Qt::LeftButton);
        ASSERT_TRUE(ended.wait(tovarine::test::kHangCeilingMs)) << button;
        save(window, QString::fromLatin1(shot));
    }

    window->resize(560, 540);
    save(window, QStringLiteral("09-done-minimum-size"));

    app.showSettings();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(app.settingsWindow(), tovarine::test::kHangCeilingMs));
    save(app.settingsWindow(), QStringLiteral("10-settings"));
}

} // namespace
} // namespace tovarine
