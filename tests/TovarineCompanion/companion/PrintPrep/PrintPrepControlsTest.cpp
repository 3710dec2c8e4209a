#include "PrintPrepControls.h"

#include "BackgroundRun.h"
#include "HangCeiling.h"
#include "LineLimitedLabel.h"
#include "PanelTestSupport.h"
#include "PrintPrepFixtures.h"
#include "SettingsKeys.h"
#include "StatusIndicator.h"
#include "UserDefaults.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

using namespace tovarine;

namespace {

using test::child;

constexpr qint64 kT0 = 1'700'000'000;

class PrintPrepControlsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_result.isValid() && m_cache.isValid());
        qputenv("XDG_CACHE_HOME", m_cache.path().toUtf8());
        m_defaults = std::make_unique<UserDefaults>(m_result.filePath(QStringLiteral("settings.ini")));
        m_defaults->setValue(SettingsKeys::kUnits, QStringLiteral("mm"));
        m_mesh = m_result.filePath(QStringLiteral("model.usdz"));
        // An open scan: a 40 × 30 × 20 mm box without its top.
        ASSERT_TRUE(test::writeBoxModel(m_mesh, 0.04, 0.02, 0.03, true));
        ASSERT_TRUE(test::setModified(m_mesh, kT0));
    }

    std::unique_ptr<PrintPrepControls> shownPanel()
    {
        auto panel = std::make_unique<PrintPrepControls>(m_mesh, m_result.path(), *m_defaults);
        panel->show();
        return panel;
    }

    static void type(QWidget& panel, const char* field, const QString& text)
    {
        QLineEdit* edit = child<QLineEdit>(panel, field);
        edit->clear();
        QTest::keyClicks(edit, text);
    }

    // Clicks `button`, checks the line shown at once, waits for the run and returns its last status line.
    static QString run(PrintPrepControls& panel, const char* button, const QString& firstLine)
    {
        QSignalSpy finished(&panel, &PrintPrepControls::runFinished);
        QTest::mouseClick(child<QPushButton>(panel, button), Qt::LeftButton);
        EXPECT_EQ(panel.status().value_or(QString()), firstLine);
        EXPECT_TRUE(panel.isWorking());
        EXPECT_TRUE(child<StatusIndicator>(panel, "statusIndicator")->isBusy());
        for (const char* name : {"thickenButton", "guardButton", "growButton"}) {
            EXPECT_FALSE(child<QPushButton>(panel, name)->isEnabled()) << name;
        }
        EXPECT_TRUE(finished.wait(tovarine::test::kHangCeilingMs));
        EXPECT_FALSE(panel.isWorking());
        EXPECT_FALSE(child<StatusIndicator>(panel, "statusIndicator")->isBusy());
        EXPECT_EQ(child<LineLimitedLabel>(panel, "statusLabel")->fullText(),
                  panel.status().value_or(QString()));
        return panel.status().value_or(QString());
    }

    bool exists(const char* name) const
    {
        return QFile::exists(m_result.filePath(QString::fromLatin1(name)));
    }

    static void expectMatch(const QString& text, const char* pattern)
    {
        const QRegularExpression re(QString::fromUtf8(pattern));
        EXPECT_TRUE(re.match(text).hasMatch()) << text.toStdString() << "\n  !~ " << pattern;
    }

    QTemporaryDir m_result;
    QTemporaryDir m_cache;
    std::unique_ptr<UserDefaults> m_defaults;
    QString m_mesh;
};

} // namespace

TEST_F(PrintPrepControlsTest, ThickenThenGuardThenGrowWriteTheirFilesBesideTheResult)
{
    auto panel = shownPanel();
    EXPECT_FALSE(panel->status());
    EXPECT_FALSE(child<QWidget>(*panel, "statusLabel")->isVisible());

    QString status = run(*panel, "thickenButton", QStringLiteral("thickening → model_thick_2mm.obj"));
    expectMatch(status, "^shelled · model_thick_2mm\\.obj · watertight · \\d+\\.\\ds$");
    EXPECT_TRUE(exists("model_thick_2mm.obj"));
    EXPECT_FALSE(panel->statusIsWarning());
    EXPECT_EQ(child<StatusIndicator>(*panel, "statusIndicator")->status(), StatusSymbols::Status::ok);

    // A wall of about 2 mm against a 0.1 mm minimum: all clear; Grow then has nothing to grow.
    type(*panel, "minWallField", QStringLiteral("0.1"));
    status =
        run(*panel, "guardButton", QStringLiteral("checking model_thick_2mm.obj → model_thinmap_0p1mm.obj"));
    expectMatch(status, "^checked model_thick_2mm\\.obj · all faces ≥ 0\\.10 mm · median \\d+\\.\\d\\d mm · "
                        "model_thinmap_0p1mm\\.obj · \\d+\\.\\ds$");
    EXPECT_TRUE(exists("model_thinmap_0p1mm.obj") && exists("model_thinmap_0p1mm.mtl"));
    status = run(*panel, "growButton",
                 QStringLiteral("growing thin regions of model_thick_2mm.obj → model_grown_0p1mm.obj"));
    expectMatch(status, "^checked model_thick_2mm\\.obj · nothing to grow · all faces ≥ 0\\.10 mm · "
                        "model_grown_0p1mm\\.obj · \\d+\\.\\ds$");
    EXPECT_TRUE(exists("model_grown_0p1mm.obj") && exists("model_grown_0p1mm.mtl"));
    EXPECT_FALSE(exists("model_thinmap_postgrow_0p1mm.obj"));

    // Against 5 mm every wall is thin; Grow pushes and re-guards its output.
    type(*panel, "minWallField", QStringLiteral("5"));
    status =
        run(*panel, "guardButton", QStringLiteral("checking model_thick_2mm.obj → model_thinmap_5mm.obj"));
    expectMatch(status,
                "^checked model_thick_2mm\\.obj · \\d+ thin \\(\\d+\\.\\d%\\) · min \\d+\\.\\d\\d / median "
                "\\d+\\.\\d\\d mm · model_thinmap_5mm\\.obj · \\d+\\.\\ds$");
    status = run(*panel, "growButton",
                 QStringLiteral("growing thin regions of model_thick_2mm.obj → model_grown_5mm.obj"));
    expectMatch(status,
                "^grew model_thick_2mm\\.obj · (all clear · )?\\d+ → \\d+ thin · \\d+ iters · \\d+ verts "
                "moved · model_grown_5mm\\.obj · re-guard \\d+ thin · \\d+\\.\\ds$");
    EXPECT_TRUE(exists("model_grown_5mm.obj") && exists("model_grown_5mm.mtl"));
    EXPECT_TRUE(exists("model_thinmap_postgrow_5mm.obj") && exists("model_thinmap_postgrow_5mm.mtl"));
    EXPECT_FALSE(panel->statusIsWarning());

    // The working copy lives in the user's cache, not in the result folder.
    EXPECT_TRUE(QDir(m_cache.filePath(QStringLiteral("tovarine-printprep"))).exists());
}

TEST_F(PrintPrepControlsTest, GuardAndGrowWarnWithoutACurrentClosedMesh)
{
    auto panel = shownPanel();
    QTest::mouseClick(child<QPushButton>(*panel, "guardButton"), Qt::LeftButton);
    EXPECT_EQ(panel->status().value_or(QString()),
              QStringLiteral(
                  "model.obj is an open scan, so wall thickness can't be measured yet · run Thicken first"));
    EXPECT_TRUE(panel->statusIsWarning());
    EXPECT_FALSE(panel->isWorking());
    EXPECT_EQ(child<StatusIndicator>(*panel, "statusIndicator")->status(), StatusSymbols::Status::warning);

    // A shell from before the current model.obj is stale.
    QFile shell(m_result.filePath(QStringLiteral("model_thick_2mm.obj")));
    ASSERT_TRUE(shell.open(QIODevice::WriteOnly));
    shell.close();
    ASSERT_TRUE(test::setModified(shell.fileName(), kT0 + 1));
    QFile obj(m_result.filePath(QStringLiteral("model.obj")));
    ASSERT_TRUE(obj.open(QIODevice::WriteOnly));
    obj.close();
    ASSERT_TRUE(test::setModified(obj.fileName(), kT0 + 2));
    QTest::mouseClick(child<QPushButton>(*panel, "growButton"), Qt::LeftButton);
    EXPECT_EQ(
        panel->status().value_or(QString()),
        QStringLiteral("the Thicken / watertight files here are from an earlier reconstruction · run Thicken "
                       "again to measure this one"));
    EXPECT_TRUE(panel->statusIsWarning());
    EXPECT_FALSE(panel->isWorking());
    EXPECT_FALSE(exists("model_grown_1mm.obj"));
}

TEST_F(PrintPrepControlsTest, FailingToolsEndInAFailedLineWithTheCheckMark)
{
    QFile::remove(m_mesh);
    auto panel = shownPanel();
    QString status = run(*panel, "thickenButton", QStringLiteral("thickening → model_thick_2mm.obj"));
    EXPECT_EQ(status, QStringLiteral("failed · mesh had no usable geometry"));
    EXPECT_FALSE(panel->statusIsWarning());
    EXPECT_FALSE(exists("model_thick_2mm.obj"));

    QFile shell(m_result.filePath(QStringLiteral("model_thick_2mm.obj")));
    ASSERT_TRUE(shell.open(QIODevice::WriteOnly));
    shell.write("not a mesh\n");
    shell.close();
    status =
        run(*panel, "guardButton", QStringLiteral("checking model_thick_2mm.obj → model_thinmap_1mm.obj"));
    EXPECT_EQ(status, QStringLiteral("failed · mesh had no usable geometry"));
    status = run(*panel, "growButton",
                 QStringLiteral("growing thin regions of model_thick_2mm.obj → model_grown_1mm.obj"));
    EXPECT_EQ(status, QStringLiteral("failed · mesh had no usable geometry"));
    EXPECT_FALSE(panel->statusIsWarning());
    EXPECT_EQ(child<StatusIndicator>(*panel, "statusIndicator")->status(), StatusSymbols::Status::ok);
    EXPECT_FALSE(exists("model_thinmap_postgrow_1mm.obj"));
}

TEST_F(PrintPrepControlsTest, InchesNameFilesByTheMillimetreTagAndUnitChangesResetTheFields)
{
    m_defaults->setValue(SettingsKeys::kUnits, QStringLiteral("in"));
    auto panel = shownPanel();
    EXPECT_EQ(child<QLineEdit>(*panel, "shellField")->text(), QStringLiteral("0.08"));
    EXPECT_EQ(child<QLineEdit>(*panel, "minWallField")->text(), QStringLiteral("0.04"));
    const QString status =
        run(*panel, "thickenButton", QStringLiteral("thickening → model_thick_2p03mm.obj"));
    expectMatch(status, "^shelled · model_thick_2p03mm\\.obj · watertight · \\d+\\.\\ds$");
    EXPECT_TRUE(exists("model_thick_2p03mm.obj"));

    type(*panel, "shellField", QStringLiteral("0.1"));
    m_defaults->setValue(SettingsKeys::kUnits, QStringLiteral("mm"));
    EXPECT_EQ(child<QLineEdit>(*panel, "shellField")->text(), QStringLiteral("2"));
    EXPECT_EQ(child<QLineEdit>(*panel, "minWallField")->text(), QStringLiteral("1.0"));
    m_defaults->setValue(SettingsKeys::kUnits, QStringLiteral("in"));
    EXPECT_EQ(child<QLineEdit>(*panel, "shellField")->text(), QStringLiteral("0.08"));
}

// The tooltips point to commands this application has.
TEST_F(PrintPrepControlsTest, TooltipsNameOnlyCommandsThatExist)
{
    auto panel = shownPanel();
    for (const char* name : {"guardButton", "growButton"}) {
        const QString help = child<QPushButton>(*panel, name)->toolTip();
        EXPECT_TRUE(help.contains(QStringLiteral("run Thicken first"))) << name;
        EXPECT_FALSE(help.contains(QStringLiteral("Make watertight"))) << name;
    }
}

TEST_F(PrintPrepControlsTest, UnusableThicknessesDisableTheirButtons)
{
    auto panel = shownPanel();
    for (const char* text : {"0", "-1", "abc", "", "inf", "20000", "1e999"}) {
        type(*panel, "shellField", QString::fromLatin1(text));
        EXPECT_FALSE(child<QPushButton>(*panel, "thickenButton")->isEnabled()) << text;
        type(*panel, "minWallField", QString::fromLatin1(text));
        EXPECT_FALSE(child<QPushButton>(*panel, "guardButton")->isEnabled()) << text;
        EXPECT_FALSE(child<QPushButton>(*panel, "growButton")->isEnabled()) << text;
    }
    type(*panel, "shellField", QStringLiteral("10000"));
    EXPECT_TRUE(child<QPushButton>(*panel, "thickenButton")->isEnabled());
    // A disabled action does nothing even when called directly.
    type(*panel, "minWallField", QStringLiteral("abc"));
    panel->runMinThickness();
    EXPECT_FALSE(panel->status());
}

TEST_F(PrintPrepControlsTest, PanelDestroyedDuringARunIsNotTouchedAndTheRunFinishes)
{
    auto panel = shownPanel();
    QTest::mouseClick(child<QPushButton>(*panel, "thickenButton"), Qt::LeftButton);
    ASSERT_TRUE(panel->isWorking());
    panel.reset();
    ASSERT_TRUE(BackgroundRun::waitForIdle(tovarine::test::kHangCeilingMs));
    QCoreApplication::processEvents();
    EXPECT_TRUE(exists("model_thick_2mm.obj"));
}

// The buttons are disabled while a tool runs; the keyboard focus stays where the user had it, on the pressed
// button or wherever the user moved it meanwhile. It never lands in the next field with its text selected,
// where typing would replace the thickness.
TEST_F(PrintPrepControlsTest, KeyboardFocusStaysWhereTheUserHadItAcrossARun)
{
    auto panel = shownPanel();
    panel->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(panel.get(), tovarine::test::kHangCeilingMs));
    QSignalSpy finished(panel.get(), &PrintPrepControls::runFinished);
    QLineEdit* minWall = child<QLineEdit>(*panel, "minWallField");
    for (const char* name : {"thickenButton", "guardButton", "growButton"}) {
        SCOPED_TRACE(name);
        QPushButton* button = child<QPushButton>(*panel, name);
        button->setFocus(Qt::TabFocusReason);
        QTest::keyClick(button, Qt::Key_Space);
        ASSERT_TRUE(
            QTest::qWaitFor([&finished] { return !finished.isEmpty(); }, tovarine::test::kHangCeilingMs));
        finished.clear();
        EXPECT_EQ(QApplication::focusWidget(), button);
        EXPECT_FALSE(minWall->hasSelectedText());
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("7"));
        EXPECT_EQ(minWall->text(), QStringLiteral("1.0"));
    }

    QLineEdit* shell = child<QLineEdit>(*panel, "shellField");
    QPushButton* thicken = child<QPushButton>(*panel, "thickenButton");
    thicken->setFocus(Qt::TabFocusReason);
    QTest::keyClick(thicken, Qt::Key_Space);
    ASSERT_TRUE(panel->isWorking());
    shell->setFocus(Qt::MouseFocusReason);
    ASSERT_TRUE(QTest::qWaitFor([&finished] { return !finished.isEmpty(); }, tovarine::test::kHangCeilingMs));
    EXPECT_EQ(QApplication::focusWidget(), shell);
}
