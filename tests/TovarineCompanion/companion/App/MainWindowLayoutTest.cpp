#include "../CagePanel/FakeCageRuns.h"
#include "BrowseView.h"
#include "DimensionsAndRescale.h"
#include "HangCeiling.h"
#include "PrintPrepControls.h"
#include "PrintPrepFixtures.h"
#include "ResultView.h"
#include "TovarineCompanionApp.h"
#include "USDZPreviewMac.h"
#include "WindowTestSupport.h"

#include <QFile>
#include <QFontDatabase>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
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

class DefaultSizeLayoutTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // Run once per usual desktop family (the build's font runs set it): the system font must be that
        // family.
        m_family = qEnvironmentVariable("TOVARINE_TEST_SANS_FAMILY");
        if (!m_family.isEmpty()) {
            if (!QFontDatabase::hasFamily(m_family)) {
                GTEST_SKIP() << m_family.toStdString() << " is not installed here";
            }
            ASSERT_EQ(QFontInfo(QFont()).family(), m_family);
        }
        qputenv("XDG_CACHE_HOME", m_fixture.root.filePath(QStringLiteral("cache")).toUtf8());
        TovarineCompanionApp::applyDarkScheme();
        m_app = std::make_unique<TovarineCompanionApp>(m_fixture.engine.factory(), m_fixture.defaults.get(),
                                                       &m_fixture.workspace, m_runs.starter());
        m_app->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_app->mainWindow(), tovarine::test::kHangCeilingMs));
        m_resultDir = m_fixture.root.filePath(QStringLiteral("Desktop/tovarine/walnut-teacup"));
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

    QString m_family;
    test::WindowFixture m_fixture;
    test::FakeCageRuns m_runs;
    QString m_resultDir;
    QString m_model;
    std::unique_ptr<TovarineCompanionApp> m_app;
};

TEST_F(DefaultSizeLayoutTest, EveryToolsStatusAndTheActionRowStayInView)
{
    QMainWindow* window = m_app->mainWindow();
    EXPECT_EQ(window->size(), QSize(840, 940));
    // A result whose capture carried the phone's cage settings shows the redo row too.
    QFile phone(m_resultDir + QStringLiteral("/phone_morvel_settings.json"));
    ASSERT_TRUE(phone.open(QIODevice::WriteOnly));
    phone.write(R"({"quads": 588, "settings": {"host": {"macRedo": {"targetQuads": 2400}}}})");
    phone.close();
    view()->drop().setState(State::idle());
    view()->drop().setState(State::done(m_resultDir, m_model));
    ASSERT_NE(view()->resultView(), nullptr);
    ASSERT_TRUE(
        QTest::qWaitFor([this] { return child("redoButton")->isVisible(); }, tovarine::test::kHangCeilingMs));

    auto* measure = view()->findChild<DimensionsAndRescale*>();
    ASSERT_TRUE(
        QTest::qWaitFor([measure] { return measure->dims().has_value(); }, tovarine::test::kHangCeilingMs));
    child<QLineEdit>("targetField")->setText(QStringLiteral("150"));
    QTest::mouseClick(child<QPushButton>("saveScaledButton"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([this] { return child<QLabel>("rescaleStatus")->text().startsWith("saved"); },
                                tovarine::test::kHangCeilingMs));
    expectAllInView("save scaled", child("rescaleStatus"));

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
    if (!m_family.isEmpty()) {
        // The fullest result view at the opening size, in this family.
        test::saveScreenshot(window,
                             QStringLiteral("06-done-default-size-") +
                                 m_family.toLower().replace(QLatin1Char(' '), QLatin1Char('-')),
                             150);
    }

    QTest::mouseClick(child<QPushButton>("makeMorvelButton"), Qt::LeftButton);
    MorvelRun::Failure failure;
    failure.kind = MorvelRun::Failure::Kind::engine;
    failure.localizedDescription =
        QStringLiteral("No Morvel: the engine stopped answering after the quad layout step, "
                       "and the time limit of 900 s ran out before it came back.");
    m_runs.fits.back()->finish(unexpected(failure));
    expectAllInView("cage failure", child("failedText"));
}

// A status line that appears after an action takes room kept for it: no control above it moves (up under the
// mouse that just clicked).
TEST_F(DefaultSizeLayoutTest, StatusLinesAppearWithoutMovingTheControls)
{
    auto* measure = view()->findChild<DimensionsAndRescale*>();
    ASSERT_TRUE(
        QTest::qWaitFor([measure] { return measure->dims().has_value(); }, tovarine::test::kHangCeilingMs));
    const char* const controls[] = {"shadingPicker", "contrastSlider", "saveScaledButton", "targetSlider",
                                    "thickenButton", "guardButton",    "growButton",       "makeMorvelButton",
                                    "openObjButton", "revealButton",   "dropAnotherButton"};
    const auto places = [this, &controls] {
        settle();
        QStringList found;
        for (const char* name : controls) {
            const QWidget* control = child(name);
            const QRect place(control->mapTo(view(), QPoint()), control->size());
            found << QStringLiteral("%1 %2,%3 %4x%5")
                         .arg(QString::fromLatin1(name))
                         .arg(place.x())
                         .arg(place.y())
                         .arg(place.width())
                         .arg(place.height());
        }
        return found;
    };
    const QStringList before = places();

    child<QLineEdit>("targetField")->setText(QStringLiteral("150"));
    QTest::mouseClick(child<QPushButton>("saveScaledButton"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([this] { return child<QLabel>("rescaleStatus")->text().startsWith("saved"); },
                                20000));
    EXPECT_EQ(places(), before) << "rescale status";

    auto* printPrep = view()->findChild<PrintPrepControls*>();
    QSignalSpy ended(printPrep, &PrintPrepControls::runFinished);
    QTest::mouseClick(child<QPushButton>("thickenButton"), Qt::LeftButton);
    ASSERT_TRUE(ended.wait(tovarine::test::kHangCeilingMs));
    ASSERT_TRUE(child("statusLabel")->isVisible());
    EXPECT_EQ(places(), before) << "print-prep status";

    m_fixture.workspace.revealOutcome = Workspace::RevealOutcome::folderOpened;
    QTest::mouseClick(child<QPushButton>("revealButton"), Qt::LeftButton);
    ASSERT_TRUE(child("actionNote")->isVisible());
    EXPECT_EQ(places(), before) << "reveal note";
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
