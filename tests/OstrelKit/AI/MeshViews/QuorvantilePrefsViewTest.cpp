#include "QuorvantilePrefsView.h"

#include "MeshViewsFixture.h"
#include "TestSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QPointer>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <gtest/gtest.h>

using namespace ostrel;

namespace {

QStringList texts(const QWidget* root, const QString& objectName)
{
    QStringList found;
    for (const QLabel* label : root->findChildren<QLabel*>(objectName)) {
        found.append(label->text());
    }
    return found;
}

int dividers(const QuorvantilePrefsView& pane)
{
    return static_cast<int>(pane.findChild<QGroupBox*>("machines")->findChildren<QFrame*>("divider").size());
}

// Runs the facade's discovery with a manifest of chosen facts. A join and leave first makes the facade
// forward the discovery's changes, as it keeps doing after every enable.
void startWithManifest(MeshOnLoopback& net, qint64 ramMB, std::optional<QString> gpu, bool metal)
{
    Quorvantile& mesh = Quorvantile::shared();
    net.join();
    mesh.disable();
    mesh.useServiceBackend([&net] { return net.bus.makeBackend(QHostAddress("127.0.0.2")); }, net.options());
    mesh.discovery().start(QuorvantileManifest(mesh.discovery().nodeID(), "alpha", QuorvantilePlatform::linux,
                                               {}, QString(), 8, ramMB, gpu, std::nullopt, metal, 0));
}

class QuorvantilePrefsViewTest : public ::testing::Test
{
protected:
    void SetUp() override { tovarine::test::useTemporarySettings(m_settings); }
    QTemporaryDir m_settings;
    MeshOnLoopback m_net;
};

} // namespace

TEST_F(QuorvantilePrefsViewTest, EmptyMeshShowsOnlyThePlaceholderAndNoStatistics)
{
    QuorvantilePrefsView pane;
    EXPECT_EQ(texts(&pane, "noMachines"), QStringList({"No machines discovered"}));
    EXPECT_TRUE(pane.findChildren<QWidget*>("nodeRow").isEmpty());
    EXPECT_TRUE(pane.findChild<QGroupBox*>("performance")->isHidden());
    EXPECT_TRUE(pane.findChild<QLabel*>("activeLabel")->isHidden());
    // No calls yet: the performance box stays away even with a render report.
    Quorvantile::shared().setLastSpeedComparison(QuorvantileSpeedComparison{0, 10, 2, {}, 20});
    EXPECT_TRUE(pane.findChild<QGroupBox*>("performance")->isHidden());
}

TEST_F(QuorvantilePrefsViewTest, MachineRowsWithDetailsAndDividersBetween)
{
    // This machine's entry with chosen facts: 1536 MB reads 1GB.
    startWithManifest(m_net, 1536, QStringLiteral("amdgpu"), true);
    QuorvantilePrefsView pane;
    QTRY_COMPARE_WITH_TIMEOUT(pane.findChildren<QWidget*>("nodeRow").size(), 1,
                              tovarine::test::kHangCeilingMs);
    EXPECT_EQ(dividers(pane), 0);
    EXPECT_EQ(texts(&pane, "detail"),
              QStringList({"this machine", "·", "8 cores", "·", "1GB", "· Metal", "· amdgpu"}));
    EXPECT_EQ(texts(&pane, "platformBadge"), QStringList({"linux"}));

    m_net.addMachine("beta", 3);
    m_net.addMachine("gamma", 4);
    m_net.waitForRemotes(2);
    QTRY_COMPARE_WITH_TIMEOUT(pane.findChildren<QWidget*>("nodeRow").size(), 3,
                              tovarine::test::kHangCeilingMs);
    QTRY_COMPARE_WITH_TIMEOUT(dividers(pane), 2, tovarine::test::kHangCeilingMs);
    const QStringList details = texts(&pane, "detail");
    EXPECT_TRUE(details.contains("127.0.0.3"));
    EXPECT_TRUE(details.contains("0GB")); // peers carry placeholder facts
}

TEST_F(QuorvantilePrefsViewTest, NicknamesAreStoredOnEveryKeystrokeAndClearedWhenEmpty)
{
    Quorvantile& mesh = Quorvantile::shared();
    const QString id = quorvantileUuidText(mesh.discovery().nodeID());
    startWithManifest(m_net, 1536, std::nullopt, false);
    QuorvantilePrefsView pane;
    QTRY_VERIFY_WITH_TIMEOUT(pane.findChild<QLabel*>("nodeName"), tovarine::test::kHangCeilingMs);
    QTest::mouseDClick(pane.findChild<QLabel*>("nodeName"), Qt::LeftButton);
    EXPECT_EQ(pane.editingNickname(), id);
    QLineEdit* field = pane.findChild<QLineEdit*>("nicknameField");
    ASSERT_TRUE(field);
    EXPECT_EQ(field->placeholderText(), "Nickname");
    QTest::keyClicks(field, "  ");
    EXPECT_EQ(QSettings().value("quorvantile.nicknames").toMap().value(id).toString(), "  "); // as typed
    QTest::keyClicks(field, "desk");
    EXPECT_EQ(QSettings().value("quorvantile.nicknames").toMap().value(id).toString(), "  desk");
    QTest::keyClick(field, Qt::Key_Return);
    QTRY_VERIFY_WITH_TIMEOUT(!pane.editingNickname(), tovarine::test::kHangCeilingMs);
    QTRY_COMPARE_WITH_TIMEOUT(texts(&pane, "nodeName"), QStringList({"  desk"}),
                              tovarine::test::kHangCeilingMs);

    pane.startEditingNickname(id);
    field = pane.findChild<QLineEdit*>("nicknameField");
    ASSERT_TRUE(field);
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Backspace);
    const QVariant stored = QSettings().value("quorvantile.nicknames");
    EXPECT_EQ(stored.typeId(), QMetaType::QVariantMap); // an empty map is kept, not removed
    EXPECT_TRUE(stored.toMap().isEmpty());
    QTest::keyClick(field, Qt::Key_Return);
    QTRY_COMPARE_WITH_TIMEOUT(texts(&pane, "nodeName"), QStringList({"alpha"}),
                              tovarine::test::kHangCeilingMs);
}

// The mesh publishes changes all the time (render progress, machines coming and going). A nickname being
// typed meanwhile keeps its editor and the focus: every key lands in it.
TEST_F(QuorvantilePrefsViewTest, ARowBeingRenamedKeepsItsEditorWhileTheMeshChanges)
{
    Quorvantile& mesh = Quorvantile::shared();
    const QString id = quorvantileUuidText(mesh.discovery().nodeID());
    startWithManifest(m_net, 16384, std::nullopt, false);
    m_net.addMachine("beta", 3);
    m_net.waitForRemotes(1);
    QuorvantilePrefsView pane;
    pane.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&pane));
    QTRY_COMPARE(pane.findChildren<QWidget*>("nodeRow").size(), 2);
    pane.startEditingNickname(id);
    const QPointer<QLineEdit> field = pane.findChild<QLineEdit*>("nicknameField");
    ASSERT_TRUE(field);
    EXPECT_EQ(pane.focusWidget(), field.data());
    // Keys go where the window's focus is (whether or not the test platform keeps the window active).
    const auto type = [&pane](const char* keys) {
        for (const char* key = keys; *key != 0; ++key) {
            QWidget* focused = pane.focusWidget();
            ASSERT_TRUE(focused) << "no widget of the pane has the focus";
            QTest::keyClick(focused, *key);
        }
    };
    type("ab");

    // Render progress ticks, a machine joining, one leaving, a render recorded.
    for (int tick = 0; tick < 5; ++tick) {
        mesh.setWorkerProgress({{QStringLiteral("w"), tick / 5.0, false}});
        type("c");
    }
    m_net.addMachine("gamma", 4);
    m_net.waitForRemotes(2);
    QTRY_COMPARE(pane.findChildren<QWidget*>("nodeRow").size(), 3);
    type("d");
    m_net.others.front()->stop();
    m_net.others.erase(m_net.others.begin());
    mesh.recordRender(100, 2, 1);
    QTest::qWait(50); // the facade forwards discovery changes one turn later
    type("e");

    ASSERT_TRUE(field) << "the editor was replaced";
    EXPECT_EQ(field->text(), "abcccccde");
    EXPECT_EQ(QSettings().value("quorvantile.nicknames").toMap().value(id).toString(), "abcccccde");
    EXPECT_EQ(pane.editingNickname(), id);
}

TEST_F(QuorvantilePrefsViewTest, StoredNicknamesWithAnyNonTextValueAreIgnoredWhole)
{
    QSettings().setValue("quorvantile.nicknames", QVariantMap{{"A", "desk"}, {"B", 5}});
    EXPECT_TRUE(QuorvantilePrefsView::readNicknames().isEmpty());
    QSettings().setValue("quorvantile.nicknames", QStringLiteral("desk"));
    EXPECT_TRUE(QuorvantilePrefsView::readNicknames().isEmpty());
    QSettings().setValue("quorvantile.nicknames", QVariantMap{{"A", "desk"}});
    EXPECT_EQ(QuorvantilePrefsView::readNicknames().value("A"), "desk");
}

TEST_F(QuorvantilePrefsViewTest, NerdModeIsStoredWhenToggled)
{
    QuorvantilePrefsView pane;
    auto* toggle = pane.findChild<QCheckBox*>("nerdMode");
    EXPECT_FALSE(toggle->isChecked());
    toggle->click();
    EXPECT_TRUE(QSettings().value("quorvantile.nerdMode").toBool());
    QuorvantilePrefsView again;
    EXPECT_TRUE(again.findChild<QCheckBox*>("nerdMode")->isChecked());
}
