#include "TcpPeerTransport.h"

#include "HangCeiling.h"
#include "LoopbackPeerNetwork.h"
#include "PeerDiscovery.h"
#include "PeerFrame.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QMutex>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSslSocket>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace tovarine {
namespace {

using PeerFrame::Type;

// Records what a session's delegate hears, in order, from the transport's thread.
class Recorder : public PeerSessionDelegate
{
public:
    void peerDidChangeState(const PeerIdentity& peer, PeerSessionState state) override
    {
        add(QStringLiteral("state %1 %2").arg(static_cast<int>(state)).arg(peer.displayName()));
    }
    void didReceiveData(const QByteArray& data, const PeerIdentity&) override
    {
        add(QStringLiteral("data ") + QString::fromUtf8(data.left(40)));
    }
    void didStartReceivingResource(const QString& name, const PeerIdentity&) override
    {
        add(QStringLiteral("start ") + name);
    }
    void didFinishReceivingResource(const QString& name, const PeerIdentity&, const QString& localPath,
                                    const std::optional<PeerError>& error) override
    {
        QMutexLocker lock(&m_mutex);
        m_events.append(error ? QStringLiteral("failed ") + name : QStringLiteral("finished ") + name);
        if (!localPath.isEmpty()) {
            m_files.append(localPath);
        }
    }
    QStringList events() const
    {
        QMutexLocker lock(&m_mutex);
        return m_events;
    }
    QStringList files() const
    {
        QMutexLocker lock(&m_mutex);
        return m_files;
    }
    bool saw(const QString& event) const { return events().contains(event); }
    void clear()
    {
        QMutexLocker lock(&m_mutex);
        m_events.clear();
        m_files.clear();
    }

private:
    void add(const QString& event)
    {
        QMutexLocker lock(&m_mutex);
        m_events.append(event);
    }
    mutable QMutex m_mutex;
    QStringList m_events;
    QStringList m_files;
};

class Accepting : public PeerAdvertiserDelegate
{
public:
    PeerSession* session = nullptr;
    bool silent = false; // never answers
    std::function<void(PeerSession*)> unanswered;
    void didReceiveInvitation(const PeerIdentity&, std::function<void(PeerSession*)> answer) override
    {
        if (silent) {
            unanswered = answer;
            return;
        }
        answer(session);
    }
    void didNotStartAdvertising(const PeerError&) override {}
};

class Finder : public PeerBrowserDelegate
{
public:
    std::function<void(const PeerIdentity&)> onFound;
    void foundPeer(const PeerIdentity& peer) override { onFound(peer); }
    void lostPeer(const PeerIdentity&) override {}
    void didNotStartBrowsing(const PeerError&) override {}
};

QByteArray sha(const QString& path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&file);
    return hash.result();
}

// Two transports on loopback, each with its own thread, meeting through an in-process directory.
class TcpPeerTransportTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_root.isValid());
        m_receiver = transport();
        m_phone = transport();
    }

    std::shared_ptr<TcpPeerTransport> transport(const TcpPeerConnection::Limits& limits = {})
    {
        const Expected<TlsIdentity, QString> identity = TlsIdentity::create();
        EXPECT_TRUE(identity);
        return std::make_shared<TcpPeerTransport>(
            TcpPeerTransport::Options{m_discovery, *identity, QHostAddress::LocalHost,
                                      [this](const QString&) { return m_freeBytes.load(); }, limits});
    }

    // Connects a receiver session (browsing) with a phone session (advertising).
    void connect()
    {
        m_phoneSession =
            m_phone->makeSession(PeerIdentity(QStringLiteral("phone")), m_root.filePath("phone-in"));
        m_phoneSession->setDelegate(&m_phoneEvents);
        m_accepting.session = m_phoneSession.get();
        m_advertiser = m_phone->makeAdvertiser(m_phoneSession->localPeer(), QStringLiteral("tovarine-pair"));
        m_advertiser->setDelegate(&m_accepting);
        m_advertiser->startAdvertising();
        ASSERT_NO_FATAL_FAILURE(browseAndInvite("state 2 phone"));
        ASSERT_TRUE(QTest::qWaitFor([&] { return m_phoneEvents.saw("state 2 computer"); },
                                    tovarine::test::kHangCeilingMs));
    }

    // The receiver's session, browsing, with the one advertised peer (a rogue phone) connected.
    void connectRogue() { browseAndInvite("state 2 rogue"); }

    // Makes the receiver's session, browses and invites what it finds, until `connectedEvent` is seen.
    void browseAndInvite(const char* connectedEvent)
    {
        m_receiverSession = m_receiver->makeSession(PeerIdentity(QStringLiteral("computer")), incoming());
        m_receiverSession->setDelegate(&m_receiverEvents);
        m_browser = m_receiver->makeBrowser(m_receiverSession->localPeer(), QStringLiteral("tovarine-pair"));
        m_finder.onFound = [this](const PeerIdentity& peer) {
            m_browser->invitePeer(peer, *m_receiverSession, tovarine::test::kHangCeilingMs);
        };
        m_browser->setDelegate(&m_finder);
        m_browser->startBrowsing();
        ASSERT_TRUE(QTest::qWaitFor([&] { return m_receiverEvents.saw(connectedEvent); },
                                    tovarine::test::kHangCeilingMs));
    }

    QString incoming() const { return m_root.filePath(QStringLiteral("incoming")); }

    QString bigFile(qint64 bytes)
    {
        const QString path = m_root.filePath(QStringLiteral("big-%1.bin").arg(bytes));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        QByteArray block(1 << 20, 0);
        for (qint64 written = 0; written < bytes; written += block.size()) {
            for (int i = 0; i < block.size(); i += 4096) {
                block[i] = static_cast<char>((written / 4096 + i) & 0xff);
            }
            file.write(block.constData(), std::min<qint64>(block.size(), bytes - written));
        }
        return path;
    }

    QTemporaryDir m_root;
    std::atomic<qint64> m_freeBytes = -1; // the disk as the receiver sees it; -1: not told
    std::shared_ptr<LocalPeerDiscovery> m_discovery = std::make_shared<LocalPeerDiscovery>();
    std::shared_ptr<TcpPeerTransport> m_receiver;
    std::shared_ptr<TcpPeerTransport> m_phone;
    Recorder m_receiverEvents;
    Recorder m_phoneEvents;
    Accepting m_accepting;
    Finder m_finder;
    std::unique_ptr<PeerSession> m_receiverSession;
    std::unique_ptr<PeerSession> m_phoneSession;
    std::unique_ptr<PeerAdvertiser> m_advertiser;
    std::unique_ptr<PeerBrowser> m_browser;
};

TEST_F(TcpPeerTransportTest, MessagesAndResourcesArriveInWireOrderAndWhole)
{
    connect();
    const QString big = bigFile(40LL * 1024 * 1024 + 123);
    const QString empty = m_root.filePath("empty.bin");
    QFile(empty).open(QIODevice::WriteOnly);
    std::atomic<int> completions = 0;
    std::atomic<int> failures = 0;
    const auto done = [&](const std::optional<PeerError>& error) {
        ++completions;
        failures += error ? 1 : 0;
    };
    ASSERT_TRUE(m_phoneSession->send("before", m_receiverSession->localPeer()));
    m_phoneSession->sendResource(big, "capture/S1/big.bin", m_receiverSession->localPeer(), done);
    m_phoneSession->sendResource(empty, "capture/S1/empty.bin", m_receiverSession->localPeer(), done);
    ASSERT_TRUE(m_phoneSession->send("after", m_receiverSession->localPeer()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return completions == 2; }, tovarine::test::kHangCeilingMs));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return m_receiverEvents.saw("data after"); }, tovarine::test::kHangCeilingMs));
    EXPECT_EQ(failures, 0);
    // Resources keep their order and follow the messages sent before them; a message sent later may pass a
    // resource that is still streaming (previews are not held up behind frames).
    QStringList events = m_receiverEvents.events();
    const qsizetype after = events.indexOf("data after");
    EXPECT_GT(after, events.indexOf("start capture/S1/big.bin"));
    events.removeAt(after);
    EXPECT_EQ(events.join(" | ").toStdString(), "state 1 phone | state 2 phone | data before | start "
                                                "capture/S1/big.bin | finished capture/S1/big.bin | "
                                                "start capture/S1/empty.bin | finished capture/S1/empty.bin");
    ASSERT_EQ(m_receiverEvents.files().size(), 2);
    EXPECT_EQ(sha(m_receiverEvents.files()[0]), sha(big));
    EXPECT_EQ(QFileInfo(m_receiverEvents.files()[1]).size(), 0);
    EXPECT_TRUE(m_receiverEvents.files()[0].startsWith(incoming()));
}

TEST_F(TcpPeerTransportTest, SendingToAPeerNotConnectedFailsAtOnce)
{
    auto session = m_receiver->makeSession(PeerIdentity(QStringLiteral("computer")), incoming());
    const Expected<void, PeerError> sent = session->send("x", PeerIdentity(QStringLiteral("nobody")));
    ASSERT_FALSE(sent);
    EXPECT_EQ(sent.error().code, 1);
    std::optional<PeerError> error;
    std::atomic<bool> called = false;
    session->sendResource(bigFile(10), "x", PeerIdentity(QStringLiteral("nobody")),
                          [&](const std::optional<PeerError>& e) {
                              error = e;
                              called = true;
                          });
    ASSERT_TRUE(QTest::qWaitFor([&] { return called.load(); }, tovarine::test::kHangCeilingMs));
    EXPECT_TRUE(error);
}

TEST_F(TcpPeerTransportTest, UnansweredOrDeclinedInvitationsEndNotConnected)
{
    // A short limit stands in for the receiver's ten seconds.
    for (const bool silent : {true, false}) {
        SCOPED_TRACE(silent ? "silent" : "declines");
        Recorder events;
        auto session = m_receiver->makeSession(PeerIdentity(QStringLiteral("computer")), incoming());
        session->setDelegate(&events);
        Accepting phone;
        phone.silent = silent; // otherwise it declines: no session to accept into
        auto advertiser =
            m_phone->makeAdvertiser(PeerIdentity(QStringLiteral("phone")), QStringLiteral("tovarine-pair"));
        advertiser->setDelegate(&phone);
        advertiser->startAdvertising();
        auto browser = m_receiver->makeBrowser(session->localPeer(), QStringLiteral("tovarine-pair"));
        Finder finder;
        finder.onFound = [&](const PeerIdentity& peer) { browser->invitePeer(peer, *session, 300); };
        browser->setDelegate(&finder);
        browser->startBrowsing();
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return events.saw("state 0 phone"); }, tovarine::test::kHangCeilingMs));
        EXPECT_EQ(events.events(), (QStringList{"state 1 phone", "state 0 phone"}));
        if (phone.unanswered) {
            phone.unanswered(nullptr); // a late answer changes nothing
        }
        browser.reset();
        advertiser.reset();
    }
}

TEST_F(TcpPeerTransportTest, NewSessionsSweepTheirIncomingFolder)
{
    // Files left by a run that ended abruptly go when the next session starts, on either transport.
    LoopbackPeerNetwork loopback;
    for (PeerTransport* transport : std::initializer_list<PeerTransport*>{m_receiver.get(), &loopback}) {
        QDir().mkpath(incoming() + "/nested");
        QFile stale(incoming() + "/nested/stale.part");
        ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
        stale.close();
        auto session = transport->makeSession(PeerIdentity(QStringLiteral("computer")), incoming());
        EXPECT_TRUE(QDir(incoming()).exists());
        EXPECT_TRUE(QDir(incoming()).isEmpty());
    }
}

TEST_F(TcpPeerTransportTest, LeavingMidTransferFailsItOnBothEndsAndLeavesNoPartialFile)
{
    connect();
    const QString big = bigFile(200LL * 1024 * 1024);
    std::atomic<bool> called = false;
    std::optional<PeerError> error;
    m_phoneSession->sendResource(big, "capture/S1/big.bin", m_receiverSession->localPeer(),
                                 [&](const std::optional<PeerError>& e) {
                                     error = e;
                                     called = true;
                                 });
    ASSERT_TRUE(QTest::qWaitFor([&] { return !QDir(incoming()).isEmpty(); }, tovarine::test::kHangCeilingMs))
        << "a partial file exists";
    m_phoneSession->disconnect();
    ASSERT_TRUE(QTest::qWaitFor([&] { return called.load() && m_receiverEvents.saw("state 0 phone"); },
                                tovarine::test::kHangCeilingMs));
    EXPECT_TRUE(error);
    EXPECT_TRUE(m_receiverEvents.saw("failed capture/S1/big.bin"));
    EXPECT_TRUE(QDir(incoming()).isEmpty());
}

// A phone that speaks raw frames, to send what a well-behaved peer never would.
class RoguePhone : public QTcpServer
{
public:
    explicit RoguePhone(PeerDiscovery& discovery)
    {
        m_identity = *TlsIdentity::create();
        listen(QHostAddress::LocalHost, 0);
        m_published =
            discovery.publish(QStringLiteral("tovarine-pair"), self, serverPort(), [](const PeerError&) {});
    }

    const PeerIdentity self{QStringLiteral("rogue")}; // as published
    QUuid answerAs = self.id();                       // the identity its answer gives
    QSslSocket* socket = nullptr;
    PeerFrame::Reader reader;
    QList<PeerFrame::Frame> received;
    bool helloSeen = false;
    bool reading = true;
    std::function<void(const PeerFrame::Frame&)> onFrame; // after the frame is recorded

    void send(Type type, const QByteArray& body = {}) { socket->write(PeerFrame::encode(type, body)); }
    void sendRaw(const QByteArray& bytes) { socket->write(bytes); }
    bool got(Type type) const
    {
        return std::any_of(received.cbegin(), received.cend(),
                           [type](const auto& f) { return f.type == type; });
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
            if (!reading) {
                return;
            }
            reader.append(socket->readAll());
            while (auto frame = reader.next()) {
                if (!*frame) {
                    return;
                }
                received.append(frame->value());
                if (frame->value().type == Type::hello) {
                    helloSeen = true;
                    send(Type::accept,
                         PeerFrame::helloBody({answerAs.toString(QUuid::WithoutBraces), "rogue"}));
                }
                if (onFrame) {
                    onFrame(frame->value());
                }
            }
        });
        socket->startServerEncryption();
    }

private:
    TlsIdentity m_identity;
    std::unique_ptr<QObject> m_published;
};

TEST_F(TcpPeerTransportTest, HostileTransfersAreRefusedAndWriteNothing)
{
    RoguePhone rogue(*m_discovery);
    ASSERT_NO_FATAL_FAILURE(connectRogue());

    // Sizes out of range are refused before anything is written.
    for (const qint64 size : {-1LL, PeerFrame::kMaxResourceBytes + 1, std::numeric_limits<qint64>::max()}) {
        rogue.received.clear();
        rogue.send(Type::offer, PeerFrame::offerBody({7, size, "capture/S1/x.jpg"}));
        ASSERT_TRUE(QTest::qWaitFor([&] { return rogue.got(Type::refuse); }, tovarine::test::kHangCeilingMs))
            << size;
        EXPECT_TRUE(QDir(incoming()).isEmpty());
    }
    // More bytes than announced: the transfer fails on both ends and its partial file goes.
    rogue.received.clear();
    rogue.send(Type::offer, PeerFrame::offerBody({8, 10, "capture/S1/y.jpg"}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return rogue.got(Type::resume); }, tovarine::test::kHangCeilingMs));
    rogue.send(Type::chunk, PeerFrame::transferBody(8, QByteArray(20, 'z')));
    ASSERT_TRUE(QTest::qWaitFor([&] { return rogue.got(Type::fail); }, tovarine::test::kHangCeilingMs));
    EXPECT_TRUE(m_receiverEvents.saw("failed capture/S1/y.jpg"));
    // An end before every byte came: the same.
    rogue.send(Type::offer, PeerFrame::offerBody({9, 100, "capture/S1/z.jpg"}));
    rogue.send(Type::chunk, PeerFrame::transferBody(9, QByteArray(50, 'z')));
    rogue.send(Type::end, PeerFrame::transferBody(9));
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_receiverEvents.saw("failed capture/S1/z.jpg"); },
                                tovarine::test::kHangCeilingMs));
    EXPECT_TRUE(QDir(incoming()).isEmpty());

    // A partial transfer when the connection breaks, then a frame longer than any allowed: the connection
    // is dropped, the partial file removed.
    rogue.send(Type::offer, PeerFrame::offerBody({10, 100, "capture/S1/w.jpg"}));
    rogue.send(Type::chunk, PeerFrame::transferBody(10, QByteArray(50, 'w')));
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_receiverEvents.saw("start capture/S1/w.jpg"); },
                                tovarine::test::kHangCeilingMs));
    rogue.sendRaw(QByteArray::fromHex("ffffffff04"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_receiverEvents.saw("state 0 rogue"); },
                                tovarine::test::kHangCeilingMs));
    EXPECT_TRUE(m_receiverEvents.saw("failed capture/S1/w.jpg"));
    EXPECT_TRUE(QDir(incoming()).isEmpty());
    EXPECT_TRUE(m_receiverEvents.files().isEmpty());
}

TEST_F(TcpPeerTransportTest, OffersAreHeldToFreeSpaceAndToWhatOneConnectionMayHaveOnItsWay)
{
    constexpr qint64 kGiB = 1024LL * 1024 * 1024;
    m_freeBytes = 1000 * kGiB;
    RoguePhone rogue(*m_discovery);
    ASSERT_NO_FATAL_FAILURE(connectRogue());
    const auto answers = [&](Type type) {
        QList<std::pair<quint64, QString>> list;
        for (const PeerFrame::Frame& frame : rogue.received) {
            if (frame.type == type) {
                const auto reason = PeerFrame::parseReason(frame.body);
                list.append(type == Type::refuse
                                ? *reason
                                : std::pair{PeerFrame::parseCount(frame.body)->first, QString()});
            }
        }
        return list;
    };

    // Sixteen offers of 8 GiB at once: the first is taken, the others refused with the reason.
    for (quint64 transfer = 1; transfer <= 16; ++transfer) {
        rogue.send(Type::offer, PeerFrame::offerBody(
                                    {transfer, 8 * kGiB, QStringLiteral("capture/S1/%1.jpg").arg(transfer)}));
    }
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return answers(Type::refuse).size() + answers(Type::resume).size() == 16; },
                        tovarine::test::kHangCeilingMs));
    ASSERT_EQ(answers(Type::resume).size(), 1);
    EXPECT_EQ(answers(Type::resume)[0].first, 1u);
    for (const auto& [transfer, reason] : answers(Type::refuse)) {
        EXPECT_TRUE(reason.startsWith(QStringLiteral("too much at once"))) << reason.toStdString();
    }
    // Given up, its bytes are free again. With 1 GiB free, 600 MiB would leave less than the margin.
    rogue.received.clear();
    rogue.send(Type::fail, PeerFrame::reasonBody(1, QStringLiteral("changed my mind")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_receiverEvents.saw("failed capture/S1/1.jpg"); },
                                tovarine::test::kHangCeilingMs));
    m_freeBytes = 1 * kGiB;
    rogue.send(Type::offer,
               PeerFrame::offerBody({20, 600LL * 1024 * 1024, QStringLiteral("capture/S1/big.jpg")}));
    rogue.send(Type::offer,
               PeerFrame::offerBody({21, 100LL * 1024 * 1024, QStringLiteral("capture/S1/fits.jpg")}));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return answers(Type::refuse).size() + answers(Type::resume).size() == 2; },
                        tovarine::test::kHangCeilingMs));
    ASSERT_EQ(answers(Type::refuse).size(), 1);
    EXPECT_EQ(answers(Type::refuse)[0].first, 20u);
    EXPECT_EQ(
        answers(Type::refuse)[0].second,
        QStringLiteral("not enough free space on the computer: this file needs 600.0 MB, 1.0 GB is free "
                       "and 512.0 MB must stay free"));
    ASSERT_EQ(answers(Type::resume).size(), 1);
    EXPECT_EQ(answers(Type::resume)[0].first, 21u);
    // Bytes that arrive are on the disk now, no longer promised; the space of a dropped connection is given
    // back whole.
    rogue.send(Type::chunk, PeerFrame::transferBody(21, QByteArray(1000, 'x')));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            qint64 promised = -1;
            m_receiver->runOnThread([&] { promised = m_receiver->incomingSpace()->promised(); });
            return promised == 100LL * 1024 * 1024 - 1000;
        },
        10000));
    rogue.socket->abort();
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_receiverEvents.saw("state 0 rogue"); },
                                tovarine::test::kHangCeilingMs));
    qint64 promised = -1;
    m_receiver->runOnThread([&] { promised = m_receiver->incomingSpace()->promised(); });
    EXPECT_EQ(promised, 0);
    EXPECT_TRUE(QDir(incoming()).isEmpty());
}

TEST_F(TcpPeerTransportTest, AnAnswerFromAnotherPeerThanTheOneInvitedEndsTheInvitation)
{
    RoguePhone rogue(*m_discovery);
    const PeerIdentity other(QStringLiteral("someone else"));
    rogue.answerAs = other.id();
    ASSERT_NO_FATAL_FAILURE(browseAndInvite("state 0 rogue"));
    EXPECT_EQ(m_receiverEvents.events(), (QStringList{"state 1 rogue", "state 0 rogue"}));
    EXPECT_FALSE(m_receiverSession->send("x", other));
    EXPECT_FALSE(m_receiverSession->send("x", rogue.self));
}

// Waits a peer could stretch without end by sending a little now and then, well inside the idle limit: each
// ends. Short limits stand in for the transport's own.
TEST_F(TcpPeerTransportTest, APeerCannotHoldAConnectionOrATransferWithATrickle)
{
    TcpPeerConnection::Limits limits;
    limits.idleTimeoutMs = 1000;
    limits.transferStallMs = 200;
    const QString file = bigFile(20 * 1024 * 1024); // more than the sender's window
    enum class Answer { nothing, resume, resumeAndAck };
    struct Case
    {
        const char* what;
        QByteArray start; // what the rogue sends once connected
        QByteArray tick;  // and then every 50 ms
        bool sendsTo;     // the receiver sends it a resource, which it answers so:
        Answer answer;
        const char* ends; // the receiver's event that ends the wait, when it sends nothing
    };
    const QByteArray ping = PeerFrame::encode(Type::ping);
    const Case cases[] = {
        {"a frame a byte at a time", PeerFrame::encode(Type::data, QByteArray(1 << 20, 'x')).left(5), "x",
         false, Answer::nothing, "state 0 rogue"},
        {"a resource a byte at a time",
         PeerFrame::encode(Type::offer, PeerFrame::offerBody({1, 1 << 20, "capture/S1/slow.jpg"})),
         PeerFrame::encode(Type::chunk, PeerFrame::transferBody(1, "x")) + ping, false, Answer::nothing,
         "failed capture/S1/slow.jpg"},
        {"an offer never answered", {}, ping, true, Answer::nothing, ""},
        {"resumed, never acknowledged", {}, ping, true, Answer::resume, ""},
        {"acknowledged, never confirmed", {}, ping, true, Answer::resumeAndAck, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        m_receiverEvents.clear();
        m_receiver = transport(limits);
        RoguePhone rogue(*m_discovery);
        qint64 taken = 0;
        rogue.onFrame = [&](const PeerFrame::Frame& frame) {
            const quint64 transfer = PeerFrame::parseTransfer(frame.body).value_or(0);
            if (frame.type == Type::offer && c.answer != Answer::nothing) {
                rogue.send(Type::resume, PeerFrame::countBody(transfer, 0));
            } else if (frame.type == Type::chunk && c.answer == Answer::resumeAndAck) {
                taken += frame.body.size() - 8;
                rogue.send(Type::ack, PeerFrame::countBody(transfer, taken));
            }
        };
        ASSERT_NO_FATAL_FAILURE(connectRogue());
        std::atomic<int> completion = 0; // 1 done, 2 failed
        if (c.sendsTo) {
            m_receiverSession->sendResource(
                file, QStringLiteral("result/S1/model.usdz"), rogue.self,
                [&](const std::optional<PeerError>& error) { completion = error ? 2 : 1; });
        }
        rogue.sendRaw(c.start);
        QTimer ticks;
        QObject::connect(&ticks, &QTimer::timeout, [&] {
            if (rogue.socket->state() == QAbstractSocket::ConnectedState) {
                rogue.sendRaw(c.tick);
            }
        });
        ticks.start(50);
        if (c.sendsTo) {
            ASSERT_TRUE(QTest::qWaitFor([&] { return completion != 0; }, tovarine::test::kHangCeilingMs));
            EXPECT_EQ(completion, 2);
        } else {
            ASSERT_TRUE(QTest::qWaitFor([&] { return m_receiverEvents.saw(QString::fromLatin1(c.ends)); },
                                        tovarine::test::kHangCeilingMs));
        }
        if (QByteArray(c.ends).startsWith("failed")) {
            // The stalled resource is given up on both ends, and its partial file goes.
            ASSERT_TRUE(
                QTest::qWaitFor([&] { return rogue.got(Type::fail); }, tovarine::test::kHangCeilingMs));
            EXPECT_TRUE(QDir(incoming()).isEmpty());
        }
        m_receiverSession.reset();
        m_browser.reset();
    }
}

TEST_F(TcpPeerTransportTest, APeerThatSendsWithoutReadingIsHeldBackThenDropped)
{
    // It floods pings and takes none of the pongs: the receiver stops reading once its answers pile up,
    // instead of queueing them all, and drops the peer at the idle limit.
    // Without the rate limit on frames (the flood would take minutes to fill the cap at that rate).
    TcpPeerConnection::Limits limits;
    limits.idleTimeoutMs = 2000;
    limits.framesPerSlice = std::numeric_limits<int>::max();
    m_receiver = transport(limits);
    RoguePhone rogue(*m_discovery);
    ASSERT_NO_FATAL_FAILURE(connectRogue());
    rogue.reading = false;
    rogue.socket->setReadBufferSize(64 * 1024);
    constexpr qint64 kFloodBytes = 256LL * 1024 * 1024;
    const QByteArray pings = PeerFrame::encode(Type::ping).repeated(64 * 1024 / 5);
    qint64 flooded = 0;
    const auto topUp = [&] {
        while (flooded < kFloodBytes && rogue.socket->state() == QAbstractSocket::ConnectedState &&
               rogue.socket->bytesToWrite() + rogue.socket->encryptedBytesToWrite() < 1024 * 1024) {
            rogue.sendRaw(pings);
            flooded += pings.size();
        }
    };
    QObject::connect(rogue.socket, &QSslSocket::encryptedBytesWritten, &rogue, topUp);
    topUp();
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_receiverEvents.saw("state 0 rogue"); },
                                tovarine::test::kHangCeilingMs));
    // What the kernel's buffers and the receiver's capped ones hold (some tens of MiB), far from the flood.
    EXPECT_LT(flooded, kFloodBytes / 2);
}

TEST_F(TcpPeerTransportTest, AHeldPeerWaitsUnreadWithoutTimingOutAndLosesNothing)
{
    // Limits well below the hold, so a hold that let them run would end the connection or the transfer; not
    // so short that a busy machine's pauses between chunks trip them before the hold.
    TcpPeerConnection::Limits limits;
    limits.idleTimeoutMs = 1500;
    limits.transferStallMs = 750;
    m_receiver = transport(limits);
    // The receiver's delegate holds the phone back from within the callback of its first message.
    struct Holding : Recorder
    {
        PeerSession* session = nullptr;
        std::atomic<bool> held = false;
        void didReceiveData(const QByteArray& data, const PeerIdentity& peer) override
        {
            Recorder::didReceiveData(data, peer);
            if (!held.exchange(true)) {
                session->setReceivingHeld(peer, true);
            }
        }
    } holding;
    ASSERT_NO_FATAL_FAILURE(connect());
    m_receiverSession->setDelegate(&holding);
    const auto endSession = qScopeGuard([this] { m_receiverSession.reset(); }); // before `holding` goes
    holding.session = m_receiverSession.get();
    const PeerIdentity computer = m_receiverSession->localPeer();
    // The resource is offered first and is larger than what the phone may send before its acks come, so
    // it is under way, waiting, while the phone is held.
    std::atomic<int> completion = 0; // 1 done, 2 failed
    m_phoneSession->sendResource(bigFile(24 * 1024 * 1024), "capture/S1/held.jpg", computer,
                                 [&](const std::optional<PeerError>& error) { completion = error ? 2 : 1; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return holding.saw("start capture/S1/held.jpg"); },
                                tovarine::test::kHangCeilingMs));
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(m_phoneSession->send(QByteArray::number(i), computer));
    }
    ASSERT_TRUE(m_phoneSession->send("last", computer));

    ASSERT_TRUE(QTest::qWaitFor([&] { return holding.saw("data 0"); }, tovarine::test::kHangCeilingMs));
    // A span several stall checks and more than two idle limits long shows that nothing more comes while
    // held.
    QTest::qWait(4000);
    EXPECT_EQ(holding.events().filter(QRegularExpression("^data |^state |^failed ")), QStringList{"data 0"});
    EXPECT_EQ(completion, 0);
    EXPECT_FALSE(m_phoneEvents.saw("state 0 computer"));

    m_receiverSession->setReceivingHeld(m_phoneSession->localPeer(), false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return holding.saw("data last") && completion != 0; },
                                tovarine::test::kHangCeilingMs));
    EXPECT_EQ(completion, 1);
    // A message sent while a resource streams may pass it; messages keep their order.
    const QStringList events = holding.events();
    EXPECT_EQ(events.filter(QRegularExpression("^data ")),
              (QStringList{"data 0", "data 1", "data 2", "data 3", "data last"}));
    EXPECT_TRUE(events.contains("finished capture/S1/held.jpg"));
    EXPECT_EQ(events.size(), 7) << events.join(", ").toStdString();
    ASSERT_EQ(holding.files().size(), 1);
    EXPECT_EQ(QFileInfo(holding.files()[0]).size(), 24 * 1024 * 1024);
}

TEST_F(TcpPeerTransportTest, OneCallerCannotTakeEveryPlaceNorShakeHandsWithoutEnd)
{
    TcpPeerConnection::Limits limits;
    limits.handshakeWindowMs = 60 * 60 * 1000;
    limits.helloTimeoutMs = tovarine::test::kHangCeilingMs;
    m_phone = transport(limits);
    m_phoneSession = m_phone->makeSession(PeerIdentity(QStringLiteral("phone")), m_root.filePath("phone-in"));
    m_accepting.session = m_phoneSession.get();
    m_advertiser = m_phone->makeAdvertiser(m_phoneSession->localPeer(), QStringLiteral("tovarine-pair"));
    std::atomic<bool> decline = true;
    struct Switch : PeerAdvertiserDelegate
    {
        std::atomic<bool>* decline;
        PeerSession* session;
        void didReceiveInvitation(const PeerIdentity&, std::function<void(PeerSession*)> answer) override
        {
            answer(*decline ? nullptr : session);
        }
        void didNotStartAdvertising(const PeerError&) override {}
    } delegate;
    delegate.decline = &decline;
    delegate.session = m_phoneSession.get();
    m_advertiser->setDelegate(&delegate);
    m_advertiser->startAdvertising();
    quint16 port = 0;
    PeerDiscovery::BrowseCallbacks found;
    found.found = [&](const PeerDiscovery::Endpoint& endpoint) { port = endpoint.port; };
    const auto browse = m_discovery->browse(QStringLiteral("tovarine-pair"), found);
    ASSERT_TRUE(QTest::qWaitFor([&] { return port != 0; }, tovarine::test::kHangCeilingMs));

    // Eight callers from one address that never begin TLS: two are kept waiting, the others closed at once.
    std::vector<std::unique_ptr<QTcpSocket>> silent;
    std::atomic<int> closed = 0;
    for (int i = 0; i < 8; ++i) {
        auto socket = std::make_unique<QTcpSocket>();
        ASSERT_TRUE(socket->bind(QHostAddress(QStringLiteral("127.0.0.2"))));
        QObject::connect(socket.get(), &QTcpSocket::disconnected, [&] { ++closed; });
        socket->connectToHost(QHostAddress::LocalHost, port);
        ASSERT_TRUE(socket->waitForConnected(tovarine::test::kHangCeilingMs));
        silent.push_back(std::move(socket));
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return closed >= 6; }, tovarine::test::kHangCeilingMs));
    EXPECT_EQ(closed, 6);

    // A caller from another address shaking hands, saying hello and being declined, over and over: the
    // handshakes stop at the limit for its address.
    int handshakes = 0;
    for (int i = 0; i < TcpPeerTransport::kMaxHandshakesPerAddress + 4; ++i) {
        QSslSocket socket;
        QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
        configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
        socket.setSslConfiguration(configuration);
        ASSERT_TRUE(socket.bind(QHostAddress(QStringLiteral("127.0.0.3"))));
        bool ended = false;
        QObject::connect(&socket, &QSslSocket::encrypted, [&] {
            ++handshakes;
            socket.write(PeerFrame::encode(
                Type::hello,
                PeerFrame::helloBody({QUuid::createUuid().toString(QUuid::WithoutBraces), "x"})));
        });
        QObject::connect(&socket, &QSslSocket::disconnected, [&] { ended = true; });
        QObject::connect(&socket, &QSslSocket::errorOccurred, [&] { ended = true; });
        socket.connectToHostEncrypted(QStringLiteral("127.0.0.1"), port);
        ASSERT_TRUE(QTest::qWaitFor([&] { return ended; }, tovarine::test::kHangCeilingMs)) << i;
    }
    EXPECT_EQ(handshakes, TcpPeerTransport::kMaxHandshakesPerAddress);

    // Neither keeps the phone from the receiver.
    decline = false;
    m_phoneSession->setDelegate(&m_phoneEvents);
    ASSERT_NO_FATAL_FAILURE(browseAndInvite("state 2 phone"));
}

TEST_F(TcpPeerTransportTest, PeersAdvertisedByTheDozenAreDialledAFewAtATimeAndEveryOneInTurn)
{
    // Ten advertised peers on one machine that take the connection and never shake hands, each invited
    // with a short time-out: two are dialled at a time, and each of the others when a place frees.
    QTcpServer mute;
    ASSERT_TRUE(mute.listen(QHostAddress::LocalHost, 0));
    int accepted = 0;
    QObject::connect(&mute, &QTcpServer::newConnection, [&] {
        while (mute.nextPendingConnection() != nullptr) {
            ++accepted;
        }
    });
    std::vector<std::unique_ptr<QObject>> published;
    for (int i = 0; i < 10; ++i) {
        published.push_back(m_discovery->publish(QStringLiteral("tovarine-pair"),
                                                 PeerIdentity(QStringLiteral("mute %1").arg(i)),
                                                 mute.serverPort(), [](const PeerError&) {}));
    }
    m_receiverSession = m_receiver->makeSession(PeerIdentity(QStringLiteral("computer")), incoming());
    m_receiverSession->setDelegate(&m_receiverEvents);
    m_browser = m_receiver->makeBrowser(m_receiverSession->localPeer(), QStringLiteral("tovarine-pair"));
    m_finder.onFound = [this](const PeerIdentity& peer) {
        m_browser->invitePeer(peer, *m_receiverSession, 300);
    };
    m_browser->setDelegate(&m_finder);
    m_browser->startBrowsing();
    const auto count = [&](const QString& prefix) {
        const QStringList events = m_receiverEvents.events();
        return std::count_if(events.cbegin(), events.cend(),
                             [&](const QString& e) { return e.startsWith(prefix); });
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return count("state 0") == 10; }, tovarine::test::kHangCeilingMs))
        << accepted << " dialled";
    EXPECT_EQ(count("state 1"), 10);
    EXPECT_EQ(accepted, 10) << "every invitation was dialled in its turn";
}

TEST_F(TcpPeerTransportTest, AnInvitationWaitingForAPlaceEndsWhenItsPeerIsNoLongerAdvertised)
{
    // Two mute peers hold the places of their machine; a third waits and then stops being advertised.
    QTcpServer mute;
    ASSERT_TRUE(mute.listen(QHostAddress::LocalHost, 0));
    std::vector<std::unique_ptr<QObject>> published;
    for (int i = 0; i < 3; ++i) {
        published.push_back(m_discovery->publish(QStringLiteral("tovarine-pair"),
                                                 PeerIdentity(QStringLiteral("mute %1").arg(i)),
                                                 mute.serverPort(), [](const PeerError&) {}));
    }
    m_receiverSession = m_receiver->makeSession(PeerIdentity(QStringLiteral("computer")), incoming());
    m_receiverSession->setDelegate(&m_receiverEvents);
    m_browser = m_receiver->makeBrowser(m_receiverSession->localPeer(), QStringLiteral("tovarine-pair"));
    m_finder.onFound = [this](const PeerIdentity& peer) {
        m_browser->invitePeer(peer, *m_receiverSession, tovarine::test::kHangCeilingMs);
    };
    m_browser->setDelegate(&m_finder);
    m_browser->startBrowsing();
    int accepted = 0;
    QObject::connect(&mute, &QTcpServer::newConnection, [&] {
        while (mute.nextPendingConnection() != nullptr) {
            ++accepted;
        }
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_receiverEvents.saw("state 1 mute 2") && accepted == 2; },
                                tovarine::test::kHangCeilingMs));
    EXPECT_FALSE(m_receiverEvents.saw("state 0 mute 2")) << "it waits for a place";
    published.pop_back();
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_receiverEvents.saw("state 0 mute 2"); },
                                tovarine::test::kHangCeilingMs));
    EXPECT_FALSE(m_receiverEvents.saw("state 0 mute 0"));
    EXPECT_FALSE(m_receiverEvents.saw("state 0 mute 1"));
}

TEST(TlsIdentity, KeptForTheOwnerOnlyAndReused)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("config/TovarineCompanion/peer-identity.pem"));
    const Expected<TlsIdentity, QString> first = TlsIdentity::loadOrCreate(path);
    ASSERT_TRUE(first);
    struct stat info
    {
    };
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    const Expected<TlsIdentity, QString> again = TlsIdentity::loadOrCreate(path);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->certificate, first->certificate);

    QFile broken(path);
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("not a key");
    broken.close();
    const Expected<TlsIdentity, QString> replaced = TlsIdentity::loadOrCreate(path);
    ASSERT_TRUE(replaced);
    EXPECT_NE(replaced->certificate, first->certificate);
}

} // namespace
} // namespace tovarine
