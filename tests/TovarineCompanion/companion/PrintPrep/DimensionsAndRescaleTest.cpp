#include "DimensionsAndRescale.h"

#include "BackgroundRun.h"
#include "HangCeiling.h"
#include "PanelTestSupport.h"
#include "PrintPrepFixtures.h"
#include "SettingsKeys.h"
#include "UserDefaults.h"

#include <QApplication>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>
#include <memory>

using namespace tovarine;

namespace {

using test::child;

class DimensionsAndRescaleTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_defaults = std::make_unique<UserDefaults>(m_dir.filePath(QStringLiteral("settings.ini")));
        m_mesh = m_dir.filePath(QStringLiteral("model.usdz"));
    }

    // A panel over a 200 × 100 × 50 mm box (upright X, depth, height), shown and measured.
    std::unique_ptr<DimensionsAndRescale> measuredPanel(const QString& units, double heightM = 0.05)
    {
        m_defaults->setValue(SettingsKeys::kUnits, units);
        EXPECT_TRUE(test::writeBoxModel(m_mesh, 0.2, heightM, 0.1));
        auto panel = std::make_unique<DimensionsAndRescale>(m_mesh, m_dir.path(), *m_defaults);
        panel->show();
        EXPECT_TRUE(
            QTest::qWaitFor([&] { return panel->dims().has_value(); }, tovarine::test::kHangCeilingMs));
        return panel;
    }

    static void type(QWidget& panel, const char* field, const QString& text)
    {
        QLineEdit* edit = child<QLineEdit>(panel, field);
        edit->clear();
        QTest::keyClicks(edit, text);
        EXPECT_EQ(edit->text(), text);
    }

    // Clicks "Save scaled" and waits for the save to end; returns the status line.
    static QString save(DimensionsAndRescale& panel)
    {
        QSignalSpy finished(&panel, &DimensionsAndRescale::rescaleFinished);
        QPushButton* button = child<QPushButton>(panel, "saveScaledButton");
        EXPECT_TRUE(button->isEnabled());
        QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_TRUE(finished.wait(tovarine::test::kHangCeilingMs));
        return child<QLabel>(panel, "rescaleStatus")->text();
    }

    void expectExtents(const QString& name, double x, double y, double z, double tolerance)
    {
        const auto extents = test::objExtents(m_dir.filePath(name));
        ASSERT_TRUE(extents) << name.toStdString();
        EXPECT_NEAR((*extents)[0], x, tolerance) << name.toStdString();
        EXPECT_NEAR((*extents)[1], y, tolerance) << name.toStdString();
        EXPECT_NEAR((*extents)[2], z, tolerance) << name.toStdString();
    }

    QTemporaryDir m_dir;
    std::unique_ptr<UserDefaults> m_defaults;
    QString m_mesh;
};

} // namespace

TEST_F(DimensionsAndRescaleTest, LongestSideInMillimetres)
{
    auto panel = measuredPanel(QStringLiteral("mm"));
    EXPECT_EQ(child<QLabel>(*panel, "sizeLabel")->text(), QStringLiteral("200 × 100 × 50 mm"));
    EXPECT_FALSE(child<QLabel>(*panel, "measuringLabel")->isVisible());
    EXPECT_EQ(child<QLineEdit>(*panel, "targetField")->text(), QStringLiteral("200"));
    QPushButton* button = child<QPushButton>(*panel, "saveScaledButton");
    EXPECT_FALSE(button->isEnabled());

    for (const char* unusable : {"0", "abc", "", "-4"}) {
        type(*panel, "targetField", QString::fromLatin1(unusable));
        EXPECT_FALSE(button->isEnabled()) << unusable;
    }
    type(*panel, "targetField", QStringLiteral("100"));
    EXPECT_TRUE(button->isEnabled());
    EXPECT_EQ(save(*panel), QStringLiteral("saved · model_100mm.obj"));
    EXPECT_EQ(child<QLabel>(*panel, "sizeLabel")->text(), QStringLiteral("100 × 50 × 25 mm"));
    EXPECT_EQ(child<QLineEdit>(*panel, "targetField")->text(), QStringLiteral("100"));
    EXPECT_FALSE(button->isEnabled());
    expectExtents(QStringLiteral("model_100mm.obj"), 100.0, 50.0, 25.0, 1e-3);

    // A second save scales the source, not the first saved copy.
    type(*panel, "targetField", QStringLiteral("12.6"));
    EXPECT_EQ(save(*panel), QStringLiteral("saved · model_13mm.obj"));
    expectExtents(QStringLiteral("model_13mm.obj"), 12.6, 6.3, 3.15, 1e-3);
}

// A depth just above a rounding edge: "Save scaled" with the size the panel filled in writes the model at
// the size shown, and the shown size stays.
TEST_F(DimensionsAndRescaleTest, SavingAtTheSizeShownKeepsTheShownSize)
{
    ASSERT_TRUE(test::writeBoxModel(m_mesh, 0.1884, 0.1703, 0.1496));
    DimensionsAndRescale panel(m_mesh, m_dir.path(), *m_defaults);
    panel.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return panel.dims().has_value(); }, tovarine::test::kHangCeilingMs));
    EXPECT_EQ(child<QLabel>(panel, "sizeLabel")->text(), QStringLiteral("188 × 150 × 170 mm"));
    EXPECT_EQ(child<QLineEdit>(panel, "targetField")->text(), QStringLiteral("188"));

    EXPECT_EQ(save(panel), QStringLiteral("saved · model_188mm.obj"));
    EXPECT_EQ(child<QLabel>(panel, "sizeLabel")->text(), QStringLiteral("188 × 150 × 170 mm"));
    expectExtents(QStringLiteral("model_188mm.obj"), 188.4, 149.6, 170.3, 1e-3);
}

TEST_F(DimensionsAndRescaleTest, PerAxisFileHasTheExtentsItsNamePromises)
{
    auto panel = measuredPanel(QStringLiteral("mm"));
    QTest::mouseClick(child<QToolButton>(*panel, "perAxisSegment"), Qt::LeftButton);
    EXPECT_FALSE(child<QSlider>(*panel, "targetSlider")->isVisible());
    EXPECT_EQ(child<QLineEdit>(*panel, "targetXField")->text(), QStringLiteral("200"));
    EXPECT_EQ(child<QLineEdit>(*panel, "targetYField")->text(), QStringLiteral("100"));
    EXPECT_EQ(child<QLineEdit>(*panel, "targetZField")->text(), QStringLiteral("50"));

    type(*panel, "targetXField", QStringLiteral("100"));
    type(*panel, "targetZField", QStringLiteral("100"));
    EXPECT_EQ(save(*panel), QStringLiteral("saved · model_100x100x100mm.obj"));
    EXPECT_EQ(child<QLabel>(*panel, "sizeLabel")->text(), QStringLiteral("100 × 100 × 100 mm"));
    expectExtents(QStringLiteral("model_100x100x100mm.obj"), 100.0, 100.0, 100.0, 1e-3);

    type(*panel, "targetXField", QStringLiteral("120"));
    type(*panel, "targetYField", QStringLiteral("80"));
    type(*panel, "targetZField", QStringLiteral("45"));
    EXPECT_EQ(save(*panel), QStringLiteral("saved · model_120x80x45mm.obj"));
    expectExtents(QStringLiteral("model_120x80x45mm.obj"), 120.0, 80.0, 45.0, 1e-3);

    // Switching back keeps the texts.
    QTest::mouseClick(child<QToolButton>(*panel, "longestSegment"), Qt::LeftButton);
    EXPECT_TRUE(child<QSlider>(*panel, "targetSlider")->isVisible());
    EXPECT_EQ(child<QLineEdit>(*panel, "targetField")->text(), QStringLiteral("120"));
}

TEST_F(DimensionsAndRescaleTest, InchesLongestAndPerAxis)
{
    auto panel = measuredPanel(QStringLiteral("in"));
    EXPECT_EQ(child<QLabel>(*panel, "sizeLabel")->text(), QStringLiteral("7.87 × 3.94 × 1.97 in"));
    EXPECT_EQ(child<QLineEdit>(*panel, "targetField")->text(), QStringLiteral("7.87"));
    // 7.87 in is 199.898 mm: already a change.
    EXPECT_TRUE(child<QPushButton>(*panel, "saveScaledButton")->isEnabled());
    type(*panel, "targetField", QStringLiteral("7.874"));
    EXPECT_FALSE(child<QPushButton>(*panel, "saveScaledButton")->isEnabled());

    type(*panel, "targetField", QStringLiteral("4.5"));
    EXPECT_EQ(save(*panel), QStringLiteral("saved · model_4p50in.obj"));
    expectExtents(QStringLiteral("model_4p50in.obj"), 4.5, 2.25, 1.125, 1e-4);

    QTest::mouseClick(child<QToolButton>(*panel, "perAxisSegment"), Qt::LeftButton);
    type(*panel, "targetXField", QStringLiteral("4"));
    type(*panel, "targetYField", QStringLiteral("2.25"));
    type(*panel, "targetZField", QStringLiteral("1"));
    EXPECT_EQ(save(*panel), QStringLiteral("saved · model_4x2p25x1in.obj"));
    expectExtents(QStringLiteral("model_4x2p25x1in.obj"), 4.0, 2.25, 1.0, 1e-4);
}

TEST_F(DimensionsAndRescaleTest, UnitChangeRewritesTheTargetsAndSliderMovesInWholeMillimetres)
{
    auto panel = measuredPanel(QStringLiteral("mm"));
    QSlider* slider = child<QSlider>(*panel, "targetSlider");
    slider->setValue(slider->maximum());
    EXPECT_EQ(child<QLineEdit>(*panel, "targetField")->text(), QStringLiteral("2000"));
    slider->setValue(slider->minimum());
    EXPECT_EQ(child<QLineEdit>(*panel, "targetField")->text(), QStringLiteral("5"));
    type(*panel, "targetField", QStringLiteral("abc"));
    EXPECT_EQ(slider->value(), 200000); // log10(100)

    m_defaults->setValue(SettingsKeys::kUnits, QStringLiteral("in"));
    EXPECT_EQ(child<QLabel>(*panel, "sizeLabel")->text(), QStringLiteral("7.87 × 3.94 × 1.97 in"));
    EXPECT_EQ(child<QLineEdit>(*panel, "targetField")->text(), QStringLiteral("7.87"));
    EXPECT_EQ(child<QLineEdit>(*panel, "targetZField")->text(), QStringLiteral("1.97"));
}

TEST_F(DimensionsAndRescaleTest, FailedExportShowsTheExportersMessageAndKeepsTheSize)
{
    m_defaults->setValue(SettingsKeys::kUnits, QStringLiteral("mm"));
    ASSERT_TRUE(test::writeBoxModel(m_mesh, 0.2, 0.05, 0.1));
    DimensionsAndRescale panel(m_mesh, m_dir.filePath(QStringLiteral("no/such/folder")), *m_defaults);
    panel.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return panel.dims().has_value(); }, tovarine::test::kHangCeilingMs));
    type(panel, "targetField", QStringLiteral("100"));
    const QString status = save(panel);
    EXPECT_TRUE(status.startsWith(QStringLiteral("failed · couldn't write OBJ: "))) << status.toStdString();
    EXPECT_EQ(child<QLabel>(panel, "sizeLabel")->text(), QStringLiteral("200 × 100 × 50 mm"));
    EXPECT_EQ(child<QLineEdit>(panel, "targetField")->text(), QStringLiteral("100"));
    EXPECT_TRUE(child<QPushButton>(panel, "saveScaledButton")->isEnabled());
}

TEST_F(DimensionsAndRescaleTest, UnreadableModelKeepsMeasuringAndFlatScanCannotBeSavedPerAxis)
{
    {
        DimensionsAndRescale panel(m_dir.filePath(QStringLiteral("missing.usdz")), m_dir.path(), *m_defaults);
        panel.show();
        ASSERT_TRUE(BackgroundRun::waitForIdle(tovarine::test::kHangCeilingMs));
        QCoreApplication::processEvents();
        EXPECT_TRUE(child<QLabel>(panel, "measuringLabel")->isVisible());
        EXPECT_EQ(child<QLabel>(panel, "measuringLabel")->text(), QStringLiteral("measuring…"));
        EXPECT_FALSE(child<QSlider>(panel, "targetSlider")->isVisible());
        EXPECT_FALSE(child<QPushButton>(panel, "saveScaledButton")->isVisible());
    }
    auto flat = measuredPanel(QStringLiteral("mm"), 0.0);
    EXPECT_EQ(child<QLabel>(*flat, "sizeLabel")->text(), QStringLiteral("200 × 100 × 0 mm"));
    QTest::mouseClick(child<QToolButton>(*flat, "perAxisSegment"), Qt::LeftButton);
    type(*flat, "targetZField", QStringLiteral("10"));
    EXPECT_FALSE(child<QPushButton>(*flat, "saveScaledButton")->isEnabled());
}

TEST_F(DimensionsAndRescaleTest, PanelDestroyedDuringASaveIsNotTouchedAndTheFileIsWritten)
{
    auto panel = measuredPanel(QStringLiteral("mm"));
    type(*panel, "targetField", QStringLiteral("50"));
    QTest::mouseClick(child<QPushButton>(*panel, "saveScaledButton"), Qt::LeftButton);
    EXPECT_EQ(child<QLabel>(*panel, "rescaleStatus")->text(), QStringLiteral("writing model_50mm.obj…"));
    EXPECT_FALSE(child<QPushButton>(*panel, "saveScaledButton")->isEnabled());
    panel.reset();
    ASSERT_TRUE(BackgroundRun::waitForIdle(tovarine::test::kHangCeilingMs));
    QCoreApplication::processEvents();
    expectExtents(QStringLiteral("model_50mm.obj"), 50.0, 25.0, 12.5, 1e-3);
}

// "Save scaled" is disabled while it writes; the keyboard focus does not move on to the slider, where an
// arrow key would change the target, nor into a field. The saved size leaves nothing to save, so the button
// stays disabled and the panel keeps the focus.
TEST_F(DimensionsAndRescaleTest, KeyboardFocusStaysOffTheSliderAcrossASave)
{
    auto panel = measuredPanel(QStringLiteral("mm"));
    panel->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(panel.get(), tovarine::test::kHangCeilingMs));
    type(*panel, "targetField", QStringLiteral("50"));
    QSignalSpy finished(panel.get(), &DimensionsAndRescale::rescaleFinished);
    QPushButton* save = child<QPushButton>(*panel, "saveScaledButton");
    save->setFocus(Qt::TabFocusReason);
    QTest::keyClick(save, Qt::Key_Space);
    ASSERT_TRUE(QTest::qWaitFor([&finished] { return !finished.isEmpty(); }, tovarine::test::kHangCeilingMs));
    ASSERT_FALSE(save->isEnabled());
    EXPECT_EQ(QApplication::focusWidget(), panel.get());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("7"));
    EXPECT_EQ(child<QLineEdit>(*panel, "targetField")->text(), QStringLiteral("50"));
}
