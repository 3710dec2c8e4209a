// A generated capture dropped on the window runs through the real COLMAP engine into the result view with
// the model drawn in the preview. Minutes of work: labelled slow. Keeps a screenshot in screenshots/.
#include "BrowseView.h"
#include "ColmapPhotogrammetrySession.h"
#include "HangCeiling.h"
#include "PreviewGlView.h"
#include "ResultView.h"
#include "Screenshots.h"
#include "SettingsKeys.h"
#include "USDZPreviewMac.h"
#include "WindowTestSupport.h"

#include <QDir>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QTest>
#include <gtest/gtest.h>

namespace tovarine {
namespace {

using State = DropReconstruction::State;

TEST(RealEngineDrop, GeneratedCaptureEndsInThePreview)
{
    if (QStandardPaths::findExecutable(QStringLiteral("colmap")).isEmpty()) {
        GTEST_SKIP() << "colmap is not installed";
    }
    test::WindowFixture fixture;
    const QString capture = fixture.root.filePath(QStringLiteral("mug capture"));
    QProcess generator;
    generator.start(QStringLiteral(TOVARINE_BINARY_ROOT "/tools/synthcapture/synthcapture"),
                    {QStringLiteral("--out"), capture, QStringLiteral("--frames"), QStringLiteral("20"),
                     QStringLiteral("--width"), QStringLiteral("640"), QStringLiteral("--height"),
                     QStringLiteral("480"), QStringLiteral("--threads"), QStringLiteral("2")});
    ASSERT_TRUE(generator.waitForFinished(tovarine::test::kHangCeilingMs));
    ASSERT_EQ(generator.exitCode(), 0) << generator.readAllStandardError().toStdString();

    ColmapPhotogrammetrySession::Options options;
    options.maxThreads = 2;
    DropReconstruction::Environment environment = fixture.environment();
    environment.sessionFactory = ColmapPhotogrammetrySession::factory(options);
    // Full, the default: the surface comes from the dense stage's points.
    fixture.defaults->setValue(SettingsKeys::kDetail, QStringLiteral("full"));
    BrowseView view(environment, fixture.workspace, *fixture.defaults);
    view.resize(720, 780);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view, tovarine::test::kHangCeilingMs));

    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(capture)});
    QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&view, &enter);
    QDropEvent drop(QPointF(100, 100), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&view, &drop);

    QTRY_VERIFY_WITH_TIMEOUT(view.drop().state().kind == State::Kind::done ||
                                 view.drop().state().kind == State::Kind::failed,
                             tovarine::test::kLongHangCeilingMs);
    ASSERT_EQ(view.drop().state().kind, State::Kind::done) << view.drop().state().message.toStdString();
    ResultView* result = view.resultView();
    ASSERT_NE(result, nullptr);
    QFile obj(result->resultDir() + QStringLiteral("/model.obj"));
    ASSERT_TRUE(obj.open(QIODevice::ReadOnly));
    int faces = 0;
    while (!obj.atEnd()) {
        faces += obj.readLine().startsWith("f ") ? 1 : 0;
    }
    // The sparse points of this capture give a few thousand triangles; the dense ones tens of thousands.
    EXPECT_GT(faces, 50000);
    QTRY_VERIFY_WITH_TIMEOUT(result->preview()->loader().status() != PreviewModelLoader::Status::loading,
                             tovarine::test::kHangCeilingMs);
    ASSERT_EQ(result->preview()->loader().status(), PreviewModelLoader::Status::loaded)
        << result->preview()->loader().errorMessage().toStdString();
    ASSERT_NE(result->preview()->glView(), nullptr);

    QTest::qWait(200);
    const QImage frame = result->preview()->glView()->grabFramebuffer();
    const QPoint centre(frame.width() / 2, frame.height() / 2);
    EXPECT_GT(qGray(frame.pixel(centre)), 20) << "the model is not in the middle of the preview";
    view.screen()
        ->grabWindow(view.winId())
        .save(test::screenshotFolder() + QStringLiteral("/11-done-real-engine.png"));
}

} // namespace
} // namespace tovarine
