// Machines that publish many records of the mesh's service, each pointing at a model server that answers the
// tag-list probe with an endless body as fast as loopback allows: the node's memory does not grow with the
// number of records, and each machine ends as one entry. A binary of its own, so the peak memory it
// measures is not raised by other tests.
#include "FloodServer.h"
#include "HangCeiling.h"
#include "QuorvantileDiscovery.h"
#include "QuorvantilePeerText.h"
#include "TestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace ostrel;
using tovarine::test::FloodServer;

namespace {

const QUuid kSelf = QUuid::fromString(QStringLiteral("{11111111-1111-4111-8111-111111111111}"));

// A DNS-SD backend whose events the test sends by hand.
class HandBackend : public QuorvantileServiceBackend
{
public:
    void publish(const QString&, quint16, const QMap<QByteArray, QByteArray>&) override {}
    void updateTxt(const QMap<QByteArray, QByteArray>&) override {}
    void startBrowsing() override {}
};

// One machine: the listener its records point at, and its flooding model server.
struct FloodingMachine
{
    FloodingMachine(const QByteArray& address, quint16 modelPort)
        : flood(FloodServer::Body::shortLines, address.constData(), modelPort)
    {
        listener.listen(QHostAddress(QString::fromLatin1(address)), 0);
    }
    FloodServer flood;
    QTcpServer listener;
};

// Descriptors this process has open.
int openDescriptors()
{
    return static_cast<int>(
        QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System).size());
}

// A discovery of this machine, started, whose hand-driven backend `backend` is set to.
std::unique_ptr<QuorvantileDiscovery> startDiscovery(const QuorvantileDiscovery::Options& options,
                                                     HandBackend*& backend)
{
    auto discovery = std::make_unique<QuorvantileDiscovery>(
        kSelf,
        [&backend] {
            auto made = std::make_unique<HandBackend>();
            backend = made.get();
            return made;
        },
        options);
    discovery->start(QuorvantileManifest(kSelf, QStringLiteral("self"), QuorvantilePlatform::linux, {},
                                         QStringLiteral("http://localhost:11434"), 8, 16384, std::nullopt,
                                         std::nullopt, false, 0.0));
    return discovery;
}

// A listener at `address` that never accepts and whose queue is full: connections to it never complete.
struct NeverAccepting
{
    explicit NeverAccepting(const char* address)
    {
        sockaddr_in where{};
        where.sin_family = AF_INET;
        ::inet_pton(AF_INET, address, &where.sin_addr);
        ok = ::bind(fd, reinterpret_cast<sockaddr*>(&where), sizeof(where)) == 0 && ::listen(fd, 0) == 0;
        socklen_t length = sizeof(where);
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&where), &length);
        port = ntohs(where.sin_port);
        ::connect(filler, reinterpret_cast<sockaddr*>(&where), sizeof(where)); // takes the one place
    }
    ~NeverAccepting()
    {
        ::close(filler);
        ::close(fd);
    }
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int filler = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    quint16 port = 0;
    bool ok = false;
};

// A machine at `address` whose listener accepts the short connection and whose model server (on `modelPort`,
// 0 for any) lists one model, or, when `silent`, accepts the probe and never answers.
struct Machine
{
    Machine(const QString& address, quint16 modelPort, bool silent)
    {
        listener.listen(QHostAddress(address), 0);
        model.listen(QHostAddress(address), modelPort);
        QObject::connect(&model, &QTcpServer::newConnection, &model, [this, silent] {
            while (QTcpSocket* socket = model.nextPendingConnection()) {
                if (silent) {
                    continue;
                }
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket] {
                    if (socket->readAll().contains("\r\n\r\n")) {
                        const QByteArray body = R"({"models":[{"name":"llama3.1:8b"}]})";
                        socket->write(
                            "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(body.size()) +
                            "\r\nConnection: close\r\n\r\n" + body);
                        socket->disconnectFromHost();
                    }
                });
            }
        });
    }
    bool listening() const { return listener.isListening() && model.isListening(); }
    QuorvantileServiceResult record(const QUuid& id, const QByteArray& name) const
    {
        return {quorvantileUuidText(id), QMap<QByteArray, QByteArray>{{"nm", name}}, listener.serverAddress(),
                listener.serverPort()};
    }
    QTcpServer listener;
    QTcpServer model;
};

// Milliseconds until `id` is in the table, or -1 when it is not there within `limitMs`.
qint64 msUntilListed(const QuorvantileDiscovery& discovery, const QUuid& id, int limitMs)
{
    QElapsedTimer clock;
    clock.start();
    const bool listed = QTest::qWaitFor([&] { return discovery.discoveredNodes().contains(id); }, limitMs);
    return listed ? clock.elapsed() : -1;
}

} // namespace

TEST(QuorvantileDiscoveryFlood, ManyRecordsOfFewMachinesCostLittleAndEndAsOneEntryEach)
{
    constexpr int kMachines = 4;
    constexpr int kRecordsPerMachine = 8;
    // Far above what a few capped probes take, far below what one probe per record took (some 450 MiB).
    constexpr qint64 kMaxGrowthBytes = 96LL * 1024 * 1024;

    std::vector<std::unique_ptr<FloodingMachine>> machines;
    quint16 modelPort = 0; // every machine's model server listens on the same port, as in the mesh
    for (int i = 0; i < kMachines; ++i) {
        machines.push_back(
            std::make_unique<FloodingMachine>("127.0.0." + QByteArray::number(3 + i), modelPort));
        ASSERT_TRUE(machines.back()->flood.listening() && machines.back()->listener.isListening());
        modelPort = machines.back()->flood.port();
    }
    HandBackend* backend = nullptr;
    QuorvantileDiscovery::Options options;
    options.modelServerPort = modelPort;
    options.probeTimeoutMs = 600000; // the probe's time limit is not what ends it
    const auto discovery = startDiscovery(options, backend);

    const qint64 peakBefore = tovarine::test::peakResidentBytes();
    for (int record = 0; record < kRecordsPerMachine; ++record) {
        for (const auto& machine : machines) {
            emit backend->serviceAdded({quorvantileUuidText(QUuid::createUuid()),
                                        QMap<QByteArray, QByteArray>{{"nm", "flood"}},
                                        machine->listener.serverAddress(), machine->listener.serverPort()});
        }
    }
    QTRY_VERIFY_WITH_TIMEOUT(discovery->pendingConnectionCount() == 0, tovarine::test::kHangCeilingMs);

    const qint64 growth = tovarine::test::peakResidentBytes() - peakBefore;
    qint64 sent = 0;
    for (const auto& machine : machines) {
        sent += machine->flood.bytesSent();
        EXPECT_EQ(machine->flood.requests(), 1) << machine->listener.serverAddress().toString().toStdString();
    }
    EXPECT_LT(growth, kMaxGrowthBytes)
        << "peak grew by " << growth / 1048576 << " MiB while the machines sent " << sent / 1048576 << " MiB";
    const QList<QuorvantileNode> nodes = discovery->activeRemoteNodes();
    EXPECT_EQ(nodes.size(), kMachines);
    for (const QuorvantileNode& node : nodes) {
        EXPECT_TRUE(node.manifest().ollamaModels().isEmpty()) << node.host().toStdString();
    }
}

// The short connection to a record's address only tells the peer's address: whatever the peer writes on it
// is never taken in, however long the probe of its model server runs.
TEST(QuorvantileDiscoveryFlood, APeerWritingOnTheShortConnectionCostsLittle)
{
    constexpr qint64 kMaxGrowthBytes = 32LL * 1024 * 1024; // the fault took in some 100 MiB a second
    FloodServer listener(FloodServer::Body::unasked, "127.0.0.3");
    QTcpServer silentModelServer; // accepts the probe and never answers: the probe runs to its limit
    ASSERT_TRUE(listener.listening() &&
                silentModelServer.listen(QHostAddress(QStringLiteral("127.0.0.3")), 0));
    HandBackend* backend = nullptr;
    QuorvantileDiscovery::Options options;
    options.modelServerPort = silentModelServer.serverPort();
    options.probeTimeoutMs = 2000;
    const auto discovery = startDiscovery(options, backend);
    const qint64 peakBefore = tovarine::test::peakResidentBytes();
    const QUuid peer = QUuid::createUuid();
    emit backend->serviceAdded({quorvantileUuidText(peer), std::nullopt,
                                QHostAddress(QStringLiteral("127.0.0.3")), listener.port()});
    QTRY_VERIFY_WITH_TIMEOUT(discovery->discoveredNodes().contains(peer), tovarine::test::kHangCeilingMs);
    const qint64 growth = tovarine::test::peakResidentBytes() - peakBefore;
    EXPECT_LT(growth, kMaxGrowthBytes) << "peak grew by " << growth / 1048576 << " MiB while the peer wrote "
                                       << listener.bytesSent() / 1048576 << " MiB";
    EXPECT_TRUE(discovery->discoveredNodes().constFind(peer)->manifest().ollamaModels().isEmpty());
}

// Records at an address whose connections never complete (a listener that never accepts, its queue full):
// however many there are, only a few connections are being opened at once; the others wait their turn, and
// every record is still being resolved until stop() ends them all.
TEST(QuorvantileDiscoveryFlood, RecordsWhoseConnectionsNeverCompleteHoldFewDescriptors)
{
    constexpr int kRecords = 200;
    const int listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in where{};
    where.sin_family = AF_INET;
    ::inet_pton(AF_INET, "127.0.0.4", &where.sin_addr);
    ASSERT_EQ(::bind(listenFd, reinterpret_cast<sockaddr*>(&where), sizeof(where)), 0);
    ASSERT_EQ(::listen(listenFd, 0), 0);
    socklen_t length = sizeof(where);
    ::getsockname(listenFd, reinterpret_cast<sockaddr*>(&where), &length);
    const quint16 port = ntohs(where.sin_port);

    HandBackend* backend = nullptr;
    QuorvantileDiscovery::Options options;
    const auto discovery = startDiscovery(options, backend);
    const int before = openDescriptors();
    for (int record = 0; record < kRecords; ++record) {
        emit backend->serviceAdded({quorvantileUuidText(QUuid::createUuid()), std::nullopt,
                                    QHostAddress(QStringLiteral("127.0.0.4")), port});
    }
    QCoreApplication::processEvents();
    EXPECT_LE(openDescriptors() - before, options.maxConnectsInFlight + 4);
    EXPECT_EQ(discovery->pendingConnectionCount(), kRecords);
    // One record that changes without pause keeps one resolve of its own, not one per change.
    const QuorvantileServiceResult changing{quorvantileUuidText(QUuid::createUuid()), std::nullopt,
                                            QHostAddress(QStringLiteral("127.0.0.4")), port};
    for (int change = 0; change < 500; ++change) {
        emit backend->serviceChanged(changing);
    }
    EXPECT_EQ(discovery->pendingConnectionCount(), kRecords + 1);
    discovery->stop();
    EXPECT_EQ(discovery->pendingConnectionCount(), 0);
    ::close(listenFd);
}

// One machine publishes many records, each of which holds a step of a resolve for as long as the peer lets
// it; an honest machine that publishes after them is listed within a few seconds all the same: the step's
// places are shared between the machines, and a step that outlasts what a LAN needs gives its place up.
TEST(QuorvantileDiscoveryFlood, AnHonestMachineIsNotHeldBackByAnotherMachinesRecords)
{
    // Far above what the honest machine takes alone (well under a second), below what serving the records
    // first in, first out with the places held to the system's or the probe's whole time takes (minutes;
    // 62 s), and below first in, first out with the short limits but the old numbers of places (25 s; 12.5
    // s).
    constexpr int kLimitMs = 12000;
    {
        SCOPED_TRACE("connections that never complete");
        NeverAccepting blackhole("127.0.0.4");
        Machine honest(QStringLiteral("127.0.0.5"), 0, false);
        ASSERT_TRUE(blackhole.ok && honest.listening());
        HandBackend* backend = nullptr;
        QuorvantileDiscovery::Options options;
        options.modelServerPort = honest.model.serverPort();
        const auto discovery = startDiscovery(options, backend);
        for (int record = 0; record < 400; ++record) {
            emit backend->serviceAdded({quorvantileUuidText(QUuid::createUuid()), std::nullopt,
                                        QHostAddress(QStringLiteral("127.0.0.4")), blackhole.port});
        }
        const QUuid peer = QUuid::createUuid();
        emit backend->serviceAdded(honest.record(peer, "honest"));
        const qint64 ms = msUntilListed(*discovery, peer, kLimitMs);
        std::printf("honest machine listed after %lld ms behind 400 connections that never complete\n",
                    static_cast<long long>(ms));
        EXPECT_GE(ms, 0);
        // Its model list: at once, or, where a loaded machine kept the first answer past its limit, from the
        // second probe that follows the placeholder.
        const auto models = [&] {
            const auto node = discovery->discoveredNodes().constFind(peer);
            return node == discovery->discoveredNodes().cend() ? QStringList()
                                                               : node->manifest().ollamaModels();
        };
        QTRY_COMPARE_WITH_TIMEOUT(models(), QStringList{"llama3.1:8b"}, kLimitMs);
    }
    {
        SCOPED_TRACE("a model server per address that never answers");
        std::vector<std::unique_ptr<Machine>> silent;
        quint16 modelPort = 0;
        for (int i = 0; i < 100; ++i) {
            silent.push_back(
                std::make_unique<Machine>(QStringLiteral("127.0.1.%1").arg(10 + i), modelPort, true));
            ASSERT_TRUE(silent.back()->listening()) << i;
            modelPort = silent.back()->model.serverPort();
        }
        Machine honest(QStringLiteral("127.0.0.5"), modelPort, false);
        ASSERT_TRUE(honest.listening());
        HandBackend* backend = nullptr;
        QuorvantileDiscovery::Options options;
        options.modelServerPort = modelPort;
        const auto discovery = startDiscovery(options, backend);
        for (const auto& machine : silent) {
            emit backend->serviceAdded(machine->record(QUuid::createUuid(), "silent"));
        }
        const QUuid peer = QUuid::createUuid();
        emit backend->serviceAdded(honest.record(peer, "honest"));
        const qint64 ms = msUntilListed(*discovery, peer, kLimitMs);
        std::printf("honest machine listed after %lld ms behind 100 silent model servers\n",
                    static_cast<long long>(ms));
        EXPECT_GE(ms, 0);
        // The silent ones are listed with their placeholders meanwhile, and asked again later.
        QTRY_COMPARE_WITH_TIMEOUT(discovery->activeRemoteNodes().size(), 101, kLimitMs);
    }
}

// A machine that keeps inventing record names, each of which goes away: nothing is kept per name.
TEST(QuorvantileDiscoveryFlood, NamesThatWentAwayAreNotKept)
{
    constexpr int kNames = 1000000;
    constexpr qint64 kMaxGrowthBytes = 24LL * 1024 * 1024; // one entry per name took some 120 MiB
    HandBackend* backend = nullptr;
    const auto discovery = startDiscovery({}, backend);
    const qint64 peakBefore = tovarine::test::peakResidentBytes();
    for (int i = 0; i < kNames; ++i) {
        emit backend->serviceRemoved(QStringLiteral("gone-%1").arg(i));
    }
    const qint64 growth = tovarine::test::peakResidentBytes() - peakBefore;
    EXPECT_LT(growth, kMaxGrowthBytes) << "peak grew by " << growth / 1048576 << " MiB";
}
