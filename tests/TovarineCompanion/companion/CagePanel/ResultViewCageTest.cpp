#include "BrowseView.h"
#include "FakeCageRuns.h"
#include "MorvelControls.h"
#include "MorvelSceneView.h"
#include "ResultView.h"
#include "USDZPreviewMac.h"
#include "WindowTestSupport.h"

#include <QCheckBox>
#include <QLayout>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

namespace tovarine {
namespace {

using State = DropReconstruction::State;
using Phase = MorvelMacSession::Phase;

// The main window's content over a fake photogrammetry engine and fake cage fits.
class ResultViewCageTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_view = std::make_unique<BrowseView>(m_fixture.environment(), m_fixture.workspace,
                                              *m_fixture.defaults, m_runs.starter());
        m_view->resize(720, 900);
        m_view->show();
    }

    // Finishes a drop with a result folder named `name`.
    void finishDrop(const QString& name)
    {
        const QString resultDir = m_fixture.root.filePath(QStringLiteral("Desktop/tovarine/") + name);
        QDir().mkpath(resultDir);
        m_view->drop().setState(State::done(resultDir, resultDir + QStringLiteral("/model.usdz")));
        ASSERT_NE(m_view->resultView(), nullptr);
    }

    template <typename T = QWidget> T* child(const char* name) const
    {
        return m_view->findChild<T*>(QString::fromLatin1(name));
    }

    MorvelSceneView* cagePreview() const
    {
        ResultView* result = m_view->resultView();
        return result ? result->findChild<MorvelSceneView*>(QStringLiteral("cagePreview")) : nullptr;
    }

    void makeCage()
    {
        QTest::mouseClick(child<QPushButton>("makeMorvelButton"), Qt::LeftButton);
        ASSERT_FALSE(m_runs.fits.empty());
        m_runs.fits.back()->finish(test::cageMade());
        ASSERT_EQ(m_view->morvel().phase().kind, Phase::Kind::done);
    }

    // Top edge of `widget` in the result view's coordinates.
    int top(const QWidget* widget) const { return widget->mapTo(m_view->resultView(), QPoint(0, 0)).y(); }

    test::WindowFixture m_fixture;
    test::FakeCageRuns m_runs;
    std::unique_ptr<BrowseView> m_view;
};

TEST_F(ResultViewCageTest, ResultViewHoldsItsPartsInOrder)
{
    finishDrop(QStringLiteral("walnut-teacup"));
    ResultView* result = m_view->resultView();
    auto* panel = result->findChild<MorvelControls*>(QStringLiteral("cagePanel"));
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(result->panel(ResultView::PanelSlot::cage), panel);
    EXPECT_TRUE(panel->isVisible());

    // Preview row, preview controls, measure and print-prep places, cage panel, result row: top to bottom.
    QLayout* column = result->layout();
    const auto rowIndex = [&](QWidget* member) {
        for (int i = 0; i < column->count(); ++i) {
            QLayout* row = column->itemAt(i)->layout();
            if (row && row->indexOf(member) >= 0) {
                return i;
            }
        }
        return -1;
    };
    const int order[] = {
        rowIndex(child("modelPreview")),
        column->indexOf(child("previewControls")),
        column->indexOf(child("measurePanelSlot")),
        column->indexOf(child("printPrepPanelSlot")),
        column->indexOf(child("cagePanelSlot")),
        rowIndex(child("openObjButton")),
    };
    for (std::size_t i = 1; i < std::size(order); ++i) {
        EXPECT_GE(order[i - 1], 0);
        EXPECT_LT(order[i - 1], order[i]) << "part " << i;
    }
    // And so on screen, for the parts shown.
    QTest::qWait(0);
    EXPECT_LT(top(child("modelPreview")), top(child("previewControls")));
    EXPECT_LT(top(child("previewControls")), top(panel));
    EXPECT_LT(top(panel), top(child("openObjButton")));

    // No cage yet: the model preview alone takes the row's width, whatever the wire switch says.
    EXPECT_TRUE(m_view->showsCage());
    EXPECT_EQ(cagePreview(), nullptr);
    EXPECT_EQ(child("modelPreview")->width(), result->width());
}

TEST_F(ResultViewCageTest, FinishedCageShowsBesideTheModelAndTheWireSwitchOnlyHidesTheWire)
{
    finishDrop(QStringLiteral("walnut-teacup"));
    makeCage();
    MorvelSceneView* cage = cagePreview();
    ASSERT_NE(cage, nullptr);
    QTest::qWait(0);
    EXPECT_TRUE(cage->isVisible());
    EXPECT_EQ(cage->cornerLabel(), "Morvel");
    EXPECT_EQ(cage->preview(), *test::cageMade().outcome.preview);
    QWidget* model = child("modelPreview");
    EXPECT_EQ(cage->y(), model->y());
    EXPECT_NEAR(cage->width(), model->width(), 1) << "the two previews share the row";
    EXPECT_EQ(cage->x(), model->x() + model->width() + 10);
    EXPECT_TRUE(cage->showsCage());

    QTest::mouseClick(child<QCheckBox>("cageWireToggle"), Qt::LeftButton);
    EXPECT_FALSE(m_view->showsCage());
    EXPECT_EQ(cagePreview(), cage) << "the preview stays; only its wire goes";
    EXPECT_FALSE(cage->showsCage());
    QTest::mouseClick(child<QCheckBox>("cageWireToggle"), Qt::LeftButton);
    EXPECT_TRUE(cage->showsCage());

    // The files are revealed through the window's workspace.
    QTest::mouseClick(child<QPushButton>("show3dmButton"), Qt::LeftButton);
    EXPECT_EQ(m_fixture.workspace.revealed,
              QStringList{m_view->resultView()->resultDir() + QStringLiteral("/model_morvel.3dm")});

    // A new fit takes the old cage away while it runs.
    QTest::mouseClick(child<QPushButton>("makeMorvelButton"), Qt::LeftButton);
    EXPECT_EQ(cagePreview(), nullptr);
}

TEST_F(ResultViewCageTest, WireSwitchKeepsItsValueForTheNextResult)
{
    finishDrop(QStringLiteral("walnut-teacup"));
    makeCage();
    QTest::mouseClick(child<QCheckBox>("cageWireToggle"), Qt::LeftButton);
    ASSERT_FALSE(m_view->showsCage());
    m_view->drop().setState(State::idle());
    finishDrop(QStringLiteral("quiet-kettle"));
    makeCage();
    EXPECT_FALSE(child<QCheckBox>("cageWireToggle")->isChecked());
    ASSERT_NE(cagePreview(), nullptr);
    EXPECT_FALSE(cagePreview()->showsCage());
}

TEST_F(ResultViewCageTest, EveryDropStateChangeStopsAndClearsTheCage)
{
    const QString resultDir = m_fixture.root.filePath(QStringLiteral("Desktop/tovarine/walnut-teacup"));
    const State changes[] = {
        State::idle(),
        State::preparing(QStringLiteral("Inspecting capture.zip…")),
        State::reconstructing(0.1, QStringLiteral("Reconstructing · 10%")),
        State::reconstructing(0.2, QStringLiteral("Reconstructing · 20%")),
        State::failed(QStringLiteral("Reconstruction failed.")),
        State::done(resultDir + QStringLiteral("-2"), resultDir + QStringLiteral("-2/model.usdz")),
    };
    for (const State& change : changes) {
        SCOPED_TRACE(change.message.toStdString());
        // A done cage with its files written...
        finishDrop(QStringLiteral("walnut-teacup"));
        makeCage();
        ASSERT_TRUE(m_view->morvel().writtenIn().has_value());
        // ...and a second fit under way (a new start while done).
        m_view->morvel().start(resultDir + QStringLiteral("/model.usdz"), resultDir, {}, 900);
        const std::shared_ptr<test::FakeCageFit> running = m_runs.fits.back();
        ASSERT_EQ(m_view->morvel().phase().kind, Phase::Kind::running);

        m_view->drop().setState(change);
        EXPECT_EQ(running->stops, 1) << "the fit is stopped";
        EXPECT_EQ(m_view->morvel().phase(), Phase::idle());
        EXPECT_FALSE(m_view->morvel().writtenIn().has_value());
        EXPECT_EQ(cagePreview(), nullptr);

        // The stopped fit ends late with a cage: nothing of it shows.
        running->finish(test::cageMade());
        EXPECT_EQ(m_view->morvel().phase(), Phase::idle());
        EXPECT_FALSE(m_view->morvel().writtenIn().has_value());
        EXPECT_EQ(cagePreview(), nullptr);
    }
}

TEST_F(ResultViewCageTest, TheSameDropStateAgainLeavesTheCageAlone)
{
    finishDrop(QStringLiteral("walnut-teacup"));
    makeCage();
    const State same = m_view->drop().state();
    m_view->drop().setState(same);
    EXPECT_EQ(m_view->morvel().phase().kind, Phase::Kind::done);
    EXPECT_NE(cagePreview(), nullptr);
}

TEST_F(ResultViewCageTest, DropAnotherClearsTheCage)
{
    finishDrop(QStringLiteral("walnut-teacup"));
    makeCage();
    QTest::mouseClick(child<QPushButton>("dropAnotherButton"), Qt::LeftButton);
    EXPECT_EQ(m_view->drop().state(), State::idle());
    EXPECT_EQ(m_view->morvel().phase(), Phase::idle());
    EXPECT_EQ(m_view->resultView(), nullptr);
}

} // namespace
} // namespace tovarine
