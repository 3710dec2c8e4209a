#include "QuorvantileDiscovery.h"

#include "FloodServer.h"
#include "HangCeiling.h"
#include "QuorvantileLocalServiceBus.h"
#include "QuorvantilePeerText.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <gtest/gtest.h>

using namespace ostrel;

namespace {

const QUuid kSelf = QUuid::fromString(QStringLiteral("{11111111-1111-4111-8111-111111111111}"));
const QUuid kPeer = QUuid::fromString(QStringLiteral("{22222222-2222-4222-8222-222222222222}"));
const QUuid kOther = QUuid::fromString(QStringLiteral("{33333333-3333-4333-8333-333333333333}"));
const QHostAddress kSelfAddress(QStringLiteral("127.0.0.2"));
const QHostAddress kPeerAddress(QStringLiteral("127.0.0.3"));

QuorvantileManifest manifestFor(const QUuid& id, const QString& name)
{
    return QuorvantileManifest(id, name, QuorvantilePlatform::linux, {QStringLiteral("llama3.1:8b")},
                               QStringLiteral("http://localhost:11434"), 8, 16384, std::nullopt, std::nullopt,
                               false, 0.0);
}

// A DNS-SD backend whose events the test sends by hand.
class ScriptedBackend : public QuorvantileServiceBackend
{
public:
    void publish(const QString& name, quint16 port, const QMap<QByteArray, QByteArray>& txt) override
    {
        published = name;
        publishedPort = port;
        lastTxt = txt;
    }
    void updateTxt(const QMap<QByteArray, QByteArray>& txt) override
    {
        ++txtUpdates;
        lastTxt = txt;
    }
    void startBrowsing() override {}

    QString published;
    quint16 publishedPort = 0;
    QMap<QByteArray, QByteArray> lastTxt;
    int txtUpdates = 0;
};

// A peer's listener (for the short connection) and its model server on a loopback address of its own. The
// model server accepts connections and, unless told to answer, never replies, so a probe stays in flight.
struct FakePeer
{
    explicit FakePeer(const QHostAddress& address, quint16 modelPort = 0)
    {
        listener.listen(address, 0);
        model.listen(address, modelPort);
        QObject::connect(&model, &QTcpServer::newConnection, &model, [this] {
            while (QTcpSocket* socket = model.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    if (socket->readAll().contains("\r\n\r\n") && !tagReply.isEmpty()) {
                        socket->write(
                            "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
                            QByteArray::number(tagReply.size()) + "\r\nConnection: close\r\n\r\n" + tagReply);
                        socket->disconnectFromHost();
                    }
                });
            }
        });
    }
    QuorvantileServiceResult result(const QUuid& id, const QMap<QByteArray, QByteArray>& txt) const
    {
        return {quorvantileUuidText(id), txt, listener.serverAddress(), listener.serverPort()};
    }
    QTcpServer listener;
    QTcpServer model;
    QByteArray tagReply;
};

struct ScriptedDiscovery
{
    explicit ScriptedDiscovery(quint16 modelPort, int probeTimeoutMs = 3000)
        : discovery(kSelf,
                    [this] {
                        auto made = std::make_unique<ScriptedBackend>();
                        backend = made.get();
                        return made;
                    },
                    {modelPort, 60000, probeTimeoutMs, 2000})
    {
        discovery.start(manifestFor(kSelf, QStringLiteral("self")));
    }
    bool settled() const { return discovery.pendingConnectionCount() == 0; }

    ScriptedBackend* backend = nullptr;
    QuorvantileDiscovery discovery;
};

// The entry under `id`; the test has checked that it exists.
const QuorvantileNode& entry(const QuorvantileDiscovery& discovery, const QUuid& id)
{
    return discovery.discoveredNodes().constFind(id).value();
}

QString nameOf(const QuorvantileDiscovery& discovery, const QUuid& id)
{
    const auto it = discovery.discoveredNodes().constFind(id);
    return it == discovery.discoveredNodes().cend() ? QString() : it->manifest().nodeName();
}

} // namespace

TEST(QuorvantileDiscovery, TwoMachinesOnOneBusFindThemselvesAndEachOther)
{
    QuorvantileLocalServiceBus bus;
    FakePeer serverB(kPeerAddress);
    serverB.tagReply = R"({"models":[{"name":"qwen2.5:7b"},{"name":"llama3.1:70b"}]})";
    const quint16 modelPort = serverB.model.serverPort();
    const QuorvantileDiscovery::Options options{modelPort, 60000, 3000, 2000};
    QuorvantileDiscovery a(
        kSelf, [&] { return bus.makeBackend(kSelfAddress); }, options);
    QuorvantileDiscovery b(
        kPeer, [&] { return bus.makeBackend(kPeerAddress); }, options);
    const auto manifestA = manifestFor(kSelf, QStringLiteral("alpha"));
    a.start(manifestA);
    b.start(manifestFor(kPeer, QStringLiteral("beta")));
    QTRY_COMPARE_WITH_TIMEOUT(a.discoveredNodes().size(), 2, tovarine::test::kHangCeilingMs);
    EXPECT_TRUE(a.isAdvertising());
    EXPECT_TRUE(a.isBrowsing());

    const QuorvantileNode self = entry(a, kSelf);
    EXPECT_TRUE(self.isLocal());
    EXPECT_EQ(self.host(), "localhost");
    EXPECT_EQ(self.port(), modelPort);
    EXPECT_EQ(self.manifest().toJson(), manifestA.toJson()); // as given to start(), not rebuilt from the TXT

    const QuorvantileNode peer = entry(a, kPeer);
    EXPECT_FALSE(peer.isLocal());
    EXPECT_EQ(peer.host(), "127.0.0.3");
    EXPECT_EQ(peer.manifest().nodeName(), "beta");
    EXPECT_EQ(peer.manifest().ollamaModels(), QStringList({"qwen2.5:7b", "llama3.1:70b"}));
    EXPECT_EQ(peer.manifest().ollamaBaseURL(), QStringLiteral("http://127.0.0.3:%1").arg(modelPort));
    // Only the name is read from a peer's record; the rest are placeholders.
    EXPECT_EQ(peer.manifest().platform(), QuorvantilePlatform::linux);
    EXPECT_EQ(peer.manifest().cpuCores(), 0);
    EXPECT_EQ(a.activeRemoteNodes().size(), 1);

    // A TXT change reaches the table as a fresh resolve.
    b.stop();
    b.start(manifestFor(kPeer, QStringLiteral("beta renamed")));
    QTRY_COMPARE_WITH_TIMEOUT(nameOf(a, kPeer), QStringLiteral("beta renamed"),
                              tovarine::test::kHangCeilingMs);

    // stop() keeps the table and lowers both flags.
    a.stop();
    EXPECT_FALSE(a.isAdvertising());
    EXPECT_FALSE(a.isBrowsing());
    EXPECT_EQ(a.activeNodes().size(), 2);
}

TEST(QuorvantileDiscovery, PeerWithoutModelServerOrNameKeepsItsPlaceholder)
{
    FakePeer peer(kPeerAddress);
    const quint16 closedPort = peer.model.serverPort();
    peer.model.close(); // nothing answers the probe
    ScriptedDiscovery d(closedPort);
    emit d.backend->serviceAdded(peer.result(kPeer, {{"id", "x"}}));
    QTRY_VERIFY_WITH_TIMEOUT(d.discovery.discoveredNodes().contains(kPeer), tovarine::test::kHangCeilingMs);
    const QuorvantileManifest m = entry(d.discovery, kPeer).manifest();
    EXPECT_EQ(m.nodeName(), "127.0.0.3");
    EXPECT_TRUE(m.ollamaModels().isEmpty());
    EXPECT_EQ(m.ollamaBaseURL(), QStringLiteral("http://127.0.0.3:%1").arg(closedPort));
    EXPECT_TRUE(d.settled());
}

TEST(QuorvantileDiscovery, InstancesThatAreNotNodesOrRepeatAHostStoreNothing)
{
    FakePeer peer(kPeerAddress);
    peer.tagReply = R"({"models":[]})";
    ScriptedDiscovery d(peer.model.serverPort());
    emit d.backend->serviceAdded(
        {QStringLiteral("studio"), std::nullopt, peer.listener.serverAddress(), peer.listener.serverPort()});
    QTRY_VERIFY_WITH_TIMEOUT(d.settled(), tovarine::test::kHangCeilingMs);
    EXPECT_TRUE(d.discovery.discoveredNodes().isEmpty());

    emit d.backend->serviceAdded(peer.result(kPeer, {{"nm", "first"}}));
    QTRY_VERIFY_WITH_TIMEOUT(d.discovery.discoveredNodes().contains(kPeer), tovarine::test::kHangCeilingMs);
    // Same machine under another UUID: skipped while the first entry exists.
    emit d.backend->serviceAdded(peer.result(kOther, {{"nm", "second"}}));
    QTRY_VERIFY_WITH_TIMEOUT(d.settled(), tovarine::test::kHangCeilingMs);
    EXPECT_FALSE(d.discovery.discoveredNodes().contains(kOther));
    // A second added event for a known UUID is ignored, even with another TXT record.
    emit d.backend->serviceAdded(peer.result(kPeer, {{"nm", "renamed"}}));
    QTest::qWait(50);
    EXPECT_EQ(nameOf(d.discovery, kPeer), "first");
    // A changed event removes the entry at once and resolves it again.
    emit d.backend->serviceChanged(peer.result(kPeer, {{"nm", "renamed"}}));
    EXPECT_FALSE(d.discovery.discoveredNodes().contains(kPeer));
    QTRY_COMPARE_WITH_TIMEOUT(nameOf(d.discovery, kPeer), QStringLiteral("renamed"),
                              tovarine::test::kHangCeilingMs);
}

TEST(QuorvantileDiscovery, MachineLeavingDuringItsProbeOrAfterStopDoesNotComeBack)
{
    FakePeer peer(kPeerAddress); // its model server never answers
    {
        ScriptedDiscovery d(peer.model.serverPort());
        emit d.backend->serviceAdded(peer.result(kPeer, {{"nm", "slow"}}));
        QTRY_VERIFY_WITH_TIMEOUT(peer.model.hasPendingConnections() ||
                                     !peer.model.findChildren<QTcpSocket*>().isEmpty(),
                                 tovarine::test::kHangCeilingMs);
        emit d.backend->serviceRemoved(quorvantileUuidText(kPeer));
        QTRY_VERIFY_WITH_TIMEOUT(d.settled(), tovarine::test::kHangCeilingMs);
        EXPECT_FALSE(d.discovery.discoveredNodes().contains(kPeer));
    }
    {
        ScriptedDiscovery d(peer.model.serverPort(), 300);
        emit d.backend->serviceAdded(peer.result(kPeer, {{"nm", "slow"}}));
        QTRY_VERIFY_WITH_TIMEOUT(d.discovery.pendingConnectionCount() == 1 &&
                                     peer.model.findChildren<QTcpSocket*>().size() >= 2,
                                 tovarine::test::kHangCeilingMs);
        d.discovery.stop();
        EXPECT_TRUE(d.settled());
        QTest::qWait(600); // past the probe's time limit
        EXPECT_FALSE(d.discovery.discoveredNodes().contains(kPeer));
    }
}

// A machine that merely publishes the service and answers the tag-list probe with an endless body, as fast
// as loopback allows, cannot grow this process: the probe fails at the reply cap after one request and the
// peer is stored with its placeholder (no models).
TEST(QuorvantileDiscovery, AProbeAnsweredWithAnEndlessBodyStaysWithinTheReplyCap)
{
    constexpr qint64 kMaxGrowthBytes = 200LL * 1024 * 1024; // the fault reached gigabytes
    for (const auto body :
         {tovarine::test::FloodServer::Body::oneLine, tovarine::test::FloodServer::Body::shortLines}) {
        tovarine::test::FloodServer flood(body, "127.0.0.3");
        ASSERT_TRUE(flood.listening());
        FakePeer peer(kPeerAddress);
        const qint64 peakBefore = tovarine::test::peakResidentBytes();
        ScriptedDiscovery d(flood.port(), 600000); // the probe's time limit is not what ends it
        emit d.backend->serviceAdded(peer.result(kPeer, {{"nm", "flood"}}));
        QTRY_VERIFY_WITH_TIMEOUT(d.settled() && d.discovery.discoveredNodes().contains(kPeer),
                                 tovarine::test::kHangCeilingMs);
        EXPECT_TRUE(entry(d.discovery, kPeer).manifest().ollamaModels().isEmpty());
        EXPECT_EQ(flood.requests(), 1);
        const qint64 growth = tovarine::test::peakResidentBytes() - peakBefore;
        EXPECT_LT(growth, kMaxGrowthBytes)
            << "peak grew by " << growth / 1048576 << " MiB while the peer sent "
            << flood.bytesSent() / 1048576 << " MiB";
    }
}

TEST(QuorvantileDiscovery, UntrustedNamesAreCleanedOrIgnored)
{
    FakePeer peer(kPeerAddress);
    peer.tagReply = R"({"models":[{"name":"ok:1"}]})";
    ScriptedDiscovery d(peer.model.serverPort());
    emit d.backend->serviceAdded(peer.result(kPeer, {{"nm", QByteArray(250, 'n') + "\x07"}}));
    QTRY_VERIFY_WITH_TIMEOUT(d.discovery.discoveredNodes().contains(kPeer), tovarine::test::kHangCeilingMs);
    EXPECT_EQ(entry(d.discovery, kPeer).manifest().nodeName(),
              QString(QuorvantilePeerText::kMaxNodeNameChars, 'n'));

    FakePeer other(QHostAddress(QStringLiteral("127.0.0.4")), peer.model.serverPort());
    emit d.backend->serviceAdded(other.result(kOther, {{"nm", "\xff\xfe\xfd"}}));
    QTRY_VERIFY_WITH_TIMEOUT(d.discovery.discoveredNodes().contains(kOther), tovarine::test::kHangCeilingMs);
    EXPECT_EQ(entry(d.discovery, kOther).manifest().nodeName(), "127.0.0.4");
}

TEST(QuorvantileDiscovery, AdvertisesItsRecordAndHeartbeatRepublishesIt)
{
    QuorvantileDiscovery::Options options;
    options.heartbeatMs = 50;
    options.incomingHoldMs = 200;
    ScriptedBackend* backend = nullptr;
    QuorvantileDiscovery discovery(
        kSelf,
        [&] {
            auto made = std::make_unique<ScriptedBackend>();
            backend = made.get();
            return made;
        },
        options);
    discovery.start(manifestFor(kSelf, QStringLiteral("self")));
    EXPECT_EQ(backend->published, "11111111-1111-4111-8111-111111111111");
    EXPECT_EQ(backend->lastTxt.value("nm"), "self");
    EXPECT_EQ(backend->lastTxt.size(), 11);
    QTRY_VERIFY_WITH_TIMEOUT(backend->txtUpdates >= 2, tovarine::test::kHangCeilingMs);

    // An incoming connection is closed after the hold time without a byte.
    QTcpSocket probe;
    probe.connectToHost(QHostAddress::LocalHost, backend->publishedPort);
    ASSERT_TRUE(probe.waitForConnected(tovarine::test::kHangCeilingMs));
    QElapsedTimer held;
    held.start();
    QTRY_COMPARE_WITH_TIMEOUT(probe.state(), QAbstractSocket::UnconnectedState,
                              tovarine::test::kHangCeilingMs);
    EXPECT_GE(held.elapsed(), 150);
    EXPECT_EQ(probe.bytesAvailable(), 0);
}

namespace {

int openFileDescriptors()
{
    return static_cast<int>(
        QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size());
}

} // namespace

// Peers connect to the listener only to learn this machine's address. A flood of connections beyond the cap
// is closed as it comes, so the process keeps its file descriptors; the first ones are held as before.
TEST(QuorvantileDiscovery, AConnectFloodIsClosedBeyondTheCap)
{
    QuorvantileDiscoveryOptions options;
    options.incomingHoldMs = 600000; // held for the whole test unless the cap closes them
    options.maxIncomingConnections = 16;
    ScriptedBackend* backend = nullptr;
    QuorvantileDiscovery d(
        kSelf,
        [&backend] {
            auto made = std::make_unique<ScriptedBackend>();
            backend = made.get();
            return made;
        },
        options);
    d.start(manifestFor(kSelf, QStringLiteral("self")));
    ASSERT_NE(backend, nullptr);
    ASSERT_NE(backend->publishedPort, 0);

    const int before = openFileDescriptors();
    constexpr int kFlood = 200;
    std::vector<std::unique_ptr<QTcpSocket>> flood;
    int closedByListener = 0;
    for (int i = 0; i < kFlood; ++i) {
        auto socket = std::make_unique<QTcpSocket>();
        QObject::connect(socket.get(), &QTcpSocket::disconnected,
                         [&closedByListener] { ++closedByListener; });
        socket->connectToHost(QHostAddress::LocalHost, backend->publishedPort);
        // One at a time, with the event loop running: the listener's accept queue never overflows.
        QTRY_VERIFY_WITH_TIMEOUT(socket->state() != QAbstractSocket::ConnectingState &&
                                     socket->state() != QAbstractSocket::HostLookupState,
                                 tovarine::test::kHangCeilingMs);
        flood.push_back(std::move(socket));
    }
    QTRY_COMPARE_WITH_TIMEOUT(closedByListener, kFlood - options.maxIncomingConnections,
                              tovarine::test::kHangCeilingMs);
    // Our flood's open ends and the listener's held ones, and no more (a little room for the event loop).
    const int after = openFileDescriptors();
    std::printf("fds: %d before the flood, %d with %d connects (cap %d)\n", before, after, kFlood,
                options.maxIncomingConnections);
    std::fflush(stdout);
    EXPECT_LE(after - before, 2 * options.maxIncomingConnections + 8);
    int stillOpen = 0;
    for (const auto& socket : flood) {
        stillOpen += socket->state() == QAbstractSocket::ConnectedState ? 1 : 0;
    }
    EXPECT_EQ(stillOpen, options.maxIncomingConnections);
}

// A peer reachable only at a link-local IPv6 address: its zone (the interface) stays with its host, so its
// model server is reached and the peer is listed with its models. The address is made up on the loopback
// interface of a private network namespace, where this test binary runs the inner test below.
TEST(QuorvantileDiscovery, ALinkLocalPeerKeepsItsZoneAndIsReached)
{
    const auto run = tovarine::test::runInNamespaces(
        {QStringLiteral("--net")}, QStringLiteral("ip link set lo up && ip addr add fe80::1/64 dev lo nodad"),
        QStringLiteral("QuorvantileDiscoveryInner.*"), QStringLiteral("QUORVANTILE_LINK_LOCAL"));
    if (!run) {
        GTEST_SKIP() << "no private network namespace here";
    }
    EXPECT_TRUE(run->passed) << run->output.constData();
    EXPECT_TRUE(run->output.contains("[  PASSED  ] 1 test")) << run->output.constData();
}

TEST(QuorvantileDiscoveryInner, LinkLocalPeer)
{
    if (qEnvironmentVariableIsEmpty("QUORVANTILE_LINK_LOCAL")) {
        GTEST_SKIP() << "runs inside ALinkLocalPeerKeepsItsZoneAndIsReached";
    }
    QHostAddress linkLocal(QStringLiteral("fe80::1"));
    linkLocal.setScopeId(QStringLiteral("lo"));
    FakePeer peer(linkLocal);
    ASSERT_TRUE(peer.listener.isListening()) << peer.listener.errorString().toStdString();
    ASSERT_TRUE(peer.model.isListening()) << peer.model.errorString().toStdString();
    peer.tagReply = R"({"models":[{"name":"llama3.1:8b"}]})";
    ScriptedDiscovery d(peer.model.serverPort(), 60000);
    emit d.backend->serviceAdded(peer.result(kPeer, {{"nm", "beta"}}));
    QTRY_VERIFY_WITH_TIMEOUT(d.discovery.discoveredNodes().contains(kPeer) && d.settled(),
                             tovarine::test::kHangCeilingMs);
    const QuorvantileNode node = entry(d.discovery, kPeer);
    EXPECT_TRUE(node.host().startsWith("fe80::1%")) << node.host().toStdString();
    EXPECT_EQ(node.manifest().ollamaModels(), QStringList{"llama3.1:8b"});
}
