#pragma once

#include "HangCeiling.h"
#include "Quorvantile.h"
#include "QuorvantileLocalServiceBus.h"

#include <QTest>
#include <memory>
#include <vector>

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
        return o;
    }
    void join()
    {
        ostrel::Quorvantile::shared().enableDiscoveryOnly();
        QTRY_VERIFY_WITH_TIMEOUT(ostrel::Quorvantile::shared().isEnabled(), tovarine::test::kHangCeilingMs);
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
        QTRY_COMPARE_WITH_TIMEOUT(ostrel::Quorvantile::shared().remoteNodeCount(), count,
                                  tovarine::test::kHangCeilingMs);
        QTest::qWait(20); // the facade forwards discovery changes one turn later
    }

    ostrel::QuorvantileLocalServiceBus bus;
    std::vector<std::unique_ptr<ostrel::QuorvantileDiscovery>> others;
};
