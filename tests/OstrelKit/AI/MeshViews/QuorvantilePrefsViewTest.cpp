#include "QuorvantilePrefsView.h"

#include "MeshViewsFixture.h"
#include "TestSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QSettings>
#include <QTcpServer>
#include <algorithm>
#include <functional>
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

// A machine that publishes its DNS-SD record on the in-process network directly, so the test can change
// the record or withdraw it. Its address answers the discovery's connection; its model server does not.
struct PublishedMachine
{
    PublishedMachine(ostrel::QuorvantileLocalServiceBus& bus, const QString& name, int octet) : bus(bus)
    {
        move(octet);
        record.name = ostrel::quorvantileUuidText(QUuid::createUuid());
        record.txt = QMap<QByteArray, QByteArray>{{"nm", name.toUtf8()}};
        bus.publish(record);
    }
    // Another address, as after a change of the machine's network.
    void move(int octet)
    {
        server = std::make_unique<QTcpServer>();
        record.address = QHostAddress(QStringLiteral("127.0.0.%1").arg(octet));
        ASSERT_TRUE(server->listen(record.address));
        record.port = server->serverPort();
    }
    ostrel::QuorvantileLocalServiceBus& bus;
    std::unique_ptr<QTcpServer> server;
    ostrel::QuorvantileServiceResult record;
};

// A host window with a text field of its own beside the pane, the field first in the focus chain.
struct HostWindow
{
    HostWindow()
    {
        auto* layout = new QHBoxLayout(&window);
        other = new QLineEdit;
        other->setObjectName("hostField");
        layout->addWidget(other);
        pane = new QuorvantilePrefsView;
        layout->addWidget(pane);
    }
    void showActive()
    {
        window.show();
        QApplication::setActiveWindow(&window);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    }
    // Keys go where the window's focus is, as a user's would.
    void type(const QString& keys)
    {
        for (const QChar key : keys) {
            QWidget* focused = window.focusWidget();
            ASSERT_TRUE(focused) << "nothing in the window has the focus";
            QTest::keyClick(focused, key.toLatin1());
        }
    }
    bool focusInPane() const
    {
        const QWidget* focused = window.focusWidget();
        return focused == pane || pane->isAncestorOf(focused);
    }
    QWidget* row(const QString& idText) const
    {
        for (QWidget* row : pane->findChildren<QWidget*>("nodeRow")) {
            if (row->property("nodeId").toString() == idText) {
                return row;
            }
        }
        return nullptr;
    }
    QWidget window;
    QLineEdit* other = nullptr;
    QuorvantilePrefsView* pane = nullptr;
};

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
    ASSERT_TRUE(eventually([&] { return pane.findChildren<QWidget*>("nodeRow").size() == 1; }));
    EXPECT_EQ(dividers(pane), 0);
    EXPECT_EQ(texts(&pane, "detail"),
              QStringList({"this machine", "·", "8 cores", "·", "1GB", "· Metal", "· amdgpu"}));
    EXPECT_EQ(texts(&pane, "platformBadge"), QStringList({"linux"}));

    m_net.addMachine("beta", 3);
    m_net.addMachine("gamma", 4);
    m_net.waitForRemotes(2);
    ASSERT_TRUE(eventually([&] { return pane.findChildren<QWidget*>("nodeRow").size() == 3; }));
    ASSERT_TRUE(eventually([&] { return dividers(pane) == 2; }));
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
    ASSERT_TRUE(eventually([&] { return pane.findChild<QLabel*>("nodeName") != nullptr; }));
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
    ASSERT_TRUE(eventually([&] { return !pane.editingNickname(); }));
    ASSERT_TRUE(eventually([&] { return texts(&pane, "nodeName") == QStringList({"  desk"}); }));

    pane.startEditingNickname(id);
    field = pane.findChild<QLineEdit*>("nicknameField");
    ASSERT_TRUE(field);
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Backspace);
    const QVariant stored = QSettings().value("quorvantile.nicknames");
    EXPECT_EQ(stored.typeId(), QMetaType::QVariantMap); // an empty map is kept, not removed
    EXPECT_TRUE(stored.toMap().isEmpty());
    QTest::keyClick(field, Qt::Key_Return);
    ASSERT_TRUE(eventually([&] { return texts(&pane, "nodeName") == QStringList({"alpha"}); }));
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
    ASSERT_TRUE(eventually([&] { return pane.findChildren<QWidget*>("nodeRow").size() == 2; }));
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
    ASSERT_TRUE(eventually([&] { return pane.findChildren<QWidget*>("nodeRow").size() == 3; }));
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

// A change of a machine's record takes it out of the mesh's table until it is resolved again. When that
// machine is the one being renamed, its row is updated in place and keeps the editor, its text and the focus.
TEST_F(QuorvantilePrefsViewTest, ARecordChangeOfTheMachineBeingRenamedKeepsItsEditor)
{
    startWithManifest(m_net, 16384, std::nullopt, false);
    PublishedMachine delta(m_net.bus, "delta", 5);
    m_net.waitForRemotes(1);
    HostWindow host;
    host.showActive();
    const QString id = delta.record.name;
    ASSERT_TRUE(eventually([&] { return host.row(id) != nullptr; }));
    QTest::mouseDClick(host.row(id)->findChild<QLabel*>("nodeName"), Qt::LeftButton);
    const QPointer<QLineEdit> field = host.pane->findChild<QLineEdit*>("nicknameField");
    ASSERT_TRUE(field);
    ASSERT_EQ(host.window.focusWidget(), field.data());
    host.type("de");
    field->cursorBackward(false); // the cursor between "d" and "e"

    // Whether the pane saw the machine missing while it was resolved again (else this test proves nothing).
    bool seenMissing = false;
    QObject::connect(&Quorvantile::shared(), &Quorvantile::changed, host.pane, [&seenMissing, id] {
        const QList<QuorvantileNode> nodes = Quorvantile::shared().activeNodes();
        seenMissing |= std::none_of(nodes.begin(), nodes.end(), [&id](const QuorvantileNode& node) {
            return quorvantileUuidText(node.id()) == id;
        });
    });
    struct Change
    {
        const char* what;
        std::function<void()> make;
        QString host; // shown in the row afterwards
    };
    const std::vector<Change> changes{
        {"its TXT record",
         [&] {
             delta.record.txt = QMap<QByteArray, QByteArray>{{"nm", "delta-2"}, {"ld", "0.50"}};
         },
         "127.0.0.5"},
        {"its address", [&] { delta.move(6); }, "127.0.0.6"},
    };
    QString typed = "de";
    for (const Change& change : changes) {
        SCOPED_TRACE(change.what);
        seenMissing = false;
        change.make();
        m_net.bus.publish(delta.record);
        ASSERT_TRUE(eventually([&] { return seenMissing; }));
        ASSERT_TRUE(
            eventually([&] { return host.row(id) && texts(host.row(id), "detail").contains(change.host); }));
        ASSERT_TRUE(field) << "the editor was replaced";
        EXPECT_TRUE(field->isVisible());
        EXPECT_EQ(field->text(), typed);
        EXPECT_EQ(field->cursorPosition(), 1);
        EXPECT_EQ(host.window.focusWidget(), field.data());
        EXPECT_EQ(host.pane->editingNickname(), id);
        host.type("x");
        typed.insert(1, 'x');
        field->cursorBackward(false);
        EXPECT_EQ(field->text(), typed);
    }
    EXPECT_EQ(QSettings().value("quorvantile.nicknames").toMap().value(id).toString(), typed);
    EXPECT_TRUE(host.other->text().isEmpty());
}

// Renaming ends when the user submits the name or when the machine leaves the mesh (also when its record
// changed and it is then found unreachable). The focus then goes back to the pane, never to another widget
// of the host window, and nothing typed next lands there.
TEST_F(QuorvantilePrefsViewTest, WhenRenamingEndsTheFocusStaysInThePane)
{
    startWithManifest(m_net, 16384, std::nullopt, false);
    struct Ending
    {
        const char* what;
        bool rowStays;
        std::function<void(HostWindow&, PublishedMachine&)> end;
    };
    const std::vector<Ending> endings{
        {"Return", true,
         [](HostWindow& host, PublishedMachine&) {
             QTest::keyClick(host.window.focusWidget(), Qt::Key_Return);
         }},
        {"the machine leaves", false,
         [this](HostWindow&, PublishedMachine& machine) { m_net.bus.withdraw(machine.record.name); }},
        // Its record changes, but the machine cannot be reached any more: it is not coming back.
        {"the machine changes and is gone", false,
         [this](HostWindow&, PublishedMachine& machine) {
             machine.server->close();
             machine.record.txt = QMap<QByteArray, QByteArray>{{"nm", "delta-2"}};
             m_net.bus.publish(machine.record);
         }},
    };
    for (const Ending& ending : endings) {
        SCOPED_TRACE(ending.what);
        PublishedMachine machine(m_net.bus, "delta", 5);
        const QString id = machine.record.name;
        HostWindow host;
        host.showActive();
        ASSERT_TRUE(eventually([&] { return host.row(id) != nullptr; }));
        host.pane->startEditingNickname(id);
        const QPointer<QLineEdit> field = host.pane->findChild<QLineEdit*>("nicknameField");
        ASSERT_TRUE(field);
        host.type("de");

        ending.end(host, machine);
        ASSERT_TRUE(eventually([&] { return !host.pane->editingNickname(); }));
        ASSERT_TRUE(eventually([&] { return (host.row(id) != nullptr) == ending.rowStays; }));
        EXPECT_FALSE(host.pane->findChild<QLineEdit*>("nicknameField"));
        EXPECT_TRUE(host.focusInPane())
            << "focus went to "
            << qPrintable(host.window.focusWidget() ? host.window.focusWidget()->objectName()
                                                    : QStringLiteral("nothing"));
        host.type("zz");
        EXPECT_TRUE(host.other->text().isEmpty());
        EXPECT_EQ(QSettings().value("quorvantile.nicknames").toMap().value(id).toString(), "de");
        m_net.bus.withdraw(id);
        ASSERT_TRUE(eventually([&] { return Quorvantile::shared().remoteNodeCount() == 0; }));
    }
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
