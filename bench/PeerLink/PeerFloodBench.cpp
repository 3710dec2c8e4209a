// A timed command: a connected peer floods the receiving side of the TCP+TLS transport with pings on
// loopback, reading every pong, for S seconds (default 5).
//   peerlink_flood_bench [--seconds S]
// Prints the share of one core the receiving transport's thread spent meanwhile, and the pings it answered.
#include "PeerDiscovery.h"
#include "PeerFrame.h"
#include "TcpPeerTransport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSslSocket>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <cstdio>
#include <ctime>

using namespace tovarine;

namespace {

// CPU time of the calling thread, in seconds.
double threadCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// The flooding peer: advertises, accepts the invitation under its own identity, then sends pings.
class Flooder : public QTcpServer
{
public:
    explicit Flooder(PeerDiscovery& discovery)
    {
        m_identity = *TlsIdentity::create();
        listen(QHostAddress::LocalHost, 0);
        m_published =
            discovery.publish(QStringLiteral("tovarine-pair"), self, serverPort(), [](const PeerError&) {});
    }

    const PeerIdentity self{QStringLiteral("flooder")};
    QSslSocket* socket = nullptr;
    qint64 pongs = 0;

    void flood(qint64 untilMs, const QElapsedTimer& clock)
    {
        static const QByteArray pings = PeerFrame::encode(PeerFrame::Type::ping).repeated(64 * 1024 / 5);
        const auto topUp = [this, untilMs, &clock] {
            while (clock.elapsed() < untilMs && socket->state() == QAbstractSocket::ConnectedState &&
                   socket->bytesToWrite() + socket->encryptedBytesToWrite() < 1024 * 1024) {
                socket->write(pings);
            }
        };
        QObject::connect(socket, &QSslSocket::encryptedBytesWritten, this, topUp);
        topUp();
    }

protected:
    void incomingConnection(qintptr descriptor) override
    {
        socket = new QSslSocket(this);
        socket->setSocketDescriptor(descriptor);
        QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
        configuration.setLocalCertificate(m_identity.certificate);
        configuration.setPrivateKey(m_identity.key);
        configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
        socket->setSslConfiguration(configuration);
        QObject::connect(socket, &QSslSocket::readyRead, this, [this] {
            m_reader.append(socket->readAll());
            while (auto frame = m_reader.next()) {
                if (!*frame) {
                    return;
                }
                if (frame->value().type == PeerFrame::Type::hello) {
                    socket->write(
                        PeerFrame::encode(PeerFrame::Type::accept,
                                          PeerFrame::helloBody({self.id().toString(QUuid::WithoutBraces),
                                                                self.displayName()})));
                } else if (frame->value().type == PeerFrame::Type::pong) {
                    ++pongs;
                }
            }
        });
        socket->startServerEncryption();
    }

private:
    TlsIdentity m_identity;
    PeerFrame::Reader m_reader;
    std::unique_ptr<QObject> m_published;
};

class Connected : public PeerSessionDelegate
{
public:
    std::atomic<bool> connected = false;
    void peerDidChangeState(const PeerIdentity&, PeerSessionState state) override
    {
        connected = state == PeerSessionState::connected;
    }
    void didReceiveData(const QByteArray&, const PeerIdentity&) override {}
    void didStartReceivingResource(const QString&, const PeerIdentity&) override {}
    void didFinishReceivingResource(const QString&, const PeerIdentity&, const QString&,
                                    const std::optional<PeerError>&) override
    {
    }
};

class Inviter : public PeerBrowserDelegate
{
public:
    std::function<void(const PeerIdentity&)> onFound;
    void foundPeer(const PeerIdentity& peer) override { onFound(peer); }
    void lostPeer(const PeerIdentity&) override {}
    void didNotStartBrowsing(const PeerError&) override {}
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const qsizetype at = args.indexOf(QLatin1String("--seconds"));
    const int seconds = at > 0 && at + 1 < args.size() ? args[at + 1].toInt() : 5;
    QTemporaryDir root;

    auto discovery = std::make_shared<LocalPeerDiscovery>();
    TcpPeerTransport receiver({discovery, *TlsIdentity::create(), QHostAddress::LocalHost});
    Flooder flooder(*discovery);
    Connected events;
    auto session = receiver.makeSession(PeerIdentity(QStringLiteral("computer")), root.filePath("in"));
    session->setDelegate(&events);
    auto browser = receiver.makeBrowser(session->localPeer(), QStringLiteral("tovarine-pair"));
    Inviter inviter;
    inviter.onFound = [&](const PeerIdentity& peer) { browser->invitePeer(peer, *session, 10000); };
    browser->setDelegate(&inviter);
    browser->startBrowsing();
    if (!QTest::qWaitFor([&] { return events.connected.load(); }, 60000)) {
        std::fprintf(stderr, "peerlink_flood_bench: the flooder did not connect\n");
        return 1;
    }

    double cpuBefore = 0;
    receiver.runOnThread([&] { cpuBefore = threadCpuSeconds(); });
    QElapsedTimer clock;
    clock.start();
    flooder.flood(seconds * 1000LL, clock);
    QTest::qWait(seconds * 1000);
    double cpuAfter = 0;
    receiver.runOnThread([&] { cpuAfter = threadCpuSeconds(); });
    const double wall = static_cast<double>(clock.elapsed()) / 1000.0;
    std::printf(
        "ping flood, %.1f s: the receiving transport's thread was busy %.0f%% of a core and answered %lld "
        "pings (goal: under 25%%)\n",
        wall, 100.0 * (cpuAfter - cpuBefore) / wall, static_cast<long long>(flooder.pongs));
    std::printf("connection %s\n", events.connected ? "still up" : "dropped");
    return 0;
}
