#pragma once

#include "HangCeiling.h"
#include "Quorvantile.h"
#include "QuorvantileLocalServiceBus.h"

#include <QTest>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

// Waits for `condition` under the hang ceiling; false when it never held. (Qt's waiting macros, when they
// give up, only return from the test body, which GoogleTest does not count as a failure.)
[[nodiscard]] inline bool eventually(const std::function<bool()>& condition)
{
    return QTest::qWaitFor(condition, tovarine::test::kHangCeilingMs);
}

// The shared mesh facade joined to an in-process network, with other machines that can be added on loopback
// addresses of their own. Nothing answers their model-server probes, so they keep placeholder facts.
struct MeshOnLoopback
{
    MeshOnLoopback()
    {
        ostrel::Quorvantile::shared().useServiceBackend(
            [this] { return bus.makeBackend(QHostAddress("127.0.0.2")); }, options());
        // enable() skips its LAN check: no address to ask.
        ostrel::Quorvantile::shared().useModelServerCheck([] { return std::optional<QString>(); }, 0);
    }
    ~MeshOnLoopback()
    {
        ostrel::Quorvantile& mesh = ostrel::Quorvantile::shared();
        mesh.disable();
        mesh.setRenderStatus(std::nullopt);
        mesh.setLocalRenderReason(std::nullopt);
        mesh.setWorkerProgress({});
        mesh.setLastSpeedComparison(std::nullopt);
    }
    static ostrel::QuorvantileDiscovery::Options options()
    {
        ostrel::QuorvantileDiscovery::Options o;
        o.modelServerPort = 9; // discard: nothing listens on loopback, so probes fail at once
        o.probeTimeoutMs = 1000;
        // No republication during a test: on this network each one is a change of the machine's record, which
        // takes it out of the table and resolves it again.
        o.heartbeatMs = 2 * tovarine::test::kHangCeilingMs;
        return o;
    }
    void join()
    {
        ostrel::Quorvantile::shared().enableDiscoveryOnly();
        ASSERT_TRUE(eventually([] { return ostrel::Quorvantile::shared().isEnabled(); }));
    }
    // Another machine named `name` at 127.0.0.<octet>.
    void addMachine(const QString& name, int octet)
    {
        const QHostAddress address(QStringLiteral("127.0.0.%1").arg(octet));
        auto discovery = std::make_unique<ostrel::QuorvantileDiscovery>(
            QUuid::createUuid(), [this, address] { return bus.makeBackend(address); }, options());
        discovery->start(ostrel::QuorvantileManifest(discovery->nodeID(), name,
                                                     ostrel::QuorvantilePlatform::linux, {}, QString(), 8,
                                                     16384, std::nullopt, std::nullopt, false, 0.0));
        others.push_back(std::move(discovery));
    }
    void waitForRemotes(int count)
    {
        ASSERT_TRUE(eventually([count] { return ostrel::Quorvantile::shared().remoteNodeCount() == count; }));
        QTest::qWait(20); // the facade forwards discovery changes one turn later
    }

    ostrel::QuorvantileLocalServiceBus bus;
    std::vector<std::unique_ptr<ostrel::QuorvantileDiscovery>> others;
};
