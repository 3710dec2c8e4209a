#include "BrowseView.h"

#include "DropCircle.h"
#include "ElidedLabel.h"
#include "HangCeiling.h"
#include "ResultView.h"
#include "SettingsKeys.h"
#include "USDZPreviewMac.h"
#include "WindowStyle.h"
#include "WindowTestSupport.h"

#include <QDir>
#include <QDragEnterEvent>
#include <QFile>
#include <QLabel>
#include <QLayout>
#include <QMimeData>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTest>
#include <gtest/gtest.h>

namespace tovarine {
namespace {

using State = DropReconstruction::State;

class BrowseViewTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_fixture.root.isValid());
        m_view =
            std::make_unique<BrowseView>(m_fixture.environment(), m_fixture.workspace, *m_fixture.defaults);
        m_view->resize(600, 700);
        m_view->show();
    }

    template <class T = QWidget> T* child(const char* name) const
    {
        return m_view->findChild<T*>(QString::fromLatin1(name));
    }

    bool shows(const char* name) const
    {
        QWidget* widget = child(name);
        return widget && widget->isVisibleTo(m_view.get()) && widget->isVisible();
    }

    QString labelText(const char* name) const
    {
        if (auto* label = child<QLabel>(name)) {
            return label->text();
        }
        if (auto* elided = child<ElidedLabel>(name)) {
            return elided->text();
        }
        return QStringLiteral("<missing %1>").arg(QString::fromLatin1(name));
    }

    void click(const char* name)
    {
        auto* button = child<QPushButton>(name);
        ASSERT_NE(button, nullptr) << name;
        ASSERT_TRUE(button->isVisible()) << name;
        QTest::mouseClick(button, Qt::LeftButton);
    }

    // Drags `urls` over the view and drops them, as a file manager does (text/uri-list).
    void dropUrls(const QList<QUrl>& urls)
    {
        QMimeData mime;
        mime.setUrls(urls);
        ASSERT_TRUE(mime.hasFormat(QStringLiteral("text/uri-list")));
        const QPoint where(m_view->width() / 2, m_view->height() / 2);
        QDragEnterEvent enter(where, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(m_view.get(), &enter);
        QDropEvent drop(QPointF(where), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(m_view.get(), &drop);
    }

    // Drops a capture folder and waits until the fake engine reports progress.
    void dropCaptureAndWaitForProgress(const QString& name)
    {
        dropUrls({QUrl::fromLocalFile(m_fixture.makeCapture(name))});
        QTRY_VERIFY_WITH_TIMEOUT(m_view->drop().state().kind == State::Kind::reconstructing,
                                 tovarine::test::kHangCeilingMs);
    }

    test::WindowFixture m_fixture;
    std::unique_ptr<BrowseView> m_view;
};

TEST_F(BrowseViewTest, EachStateShowsItsTextsAndButtons)
{
    // idle
    EXPECT_TRUE(shows("idlePage"));
    EXPECT_EQ(labelText("idleTitle"), QStringLiteral("Drop a capture"));
    EXPECT_TRUE(labelText("idleParagraph").startsWith(QStringLiteral("Send a package (zip) from tovarine")));
    EXPECT_EQ(labelText("idleDetail"), QStringLiteral("reconstructing at full detail"));
    EXPECT_TRUE(shows("dropCircle"));
    EXPECT_FALSE(shows("resultScroll"));
    EXPECT_EQ(labelText("footerPromise"), QStringLiteral("local only · no cloud · no account · no queue"));
    EXPECT_TRUE(shows("settingsButton"));

    m_view->drop().setState(State::preparing(QStringLiteral("Inspecting capture.zip…")));
    EXPECT_TRUE(shows("preparingPage"));
    EXPECT_TRUE(shows("preparingIndicator"));
    EXPECT_EQ(labelText("preparingMessage"), QStringLiteral("Inspecting capture.zip…"));
    EXPECT_FALSE(shows("cancelButton"));

    m_view->drop().setState(State::reconstructing(0.5, QStringLiteral("Reconstructing · 50%")));
    EXPECT_TRUE(shows("reconstructingPage"));
    EXPECT_EQ(labelText("reconstructingTitle"), QStringLiteral("Reconstructing"));
    EXPECT_EQ(labelText("reconstructingPercent"), QStringLiteral("50%"));
    EXPECT_EQ(labelText("reconstructingMessage"), QStringLiteral("Reconstructing · 50%"));
    EXPECT_TRUE(shows("cancelButton"));
    EXPECT_EQ(child<QPushButton>("cancelButton")->text(), QStringLiteral("Cancel"));

    m_view->drop().setState(
        State::failed(QStringLiteral("No Images/ folder with JPEG frames was found inside the drop.")));
    EXPECT_TRUE(shows("failedPage"));
    EXPECT_TRUE(shows("failedSymbol"));
    EXPECT_EQ(labelText("failedTitle"), QStringLiteral("Couldn't reconstruct"));
    EXPECT_EQ(labelText("failedMessage"),
              QStringLiteral("No Images/ folder with JPEG frames was found inside the drop."));
    EXPECT_EQ(child<QPushButton>("tryAgainButton")->text(), QStringLiteral("Try again"));
    EXPECT_FALSE(shows("cancelButton"));

    const QString resultDir = m_fixture.root.filePath(QStringLiteral("Desktop/tovarine/quiet-teacup"));
    m_view->drop().setState(State::done(resultDir, resultDir + QStringLiteral("/model.usdz")));
    EXPECT_FALSE(shows("dropCircle"));
    ASSERT_TRUE(shows("resultScroll"));
    ASSERT_NE(m_view->resultView(), nullptr);
    EXPECT_EQ(child<QScrollArea>("resultScroll")->widget(), m_view->resultView());
    EXPECT_TRUE(shows("modelPreview"));
    EXPECT_TRUE(shows("previewControls"));
    EXPECT_TRUE(shows("resultCheck"));
    EXPECT_EQ(labelText("resultName"), QStringLiteral("quiet-teacup"));
    EXPECT_EQ(child<QPushButton>("openObjButton")->text(), QStringLiteral("Open OBJ"));
    EXPECT_EQ(child<QPushButton>("revealButton")->text(), QStringLiteral("Reveal in File Manager"));
    EXPECT_EQ(child<QPushButton>("dropAnotherButton")->text(), QStringLiteral("Drop another"));
    // The panel places are there in their order, each holding its panel.
    for (const char* place : {"measurePanelSlot", "printPrepPanelSlot", "cagePanelSlot"}) {
        EXPECT_NE(child(place), nullptr) << place;
        EXPECT_TRUE(shows(place)) << place;
    }
}

// A failure message longer than the four lines the circle shows stays whole: it scrolls within them, can be
// selected, and the tooltip carries all of it.
TEST_F(BrowseViewTest, ALongFailureCanBeReadWhole)
{
    const QString unzipText = QStringLiteral(
        "Couldn't unzip: End-of-central-directory signature not found. Either this file is not a "
        "zipfile, or it constitutes one disk of a multi-part archive. In the latter case the "
        "central directory and zipfile comment will be found on the last disk(s) of this archive. "
        "unzip: cannot find zipfile directory in one of /home/someone/Downloads/very long capture "
        "name from the phone 2024-06-01 12.31.07.zip or /home/someone/Downloads/very long capture "
        "name from the phone 2024-06-01 12.31.07.zip.zip, and cannot find /home/someone/Downloads/"
        "very long capture name from the phone 2024-06-01 12.31.07.zip.ZIP, period.");
    m_view->drop().setState(State::failed(unzipText));
    auto* message = child<QLabel>("failedMessage");
    ASSERT_NE(message, nullptr);
    EXPECT_EQ(message->text(), unzipText);
    EXPECT_TRUE(message->textInteractionFlags().testFlag(Qt::TextSelectableByMouse));
    EXPECT_TRUE(message->toolTip().contains(QStringLiteral("cannot find /home/someone/Downloads/")));
    EXPECT_TRUE(message->toolTip().endsWith(QStringLiteral("12.31.07.zip.ZIP, period.</p>")));
    auto* scroll = child<QScrollArea>("failedMessageScroll");
    const int line = QFontMetrics(message->font()).lineSpacing();
    EXPECT_LE(scroll->height(), 4 * line);
    EXPECT_GT(scroll->verticalScrollBar()->maximum(), 0);
}

TEST_F(BrowseViewTest, PercentageIsTruncated)
{
    const struct
    {
        double fraction;
        const char* text;
    } cases[] = {{0.0, "0%"},    {0.004, "0%"}, {0.5, "50%"},
                 {0.999, "99%"}, {1.0, "100%"}, {std::nan(""), "0%"}};
    for (const auto& c : cases) {
        m_view->drop().setState(State::reconstructing(c.fraction, QStringLiteral("step")));
        EXPECT_EQ(labelText("reconstructingPercent"), QString::fromLatin1(c.text)) << c.fraction;
    }
}

TEST_F(BrowseViewTest, OutlineFollowsStateAndDrag)
{
    DropCircle* circle = m_view->dropCircle();
    EXPECT_EQ(circle->outlineColor(), WindowStyle::kYellow);
    EXPECT_EQ(circle->outlineWidthPx(), 2.0);
    for (const State& state :
         {State::preparing(QStringLiteral("x")), State::reconstructing(0.1, QStringLiteral("x"))}) {
        m_view->drop().setState(state);
        EXPECT_EQ(circle->outlineColor(), WindowStyle::kYellow);
    }
    m_view->drop().setState(State::failed(QStringLiteral("broken")));
    EXPECT_EQ(circle->outlineColor(), WindowStyle::withOpacity(WindowStyle::kRed, 0.7));
    EXPECT_EQ(circle->outlineWidthPx(), 2.0);

    // A drag hovering over the window turns it cyan and 3 px, in the failed state too.
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(m_fixture.root.path())});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(m_view.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    EXPECT_TRUE(m_view->isDropTargeted());
    EXPECT_EQ(circle->outlineColor(), WindowStyle::kCyan);
    EXPECT_EQ(circle->outlineWidthPx(), 3.0);
    QDragLeaveEvent leave;
    QCoreApplication::sendEvent(m_view.get(), &leave);
    EXPECT_FALSE(m_view->isDropTargeted());
    EXPECT_EQ(circle->outlineColor(), WindowStyle::withOpacity(WindowStyle::kRed, 0.7));

    // "Try again" returns to the prompt with the outline yellow again.
    click("tryAgainButton");
    EXPECT_EQ(m_view->drop().state(), State::idle());
    EXPECT_TRUE(shows("idlePage"));
    EXPECT_EQ(circle->outlineColor(), WindowStyle::kYellow);
}

TEST_F(BrowseViewTest, OnlyTheFirstOfTwoDroppedFoldersIsReconstructed)
{
    const QString first = m_fixture.makeCapture(QStringLiteral("first capture"));
    const QString second = m_fixture.makeCapture(QStringLiteral("second capture"));
    dropUrls({QUrl::fromLocalFile(first), QUrl::fromLocalFile(second)});
    QTRY_VERIFY_WITH_TIMEOUT(m_view->drop().state().kind == State::Kind::reconstructing,
                             tovarine::test::kHangCeilingMs);
    ASSERT_EQ(m_fixture.engine.inputFolders.size(), 1);
    EXPECT_TRUE(m_fixture.engine.inputFolders.first().contains(QStringLiteral("first capture")));
    EXPECT_FALSE(m_view->isDropTargeted());
}

TEST_F(BrowseViewTest, DropsWithoutAFileAreIgnored)
{
    dropUrls({QUrl(QStringLiteral("https://example.org/capture.zip"))});
    QCoreApplication::processEvents();
    EXPECT_EQ(m_view->drop().state(), State::idle());

    QMimeData text;
    text.setText(QStringLiteral("not a file"));
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(m_view.get(), &enter);
    EXPECT_FALSE(enter.isAccepted());
    EXPECT_FALSE(m_view->isDropTargeted());
}

TEST_F(BrowseViewTest, DropUsesTheDetailSettingAndIsAcceptedInEveryState)
{
    m_view->drop().setState(State::failed(QStringLiteral("earlier failure")));
    m_fixture.defaults->setValue(SettingsKeys::kDetail, QStringLiteral("raw"));
    dropCaptureAndWaitForProgress(QStringLiteral("one"));
    ASSERT_NE(m_fixture.engine.last, nullptr);
    EXPECT_EQ(m_fixture.engine.last->detail, PhotogrammetrySession::Detail::raw);
    // A second drop while the first runs starts another run.
    dropUrls({QUrl::fromLocalFile(m_fixture.makeCapture(QStringLiteral("two")))});
    QTRY_COMPARE_WITH_TIMEOUT(m_fixture.engine.inputFolders.size(), 2, tovarine::test::kHangCeilingMs);
}

TEST_F(BrowseViewTest, CancelReachesTheSession)
{
    dropCaptureAndWaitForProgress(QStringLiteral("capture"));
    test::FakeSession* session = m_fixture.engine.last;
    ASSERT_NE(session, nullptr);
    EXPECT_TRUE(shows("cancelButton"));
    click("cancelButton");
    EXPECT_EQ(session->cancelCount, 1);
    // The state changes only when the run reports the cancellation.
    QTRY_VERIFY_WITH_TIMEOUT(m_view->drop().state().kind == State::Kind::failed,
                             tovarine::test::kHangCeilingMs);
    EXPECT_EQ(labelText("failedMessage"), QStringLiteral("Cancelled."));
}

TEST_F(BrowseViewTest, DroppedCaptureEndsInTheResultWithTheModelLoaded)
{
    m_fixture.defaults->setValue(SettingsKeys::kUnits, QStringLiteral("mm"));
    dropCaptureAndWaitForProgress(QStringLiteral("teapot study"));
    EXPECT_EQ(labelText("reconstructingPercent"), QStringLiteral("25%"));
    m_fixture.engine.last->complete();
    QTRY_VERIFY_WITH_TIMEOUT(m_view->drop().state().kind == State::Kind::done,
                             tovarine::test::kHangCeilingMs);
    ResultView* result = m_view->resultView();
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(labelText("resultName"), QStringLiteral("teapot study"));
    EXPECT_TRUE(result->meshPath().endsWith(QStringLiteral("/model.usdz")));
    QTRY_VERIFY_WITH_TIMEOUT(result->preview()->loader().status() != PreviewModelLoader::Status::loading,
                             tovarine::test::kHangCeilingMs);
    ASSERT_EQ(result->preview()->loader().status(), PreviewModelLoader::Status::loaded);
    EXPECT_EQ(result->preview()->loader().buffers()->triangleIndices.size(), 12u);

    click("openObjButton");
    ASSERT_EQ(m_fixture.workspace.opened.size(), 1);
    EXPECT_TRUE(QFile::exists(m_fixture.workspace.opened.first()));
    EXPECT_TRUE(m_fixture.workspace.opened.first().endsWith(QStringLiteral("/teapot study/model.obj")));
}

TEST_F(BrowseViewTest, FramesTheRunLeftOutAreNamedUnderTheResult)
{
    const QString note =
        QStringLiteral("2 of 12 frames were left out: 2 are cut short (frame_00000.jpg, frame_00001.jpg).");
    dropCaptureAndWaitForProgress(QStringLiteral("cut frames"));
    m_fixture.engine.last->complete(note);
    QTRY_VERIFY_WITH_TIMEOUT(m_view->resultView() != nullptr, tovarine::test::kHangCeilingMs);
    EXPECT_EQ(m_view->resultView()->actionNote(), note);

    // A run with nothing to say shows no note.
    dropCaptureAndWaitForProgress(QStringLiteral("whole frames"));
    m_fixture.engine.last->complete();
    QTRY_VERIFY_WITH_TIMEOUT(m_view->resultView() != nullptr &&
                                 m_view->resultView()->resultDir().endsWith(QStringLiteral("/whole frames")),
                             tovarine::test::kHangCeilingMs);
    EXPECT_TRUE(m_view->resultView()->actionNote().isEmpty());
}

TEST_F(BrowseViewTest, ResultActions)
{
    const QString resultDir = m_fixture.root.filePath(QStringLiteral("Desktop/tovarine/result"));
    QDir().mkpath(resultDir);
    m_view->drop().setState(State::done(resultDir, resultDir + QStringLiteral("/model.usdz")));

    // No model.obj: "Open OBJ" opens nothing and says why.
    click("openObjButton");
    EXPECT_TRUE(m_fixture.workspace.opened.isEmpty());
    EXPECT_EQ(m_view->resultView()->actionNote(),
              QStringLiteral("No model.obj in the result folder: its export failed or it was removed"));
    QFile obj(resultDir + QStringLiteral("/model.obj"));
    ASSERT_TRUE(obj.open(QIODevice::WriteOnly));
    obj.close();
    click("openObjButton");
    EXPECT_EQ(m_fixture.workspace.opened, QStringList{resultDir + QStringLiteral("/model.obj")});
    EXPECT_TRUE(m_view->resultView()->actionNote().isEmpty());

    // Reveal selects the folder itself, not the model.
    click("revealButton");
    EXPECT_EQ(m_fixture.workspace.revealed, QStringList{resultDir});

    click("dropAnotherButton");
    EXPECT_EQ(m_view->drop().state(), State::idle());
    EXPECT_TRUE(shows("idlePage"));
    EXPECT_EQ(m_view->resultView(), nullptr);
    EXPECT_TRUE(QFile::exists(resultDir + QStringLiteral("/model.obj"))); // nothing is deleted
}

// Where the desktop cannot do what "Open OBJ" or a reveal asks, the result folder is opened instead and a
// note under the result row says what failed; a later success clears it.
TEST_F(BrowseViewTest, ResultActionsThatTheDesktopCannotDoSaySo)
{
    const QString resultDir = m_fixture.root.filePath(QStringLiteral("Desktop/tovarine/result"));
    QDir().mkpath(resultDir);
    QFile obj(resultDir + QStringLiteral("/model.obj"));
    ASSERT_TRUE(obj.open(QIODevice::WriteOnly));
    obj.close();
    m_view->drop().setState(State::done(resultDir, resultDir + QStringLiteral("/model.usdz")));
    ResultView* result = m_view->resultView();
    test::RecordingWorkspace& desktop = m_fixture.workspace;
    auto* note = child<QLabel>("actionNote");
    EXPECT_FALSE(note->isVisible());

    desktop.refusesToOpen = {resultDir + QStringLiteral("/model.obj")};
    click("openObjButton");
    EXPECT_EQ(desktop.opened, (QStringList{resultDir + QStringLiteral("/model.obj"), resultDir}));
    EXPECT_EQ(result->actionNote(),
              QStringLiteral("No application here opens model.obj · opened the result folder instead"));
    EXPECT_TRUE(note->isVisible());

    desktop.refusesToOpen << resultDir;
    click("openObjButton");
    EXPECT_EQ(result->actionNote(),
              QStringLiteral("Couldn't open model.obj: no application here opens it or the result folder"));

    desktop.revealOutcome = Workspace::RevealOutcome::folderOpened;
    click("revealButton");
    EXPECT_EQ(result->actionNote(),
              QStringLiteral("No file manager answered to select result · opened it instead"));
    desktop.revealOutcome = Workspace::RevealOutcome::failed;
    click("revealButton");
    EXPECT_EQ(result->actionNote(), QStringLiteral("Couldn't show result: no file manager answered and no "
                                                   "application here opens folders"));
    desktop.revealOutcome = Workspace::RevealOutcome::shown;
    click("revealButton");
    EXPECT_TRUE(result->actionNote().isEmpty());
    EXPECT_FALSE(note->isVisible());
}

TEST_F(BrowseViewTest, DetailLineFollowsTheSetting)
{
    const struct
    {
        const char* setting;
        const char* words;
    } cases[] = {{"raw", "raw detail"},   {"medium", "medium detail"}, {"reduced", "reduced detail"},
                 {"full", "full detail"}, {"custom", "full detail"},   {"RAW", "full detail"},
                 {"", "full detail"}};
    for (const auto& c : cases) {
        m_fixture.defaults->setValue(SettingsKeys::kDetail, QString::fromLatin1(c.setting));
        EXPECT_EQ(labelText("idleDetail"),
                  QStringLiteral("reconstructing at ") + QString::fromLatin1(c.words))
            << c.setting;
    }
}

TEST_F(BrowseViewTest, WindowKeepsItsMinimumSizeWithAResult)
{
    EXPECT_EQ(m_view->minimumSize(), QSize(560, 540));
    EXPECT_LE(m_view->layout()->totalMinimumSize().height(), 540);
    const QString resultDir = m_fixture.root.filePath(QStringLiteral("Desktop/tovarine/r"));
    m_view->drop().setState(State::done(resultDir, resultDir + QStringLiteral("/model.usdz")));
    EXPECT_LE(m_view->layout()->totalMinimumSize().height(), 540);
    EXPECT_LE(m_view->layout()->totalMinimumSize().width(), 560);
}

} // namespace
} // namespace tovarine
