#include "FakeModelServer.h"
#include "MeshDemoHost.h"
#include "MeshViewsFixture.h"
#include "Screenshots.h"
#include "TestSupport.h"

#include <QDir>
#include <QLineEdit>
#include <QStandardPaths>
#include <QTest>
#include <gtest/gtest.h>

using namespace ostrel;

namespace {

void save(QWidget* widget, const QString& name)
{
    QTest::qWait(60); // let queued facade changes and layouts settle
    const QString dir = tovarine::test::screenshotFolder();
    ASSERT_TRUE(widget->grab().save(dir + QStringLiteral("/") + name + QStringLiteral(".png")))
        << name.toStdString();
}

} // namespace

// Renders the badge and the pane in each state of the mesh into screenshots/ for review.
TEST(MeshScreenshots, IndicatorAndPreferencesInEachState)
{
    QTemporaryDir settings;
    tovarine::test::useTemporarySettings(settings);
    MeshOnLoopback net;
    MeshDemoHost host;
    host.show();
    host.preferences.show();
    save(&host.preferences, "mesh-prefs-01-off");

    net.join();
    save(&host, "mesh-indicator-01-this-machine-only");

    net.addMachine("studio", 3);
    net.addMachine("render-box", 4);
    net.waitForRemotes(2);
    save(&host, "mesh-indicator-02-ready");
    save(&host.preferences, "mesh-prefs-02-machines");

    Quorvantile& mesh = Quorvantile::shared();
    mesh.setRenderStatus(QStringLiteral("Rendering 3 segments…"));
    mesh.setWorkerProgress({{"local", 0.62, false}, {"studio", 1.0, true}, {"render-box", 0.999, false}});
    save(&host, "mesh-indicator-03-rendering");

    mesh.setRenderStatus(std::nullopt);
    mesh.setWorkerProgress({});
    mesh.setLastSpeedComparison(
        QuorvantileSpeedComparison{100, 246, 3, {{"local", 120, 95}, {"studio", 90, 100}}, 300});
    save(&host, "mesh-indicator-04-speedup");

    mesh.setLocalRenderReason(QStringLiteral("source is on this machine only"));
    save(&host, "mesh-indicator-05-local-reason");

    // A full node that has answered two calls: the pane adds its statistics.
    mesh.disable();
    mesh.setLocalRenderReason(std::nullopt);
    QStandardPaths::setTestModeEnabled(true);
    tovarine::test::FakeModelServer server;
    ASSERT_TRUE(server.listen());
    server.serveModels({"llama3.1:8b"}, "Hello there");
    OllamaClient client(QStringLiteral("tovarine-tests"), server.baseUrl());
    mesh.enable(client);
    QTRY_VERIFY_WITH_TIMEOUT(mesh.isEnabled(), tovarine::test::kHangCeilingMs);
    int answered = 0;
    for (int i = 0; i < 2; ++i) {
        QuorvantileModelCall call;
        call.prompt = QStringLiteral("hi");
        mesh.call(call, {}, [&answered](const OllamaResult<QString>&) { ++answered; });
    }
    QTRY_COMPARE_WITH_TIMEOUT(answered, 2, tovarine::test::kHangCeilingMs);
    save(&host.preferences, "mesh-prefs-03-statistics");

    host.pane->startEditingNickname(quorvantileUuidText(net.others.front()->nodeID()));
    QTest::keyClicks(host.pane->findChild<QLineEdit*>("nicknameField"), "Studio upstairs");
    save(&host.preferences, "mesh-prefs-04-nickname");
    mesh.disable();
}
