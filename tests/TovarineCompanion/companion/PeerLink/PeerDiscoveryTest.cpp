#include "PeerDiscovery.h"

#include <gtest/gtest.h>

namespace tovarine {
namespace {

// DNS-SD events as the Avahi daemon gives them, played into the tracker; found and lost peers recorded.
class DnsSdPeerTrackerTest : public ::testing::Test
{
protected:
    static ostrel::DnsSdService instance(const QString& instanceName, const QUuid& id, const QByteArray& nm,
                                         int interfaceIndex = 2, int protocol = 0)
    {
        ostrel::DnsSdService service;
        service.name = instanceName;
        service.type = QStringLiteral("_tovarine-pair._tcp");
        service.address = QHostAddress(QStringLiteral("192.0.2.7"));
        service.port = 4000;
        service.txt = {{"id", id.toString(QUuid::WithoutBraces).toUtf8()}};
        if (!nm.isNull()) {
            service.txt.insert("nm", nm);
        }
        service.interfaceIndex = interfaceIndex;
        service.protocol = protocol;
        return service;
    }

    DnsSdPeerTracker tracker{{[this](const PeerDiscovery::Endpoint& e) { found.append(e.peer); },
                              [this](const PeerIdentity& peer) { lost.append(peer); },
                              [](const PeerError&) {}}};
    QList<PeerIdentity> found;
    QList<PeerIdentity> lost;
};

TEST_F(DnsSdPeerTrackerTest, APeerIsLostUnderTheNameItWasFoundBy)
{
    // The daemon cuts instance names to 63 bytes and renames the second of two equal names; the TXT entry
    // carries the name the phone gave. Its going is reported by instance name only.
    const QString longName = QString(40, u'é'); // 80 bytes
    const struct
    {
        const char* what;
        QString instanceName;
        QByteArray nm;
        QString shownName;
    } cases[] = {
        {"plain", "studio phone", "studio phone", "studio phone"},
        {"renamed by the daemon", "twin #2", "twin", "twin"},
        {"name over 63 bytes", QString(31, u'é'), longName.toUtf8(), longName},
        {"no name entry", "old phone", QByteArray(), "old phone"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        found.clear();
        lost.clear();
        const QUuid id = QUuid::createUuid();
        tracker.resolved(instance(c.instanceName, id, c.nm, 2, 0));
        tracker.resolved(instance(c.instanceName, id, c.nm, 2, 1)); // the same phone over IPv6
        ASSERT_EQ(found.size(), 1);
        EXPECT_EQ(found[0].displayName(), c.shownName);
        EXPECT_EQ(found[0].id(), id);
        tracker.removed(c.instanceName, 2, 0);
        EXPECT_TRUE(lost.isEmpty()) << "still seen on the other protocol";
        tracker.removed(c.instanceName, 2, 1);
        ASSERT_EQ(lost.size(), 1);
        EXPECT_EQ(lost[0].displayName(), found[0].displayName());
        EXPECT_EQ(lost[0].id(), id);
    }
}

TEST_F(DnsSdPeerTrackerTest, ForeignAndUnknownInstancesAreIgnored)
{
    ostrel::DnsSdService printer = instance(QStringLiteral("printer"), QUuid::createUuid(), "printer");
    printer.txt.remove("id");
    tracker.resolved(printer);
    tracker.removed(QStringLiteral("printer"), 2, 0);
    tracker.removed(QStringLiteral("never seen"), 2, 0);
    EXPECT_TRUE(found.isEmpty());
    EXPECT_TRUE(lost.isEmpty());

    // Found again after it was lost: a second pair of events.
    const QUuid id = QUuid::createUuid();
    for (int round = 0; round < 2; ++round) {
        tracker.resolved(instance(QStringLiteral("twin #2"), id, "twin"));
        tracker.removed(QStringLiteral("twin #2"), 2, 0);
    }
    EXPECT_EQ(found.size(), 2);
    EXPECT_EQ(lost.size(), 2);
}

} // namespace
} // namespace tovarine
