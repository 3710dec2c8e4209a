#include "BackgroundRun.h"
#include "DimensionsAndRescale.h"
#include "HangCeiling.h"
#include "PrintPrepControls.h"
#include "PrintPrepFixtures.h"
#include "ResultView.h"
#include "SettingsKeys.h"
#include "UserDefaults.h"

#include <QCoreApplication>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

using namespace tovarine;

TEST(ResultViewPanels, ResultViewCarriesBothPanelsAndDroppingItMidRunIsSafe)
{
    QTemporaryDir result;
    QTemporaryDir cache;
    qputenv("XDG_CACHE_HOME", cache.path().toUtf8());
    UserDefaults defaults(result.filePath(QStringLiteral("settings.ini")));
    const QString mesh = result.filePath(QStringLiteral("model.usdz"));
    ASSERT_TRUE(test::writeBoxModel(mesh, 0.2, 0.05, 0.1, true));

    auto view = std::make_unique<ResultView>(result.path(), mesh, defaults);
    view->resize(720, 900);
    view->show();
    auto* measure =
        qobject_cast<DimensionsAndRescale*>(view->panel(ResultView::PanelSlot::measureAndRescale));
    auto* printPrep = qobject_cast<PrintPrepControls*>(view->panel(ResultView::PanelSlot::printPrep));
    ASSERT_NE(measure, nullptr);
    ASSERT_NE(printPrep, nullptr);
    EXPECT_EQ(view->panel(ResultView::PanelSlot::cage), nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return measure->dims().has_value(); }, tovarine::test::kHangCeilingMs));
    EXPECT_EQ(measure->findChild<QLabel*>(QStringLiteral("sizeLabel"))->text(),
              QStringLiteral("200 × 100 × 50 mm"));
    EXPECT_LT(measure->mapTo(view.get(), QPoint()).y(), printPrep->mapTo(view.get(), QPoint()).y());

    // "Drop another" deletes the view while Thicken runs: the run ends on its own and writes its file.
    QTest::mouseClick(printPrep->findChild<QPushButton*>(QStringLiteral("thickenButton")), Qt::LeftButton);
    ASSERT_TRUE(printPrep->isWorking());
    view.reset();
    ASSERT_TRUE(BackgroundRun::waitForIdle(tovarine::test::kHangCeilingMs));
    QCoreApplication::processEvents();
    EXPECT_TRUE(QFile::exists(result.filePath(QStringLiteral("model_thick_2mm.obj"))));
}
