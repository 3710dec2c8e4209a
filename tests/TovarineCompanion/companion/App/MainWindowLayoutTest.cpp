#include "../CagePanel/FakeCageRuns.h"
#include "BrowseView.h"
#include "DimensionsAndRescale.h"
#include "HangCeiling.h"
#include "LineLimitedLabel.h"
#include "PanelStyle.h"
#include "PrintPrepControls.h"
#include "PrintPrepFixtures.h"
#include "ResultView.h"
#include "TovarineCompanionApp.h"
#include "USDZPreviewMac.h"
#include "WindowStyle.h"
#include "WindowTestSupport.h"

#include <QDragEnterEvent>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMimeData>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>
#include <cstdio>
#include <gtest/gtest.h>

namespace tovarine {
namespace {

using State = DropReconstruction::State;

const QString kLongName =
    QStringLiteral("walnut-teacup-from-the-kitchen-shelf-scanned-twice-in-the-morning-light");

// The layout is measured in pinned faces, never in whatever the machine has. A font run (one of the build's
// runs with other faces) names its faces and their fontconfig file in the environment; otherwise the program
// takes its own (Noto Sans with Noto Sans Mono) before the application starts and reads its fonts.
const bool kFontRun = !qEnvironmentVariableIsEmpty("TOVARINE_TEST_SANS_FAMILY");
const bool kFacesPinned = [] {
    if (!kFontRun) {
        qputenv("FONTCONFIG_FILE", TOVARINE_LAYOUT_FONTCONFIG);
        qputenv("TOVARINE_TEST_SANS_FAMILY", TOVARINE_LAYOUT_SANS_FAMILY);
        qputenv("TOVARINE_TEST_MONO_FAMILY", TOVARINE_LAYOUT_MONO_FAMILY);
    }
    return true;
}();

QString sansFamily()
{
    return qEnvironmentVariable("TOVARINE_TEST_SANS_FAMILY");
}

// Empty when the pinned faces are installed; otherwise why the layout cannot be measured here.
QString missingFace()
{
    for (const QString& family : {sansFamily(), qEnvironmentVariable("TOVARINE_TEST_MONO_FAMILY")}) {
        if (!QFontDatabase::hasFamily(family)) {
            return family + QStringLiteral(" is not installed here");
        }
    }
    return QString();
}

// The window's text comes out in the pinned faces: the system font (a default QFont) is the sans-serif
// family, and the monospaced faces of the window and of its panels are the monospaced one.
void expectPinnedFaces()
{
    ASSERT_TRUE(kFacesPinned);
    EXPECT_EQ(QFontInfo(QFont()).family(), sansFamily());
    const QString mono = qEnvironmentVariable("TOVARINE_TEST_MONO_FAMILY");
    EXPECT_EQ(QFontInfo(WindowStyle::font(WindowStyle::Face::monospaced, 10)).family(), mono);
    EXPECT_EQ(QFontInfo(PanelStyle::font(true, 10)).family(), mono);
}

// A cage fit that ended without a cage, with `message` as the engine's words (the panel shows "No Morvel: "
// and the message).
MorvelRun::Failure cageFailure(const QString& message)
{
    MorvelRun::Failure failure;
    failure.kind = MorvelRun::Failure::Kind::engine;
    failure.localizedDescription = message;
    return failure;
}

class DefaultSizeLayoutTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (const QString missing = missingFace(); !missing.isEmpty()) {
            GTEST_SKIP() << missing.toStdString();
        }
        ASSERT_NO_FATAL_FAILURE(expectPinnedFaces());
        qputenv("XDG_CACHE_HOME", m_fixture.root.filePath(QStringLiteral("cache")).toUtf8());
        TovarineCompanionApp::applyDarkScheme();
        m_app = std::make_unique<TovarineCompanionApp>(m_fixture.engine.factory(), m_fixture.defaults.get(),
                                                       &m_fixture.workspace, m_runs.starter());
        m_app->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_app->mainWindow(), tovarine::test::kHangCeilingMs));
        // A long result name (71 characters): the result row and the notes that name it must hold it.
        m_resultDir = m_fixture.root.filePath(QStringLiteral("Desktop/tovarine/") + kLongName);
        QDir().mkpath(m_resultDir);
        m_model = m_resultDir + QStringLiteral("/model.usdz");
        // An open box (a scan) of 200 x 100 x 50 mm.
        ASSERT_TRUE(test::writeBoxModel(m_model, 0.2, 0.05, 0.1, true));
        view()->drop().setState(State::done(m_resultDir, m_model));
        ASSERT_NE(view()->resultView(), nullptr);
    }

    BrowseView* view() const { return m_app->browseView(); }
    template <typename T = QWidget> T* child(const char* name) const
    {
        T* found = view()->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    QScrollArea* scroll() const { return child<QScrollArea>("resultScroll"); }

    // Shows the result again as one whose capture carried the phone's cage settings: with the redo row.
    void showWithPhoneRedo()
    {
        QFile phone(m_resultDir + QStringLiteral("/phone_morvel_settings.json"));
        ASSERT_TRUE(phone.open(QIODevice::WriteOnly));
        phone.write(R"({"quads": 588, "settings": {"host": {"macRedo": {"targetQuads": 2400}}}})");
        phone.close();
        view()->drop().setState(State::idle());
        view()->drop().setState(State::done(m_resultDir, m_model));
        ASSERT_NE(view()->resultView(), nullptr);
        ASSERT_TRUE(QTest::qWaitFor([this] { return child("redoButton")->isVisible(); },
                                    tovarine::test::kHangCeilingMs));
    }

    // Whether `widget` is shown whole inside the scroll area's visible part.
    bool wholeInView(const QWidget* widget) const
    {
        QWidget* viewport = scroll()->viewport();
        const QRect rect(widget->mapTo(viewport, QPoint(0, 0)), widget->size());
        return widget->isVisible() && viewport->rect().contains(rect);
    }

    // Lets the layout settle: a change can take a few passes (a wrapped text asks for a new height once it
    // has its width; the look controls re-arrange once they have theirs).
    void settle() const
    {
        QStringList last;
        for (int pass = 0; pass < 20; ++pass) {
            QCoreApplication::processEvents();
            QStringList now;
            for (const QWidget* widget : view()->findChildren<QWidget*>()) {
                if (widget->isVisible()) {
                    const QRect place(widget->mapTo(view(), QPoint()), widget->size());
                    now << QStringLiteral("%1,%2 %3x%4")
                               .arg(place.x())
                               .arg(place.y())
                               .arg(place.width())
                               .arg(place.height());
                }
            }
            if (now == last) {
                return;
            }
            last = now;
        }
    }

    // At the default size the action row and the latest status line are in view, nothing scrolls and the
    // preview controls keep to one line.
    void expectAllInView(const char* step, const QWidget* status)
    {
        SCOPED_TRACE(step);
        settle();
        EXPECT_EQ(scroll()->verticalScrollBar()->maximum(), 0);
        EXPECT_EQ(scroll()->verticalScrollBar()->value(), 0);
        EXPECT_TRUE(wholeInView(child("dropAnotherButton")));
        EXPECT_TRUE(wholeInView(child("revealButton")));
        EXPECT_TRUE(wholeInView(status));
        // The contrast slider sits beside the shading picker, not on a line of its own below it.
        const QRect picker(child("shadingPicker")->mapTo(view(), QPoint()), child("shadingPicker")->size());
        EXPECT_LT(child("contrastSlider")->mapTo(view(), QPoint()).y(), picker.bottom());
        std::printf("[ layout ] %s: preview %d px high (at least 340), scrolls %d px\n", step,
                    child("modelPreview")->height(), scroll()->verticalScrollBar()->maximum());
    }

    test::WindowFixture m_fixture;
    test::FakeCageRuns m_runs;
    QString m_resultDir;
    QString m_model;
    std::unique_ptr<TovarineCompanionApp> m_app;
};

TEST_F(DefaultSizeLayoutTest, EveryToolsStatusAndTheActionRowStayInView)
{
    QMainWindow* window = m_app->mainWindow();
    EXPECT_EQ(window->size(), QSize(840, 960));
    ASSERT_NO_FATAL_FAILURE(showWithPhoneRedo());

    auto* measure = view()->findChild<DimensionsAndRescale*>();
    ASSERT_TRUE(
        QTest::qWaitFor([measure] { return measure->dims().has_value(); }, tovarine::test::kHangCeilingMs));
    child<QLineEdit>("targetField")->setText(QStringLiteral("150"));
    QTest::mouseClick(child<QPushButton>("saveScaledButton"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([this] { return child<QLabel>("rescaleStatus")->text().startsWith("saved"); },
                                tovarine::test::kHangCeilingMs));
    expectAllInView("save scaled", child("rescaleStatus"));

    // At 2.5 mm the guard and Grow thin report thin faces: their status lines run to two lines.
    child<QLineEdit>("minWallField")->setText(QStringLiteral("2.5"));
    auto* printPrep = view()->findChild<PrintPrepControls*>();
    QSignalSpy ended(printPrep, &PrintPrepControls::runFinished);
    for (const char* tool : {"thickenButton", "guardButton", "growButton"}) {
        QTest::mouseClick(child<QPushButton>(tool), Qt::LeftButton);
        ASSERT_TRUE(ended.wait(tovarine::test::kHangCeilingMs)) << tool;
        expectAllInView(tool, child("statusLabel"));
    }

    QTest::mouseClick(child<QPushButton>("makeMorvelButton"), Qt::LeftButton);
    ASSERT_EQ(m_runs.fits.size(), 1u);
    m_runs.fits.back()->step(
        QStringLiteral(
            "Laying out quads · a long stage name from the engine that runs past the panel's width"),
        0.45);
    expectAllInView("cage running", child("runningText"));

    MorvelRun::Finished made = test::cageMade(QStringLiteral("model_morvel.3dm could not be saved (No space"
                                                             " left on device)"));
    made.outcome.reply.route = QStringLiteral("fallback-grid");
    made.outcome.reply.host = MorvelReply::Host{QStringLiteral("page (no SharedArrayBuffer)")};
    made.outcome.reply.deviation = MorvelReply::Deviation{MorvelReply::Stats{0.42, 1.87}};
    m_runs.fits.back()->finish(made);
    expectAllInView("cage summary", child("summaryText"));
    m_fixture.workspace.revealOutcome = Workspace::RevealOutcome::failed;
    QTest::mouseClick(child<QPushButton>("revealButton"), Qt::LeftButton);
    ASSERT_TRUE(child("actionNote")->isVisible());
    expectAllInView("reveal note", child("actionNote"));
    if (kFontRun) {
        // The fullest result view at the opening size, in this run's faces.
        const QString faces =
            sansFamily() + QStringLiteral(" with ") + qEnvironmentVariable("TOVARINE_TEST_MONO_FAMILY");
        test::saveScreenshot(window,
                             QStringLiteral("06-done-default-size-") +
                                 faces.toLower().replace(QLatin1Char(' '), QLatin1Char('-')),
                             150);
    }

    QTest::mouseClick(child<QPushButton>("makeMorvelButton"), Qt::LeftButton);
    m_runs.fits.back()->finish(unexpected(
        cageFailure(QStringLiteral("the engine stopped answering after the quad layout step, and the "
                                   "time limit of 900 s ran out before it came back"))));
    expectAllInView("cage failure", child("failedText"));
}

// A status line that appears after an action takes the room kept for it, as many lines as it may take: no
// control moves (up under the mouse that just clicked). Stop takes the place of Make Morvel while a fit runs.
TEST_F(DefaultSizeLayoutTest, StatusLinesAppearWithoutMovingTheControls)
{
    // The open box as finely made as a scan (thousands of faces).
    ASSERT_TRUE(test::writeBoxModel(m_model, 0.2, 0.05, 0.1, true, 80));
    ASSERT_NO_FATAL_FAILURE(showWithPhoneRedo());
    auto* measure = view()->findChild<DimensionsAndRescale*>();
    ASSERT_TRUE(
        QTest::qWaitFor([measure] { return measure->dims().has_value(); }, tovarine::test::kHangCeilingMs));
    const char* const controls[] = {"shadingPicker",    "contrastSlider", "saveScaledButton", "targetSlider",
                                    "thickenButton",    "guardButton",    "growButton",       "detailPicker",
                                    "makeMorvelButton", "redoButton",     "openObjButton",    "revealButton",
                                    "dropAnotherButton"};
    const auto place = [this](const char* name) {
        const QWidget* control = child(name);
        return QRect(control->mapTo(view(), QPoint()), control->size());
    };
    // Where the controls are; a hidden one (Make Morvel while a fit runs) is not anywhere.
    const auto places = [&place, &controls, this] {
        settle();
        QStringList found;
        for (const char* name : controls) {
            if (!child(name)->isVisible()) {
                continue;
            }
            const QRect at = place(name);
            found << QStringLiteral("%1 %2,%3 %4x%5")
                         .arg(QString::fromLatin1(name))
                         .arg(at.x())
                         .arg(at.y())
                         .arg(at.width())
                         .arg(at.height());
        }
        return found;
    };
    const QStringList before = places();

    child<QLineEdit>("targetField")->setText(QStringLiteral("150"));
    QTest::mouseClick(child<QPushButton>("saveScaledButton"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([this] { return child<QLabel>("rescaleStatus")->text().startsWith("saved"); },
                                tovarine::test::kHangCeilingMs));
    EXPECT_EQ(places(), before) << "rescale status";

    auto* printPrep = view()->findChild<PrintPrepControls*>();
    QSignalSpy ended(printPrep, &PrintPrepControls::runFinished);
    QTest::mouseClick(child<QPushButton>("thickenButton"), Qt::LeftButton);
    ASSERT_TRUE(ended.wait(tovarine::test::kHangCeilingMs));
    ASSERT_TRUE(child("statusLabel")->isVisible());
    EXPECT_EQ(places(), before) << "print-prep status";
    // Grow thin at 2.5 mm on a scan's counts of faces reports them in a status of two lines.
    child<QLineEdit>("minWallField")->setText(QStringLiteral("2.5"));
    QTest::mouseClick(child<QPushButton>("growButton"), Qt::LeftButton);
    ASSERT_TRUE(ended.wait(tovarine::test::kHangCeilingMs));
    auto* status = child<QLabel>("statusLabel");
    const QString grown = printPrep->status().value_or(QString());
    ASSERT_GT(status->fontMetrics().horizontalAdvance(grown), status->width()) << grown.toStdString();
    EXPECT_EQ(places(), before) << "two-line print-prep status";
    EXPECT_EQ(status->text(), grown) << "shown whole";

    const QRect make = place("makeMorvelButton");
    QTest::mouseClick(child<QPushButton>("makeMorvelButton"), Qt::LeftButton);
    ASSERT_EQ(m_runs.fits.size(), 1u);
    m_runs.fits.back()->step(QStringLiteral("Laying out quads"), 0.3);
    // Make Morvel gives way to Stop, and the phone's redo row is hidden, keeping its room.
    QStringList running = before;
    running.removeIf([](const QString& entry) {
        return entry.startsWith(QLatin1String("makeMorvelButton ")) ||
               entry.startsWith(QLatin1String("redoButton "));
    });
    EXPECT_EQ(places(), running) << "cage running";
    EXPECT_EQ(place("stopButton"), make);
    m_runs.fits.back()->finish(unexpected(cageFailure(QStringLiteral("engine missing from this build"))));
    ASSERT_EQ(child<LineLimitedLabel>("failedText")->fullText(),
              QStringLiteral("No Morvel: engine missing from this build."));
    EXPECT_EQ(places(), before) << "cage line";
    QTest::mouseClick(child<QPushButton>("makeMorvelButton"), Qt::LeftButton);
    m_runs.fits.back()->finish(
        unexpected(cageFailure(QStringLiteral("the engine stopped answering after the quad layout step, and "
                                              "the time limit of 900 s ran out before it came back"))));
    EXPECT_EQ(places(), before) << "two-line cage line";
    QTest::mouseClick(child<QPushButton>("makeMorvelButton"), Qt::LeftButton);
    m_runs.fits.back()->finish(test::cageMade());
    ASSERT_TRUE(child("cageWireToggle")->isVisible());
    EXPECT_EQ(places(), before) << "cage summary";

    // The note names the result: the name gives way, the note keeps to its line and says what failed.
    m_fixture.workspace.revealOutcome = Workspace::RevealOutcome::failed;
    QTest::mouseClick(child<QPushButton>("revealButton"), Qt::LeftButton);
    auto* note = child<QLabel>("actionNote");
    ASSERT_TRUE(note->isVisible());
    ASSERT_TRUE(view()->resultView()->actionNote().contains(kLongName));
    EXPECT_EQ(places(), before) << "reveal note";
    EXPECT_LT(note->height(), 2 * note->fontMetrics().lineSpacing());
    EXPECT_TRUE(note->text().startsWith(QStringLiteral("Couldn't show walnut-teacup")))
        << note->text().toStdString();
    EXPECT_TRUE(note->text().endsWith(
        QStringLiteral(": no file manager answered and no application here opens folders")))
        << note->text().toStdString();
    EXPECT_EQ(note->toolTip(), view()->resultView()->actionNote());
}

// Fresh starts of the real window, each given a capture the way a user gives one: a folder with a long name
// dropped on the window, with the phone's cage settings beside its frames, reconstructed by the (stand-in)
// engine. At the default size the result view must come out the same every time: nothing scrolls, the look
// controls keep to one line, the action row is whole and the preview has room over its minimum. Which of two
// layouts showed used to depend on the order of the layout passes, so one start proves little: the test makes
// several.
class FreshStartLayoutTest : public ::testing::Test
{
protected:
    static constexpr int kStarts = 8;
    static constexpr int kPreviewMinimumPx = 340;
    // The room the preview keeps over its minimum at the default size: the status lines keep theirs, so
    // nothing that appears later takes it.
    static constexpr int kSparePx = 12;
    // Set for each start; put back afterwards.
    static constexpr const char* kFolderVariables[] = {"XDG_CONFIG_HOME", "XDG_CACHE_HOME", "TMPDIR"};

    void SetUp() override
    {
        for (const char* name : kFolderVariables) {
            m_savedFolders.append(qgetenv(name));
        }
        if (const QString missing = missingFace(); !missing.isEmpty()) {
            GTEST_SKIP() << missing.toStdString();
        }
        ASSERT_NO_FATAL_FAILURE(expectPinnedFaces());
    }

    void TearDown() override
    {
        for (qsizetype i = 0; i < m_savedFolders.size(); ++i) {
            if (m_savedFolders[i].isNull()) {
                qunsetenv(kFolderVariables[i]);
            } else {
                qputenv(kFolderVariables[i], m_savedFolders[i]);
            }
        }
    }

    // A capture folder as the phone sends it, under the long name: three frames, a label and the phone's cage
    // settings.
    static QString makeCapture(const QDir& root)
    {
        const QString capture = root.filePath(kLongName);
        EXPECT_TRUE(QDir().mkpath(capture + QStringLiteral("/Images")));
        QImage frame(64, 48, QImage::Format_RGB32);
        for (int i = 0; i < 3; ++i) {
            frame.fill(QColor(60 + 40 * i, 90, 120));
            EXPECT_TRUE(frame.save(
                capture + QStringLiteral("/Images/frame_%1.jpg").arg(i, 5, 10, QLatin1Char('0')), "JPG"));
        }
        QFile label(capture + QStringLiteral("/label.txt"));
        EXPECT_TRUE(label.open(QIODevice::WriteOnly));
        label.write("teacup");
        label.close();
        QFile settings(capture + QStringLiteral("/model_morvel_settings.json"));
        EXPECT_TRUE(settings.open(QIODevice::WriteOnly));
        settings.write(R"({"quads": 588, "settings": {"host": {"macRedo": {"targetQuads": 2400}}}})");
        return capture;
    }

    // Where the result view's controls are, once nothing moves any more.
    static QStringList settledPlaces(const QWidget* view)
    {
        QStringList last;
        for (int pass = 0; pass < 20; ++pass) {
            QCoreApplication::processEvents();
            QStringList now;
            for (const QWidget* widget : view->findChildren<QWidget*>()) {
                if (widget->isVisible()) {
                    const QRect place(widget->mapTo(view, QPoint()), widget->size());
                    now << QStringLiteral("%1 %2,%3 %4x%5")
                               .arg(widget->objectName())
                               .arg(place.x())
                               .arg(place.y())
                               .arg(place.width())
                               .arg(place.height());
                }
            }
            if (now == last) {
                break;
            }
            last = now;
        }
        return last;
    }

    QList<QByteArray> m_savedFolders;
};

TEST_F(FreshStartLayoutTest, TheResultViewOpensTheSameWayEveryStart)
{
    int scrolled = 0;
    QStringList firstPlaces;
    for (int start = 1; start <= kStarts; ++start) {
        SCOPED_TRACE(start);
        test::WindowFixture fixture;
        const QDir root(fixture.root.path());
        // The desktop and the temporary folder of this start, where the window's drop intake finds them.
        ASSERT_TRUE(root.mkpath(QStringLiteral("config")));
        QFile dirs(root.filePath(QStringLiteral("config/user-dirs.dirs")));
        ASSERT_TRUE(dirs.open(QIODevice::WriteOnly));
        dirs.write("XDG_DESKTOP_DIR=\"" + root.filePath(QStringLiteral("Desktop")).toUtf8() + "\"\n");
        dirs.close();
        qputenv("XDG_CONFIG_HOME", root.filePath(QStringLiteral("config")).toUtf8());
        qputenv("XDG_CACHE_HOME", root.filePath(QStringLiteral("cache")).toUtf8());
        qputenv("TMPDIR", root.filePath(QStringLiteral("tmp")).toUtf8());
        const QString capture = makeCapture(root);

        test::FakeCageRuns runs;
        TovarineCompanionApp::applyDarkScheme();
        TovarineCompanionApp app(fixture.engine.factory(), fixture.defaults.get(), &fixture.workspace,
                                 runs.starter());
        app.show();
        QMainWindow* window = app.mainWindow();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window, tovarine::test::kHangCeilingMs));
        ASSERT_EQ(window->size(), QSize(840, 960));
        BrowseView* view = app.browseView();

        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(capture)});
        const QPoint where(view->width() / 2, view->height() / 2);
        QDragEnterEvent enter(where, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(view, &enter);
        QDropEvent drop(QPointF(where), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(view, &drop);
        QTRY_VERIFY_WITH_TIMEOUT(view->drop().state().kind == State::Kind::reconstructing,
                                 tovarine::test::kHangCeilingMs);
        fixture.engine.last->complete();
        QTRY_VERIFY_WITH_TIMEOUT(view->drop().state().kind == State::Kind::done,
                                 tovarine::test::kHangCeilingMs);
        ResultView* result = view->resultView();
        ASSERT_NE(result, nullptr);
        // The result keeps as much of the name as a result folder's name may hold.
        ASSERT_TRUE(kLongName.startsWith(QFileInfo(result->resultDir()).fileName().left(50)))
            << result->resultDir().toStdString();
        QTRY_VERIFY_WITH_TIMEOUT(result->preview()->loader().status() != PreviewModelLoader::Status::loading,
                                 tovarine::test::kHangCeilingMs);
        auto* measure = view->findChild<DimensionsAndRescale*>();
        ASSERT_TRUE(QTest::qWaitFor([measure] { return measure->dims().has_value(); },
                                    tovarine::test::kHangCeilingMs));
        const auto child = [view](const char* name) {
            QWidget* found = view->findChild<QWidget*>(QString::fromLatin1(name));
            EXPECT_NE(found, nullptr) << name;
            return found;
        };
        ASSERT_TRUE(child("redoButton")->isVisible());
        const QStringList places = settledPlaces(view);

        auto* scroll = view->findChild<QScrollArea*>(QStringLiteral("resultScroll"));
        const int scrollsPx = scroll->verticalScrollBar()->maximum();
        scrolled += scrollsPx > 0 ? 1 : 0;
        EXPECT_EQ(scrollsPx, 0);
        // The contrast slider on the shading picker's line, not on one of its own below it.
        const QRect picker(child("shadingPicker")->mapTo(view, QPoint()), child("shadingPicker")->size());
        EXPECT_LT(child("contrastSlider")->mapTo(view, QPoint()).y(), picker.bottom());
        for (const char* name : {"openObjButton", "revealButton", "dropAnotherButton"}) {
            const QWidget* button = child(name);
            const QRect rect(button->mapTo(scroll->viewport(), QPoint()), button->size());
            EXPECT_TRUE(scroll->viewport()->rect().contains(rect)) << name;
        }
        const int previewPx = child("modelPreview")->height();
        EXPECT_GE(previewPx, kPreviewMinimumPx + kSparePx);
        std::printf("[ start %d ] preview %d px high (at least %d), scrolls %d px\n", start, previewPx,
                    kPreviewMinimumPx, scrollsPx);
        // Every start the same.
        if (firstPlaces.isEmpty()) {
            firstPlaces = places;
        } else {
            EXPECT_EQ(places, firstPlaces);
        }
    }
    std::printf("[ starts ] %d of %d scrolled\n", scrolled, kStarts);
}

// The main window is ready for the OpenGL preview from the start: showing the first result neither destroys
// nor re-creates its native window (which blinks and can move it on screen).
TEST(MainWindowGl, TheFirstPreviewKeepsTheNativeWindow)
{
    test::WindowFixture fixture;
    TovarineCompanionApp app(fixture.engine.factory(), fixture.defaults.get(), &fixture.workspace);
    app.show();
    QMainWindow* window = app.mainWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window, tovarine::test::kHangCeilingMs));
    QWindow* handle = window->windowHandle();
    const WId native = window->winId();
    EXPECT_EQ(handle->surfaceType(), QSurface::OpenGLSurface);

    const QString resultDir = fixture.root.filePath(QStringLiteral("Desktop/tovarine/cup"));
    QDir().mkpath(resultDir);
    ASSERT_TRUE(test::writeBoxModel(resultDir + QStringLiteral("/model.usdz"), 0.1, 0.1, 0.1));
    app.browseView()->drop().setState(State::done(resultDir, resultDir + QStringLiteral("/model.usdz")));
    ResultView* result = app.browseView()->resultView();
    ASSERT_NE(result, nullptr);
    QTRY_VERIFY_WITH_TIMEOUT(result->preview()->loader().status() == PreviewModelLoader::Status::loaded,
                             tovarine::test::kHangCeilingMs);
    QTest::qWait(100);
    EXPECT_EQ(window->windowHandle(), handle);
    EXPECT_EQ(window->winId(), native);
}

// Made smaller, the view scrolls; a tool's run (its button is disabled while it works) leaves the scroll
// position where the user put it.
TEST_F(DefaultSizeLayoutTest, ASmallerWindowScrollsAndToolsDoNotMoveIt)
{
    m_app->mainWindow()->resize(600, 560);
    QCoreApplication::processEvents();
    QScrollBar* bar = scroll()->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    scroll()->ensureWidgetVisible(child("thickenButton"), 0, 0);
    QCoreApplication::processEvents();
    const int position = bar->value();

    auto* printPrep = view()->findChild<PrintPrepControls*>();
    QSignalSpy ended(printPrep, &PrintPrepControls::runFinished);
    QTest::mouseClick(child<QPushButton>("thickenButton"), Qt::LeftButton);
    ASSERT_TRUE(ended.wait(tovarine::test::kHangCeilingMs));
    QCoreApplication::processEvents();
    EXPECT_EQ(bar->value(), position);

    QTest::mouseClick(child<QPushButton>("makeMorvelButton"), Qt::LeftButton);
    QCoreApplication::processEvents();
    EXPECT_EQ(bar->value(), position);
}

} // namespace
} // namespace tovarine
