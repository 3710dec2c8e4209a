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
#include <QTcpServer>
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
