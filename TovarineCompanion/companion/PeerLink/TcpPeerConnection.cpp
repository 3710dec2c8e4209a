#include "TcpPeerConnection.h"

#include <QDir>
#include <QSslConfiguration>
#include <QUuid>
#include <algorithm>
#include <vector>

namespace tovarine {
namespace {

using PeerFrame::Type;

// Stop queueing chunks while this much is still waiting in the socket.
constexpr qint64 kSocketHighWaterBytes = 4 * 1024 * 1024;

PeerError linkError(int code, const QString& description)
{
    return {QStringLiteral("PeerLink"), code, description};
}

QSslConfiguration tlsConfiguration(const TlsIdentity& identity)
{
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setLocalCertificate(identity.certificate);
    configuration.setPrivateKey(identity.key);
    configuration.setProtocol(QSsl::TlsV1_2OrLater);
    // Peers carry self-made certificates and no identity to check them against: encrypted, not authenticated.
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
    return configuration;
}

} // namespace

TcpPeerConnection::TcpPeerConnection(QSslSocket* socket, const QString& incomingDir,
                                     std::shared_ptr<IncomingSpace> space, const Limits& limits,
                                     QObject* parent)
    : QObject(parent), m_socket(socket), m_incomingDir(incomingDir), m_space(std::move(space)),
      m_maxOwedBytes(limits.maxOwedBytes), m_framesPerSlice(limits.framesPerSlice)
{
    m_socket->setParent(this);
    m_socket->setReadBufferSize(kReadBufferBytes);
    m_answerTimer.setSingleShot(true);
    m_idleTimer.setSingleShot(true);
    m_idleTimer.setInterval(limits.idleTimeoutMs);
    m_pingTimer.setInterval(std::max(limits.idleTimeoutMs / 4, 1));
    m_stallTimer.setInterval(limits.transferStallMs);
    connect(&m_answerTimer, &QTimer::timeout, this,
            [this] { shutdown(QStringLiteral("no answer in time")); });
    connect(&m_idleTimer, &QTimer::timeout, this,
            [this] { shutdown(QStringLiteral("the peer stopped answering")); });
    connect(&m_pingTimer, &QTimer::timeout, this, [this] { write(Type::ping); });
    connect(&m_stallTimer, &QTimer::timeout, this, [this] { checkTransfers(); });
    m_sliceTimer.setSingleShot(true);
    connect(&m_sliceTimer, &QTimer::timeout, this, [this] {
        receive({}); // the frames already read, then what waits in the socket
        readSocket();
    });
    connect(m_socket, &QSslSocket::readyRead, this, [this] { readSocket(); });
    connect(m_socket, &QSslSocket::encryptedBytesWritten, this, [this] {
        pump();
        if (m_readPaused && owedBytes() <= m_maxOwedBytes / 2) {
            m_readPaused = false;
            // What arrived meanwhile waits in the socket and gives no second readyRead.
            QMetaObject::invokeMethod(
                this, [this] { readSocket(); }, Qt::QueuedConnection);
        }
    });
    connect(m_socket, &QSslSocket::disconnected, this,
            [this] { shutdown(QStringLiteral("the connection closed")); });
    connect(m_socket, &QSslSocket::errorOccurred, this,
            [this](QAbstractSocket::SocketError) { shutdown(m_socket->errorString()); });
    connect(m_socket, &QSslSocket::sslErrors, this, [this](const QList<QSslError>&) {
        m_socket->ignoreSslErrors(); // certificates are not verified (see tlsConfiguration)
    });
}

qint64 TcpPeerConnection::owedBytes() const
{
    return m_socket->bytesToWrite() + m_socket->encryptedBytesToWrite();
}

void TcpPeerConnection::readSocket()
{
    if (m_state == State::closed || m_readPaused || holding() || m_sliceTimer.isActive()) {
        return;
    }
    if (owedBytes() > m_maxOwedBytes) {
        // Left unread, the socket's buffer fills and TCP stops the peer. The idle limit still runs: no
        // frame is handled until the peer reads.
        m_readPaused = true;
        return;
    }
    receive(m_socket->readAll());
}

TcpPeerConnection* TcpPeerConnection::connectTo(const QHostAddress& address, quint16 port,
                                                const TlsIdentity& identity, const PeerIdentity& local,
                                                const PeerIdentity& expected, const QString& incomingDir,
                                                std::shared_ptr<IncomingSpace> space, int timeoutMs,
                                                const Limits& limits, QObject* parent)
{
    auto* socket = new QSslSocket;
    socket->setSslConfiguration(tlsConfiguration(identity));
    auto* connection = new TcpPeerConnection(socket, incomingDir, std::move(space), limits, parent);
    connection->m_local = local;
    connection->m_expected = expected;
    connection->m_dialled = address;
    connect(socket, &QSslSocket::encrypted, connection, [connection] {
        connection->m_state = State::awaitingAnswer;
        connection->write(Type::hello,
                          PeerFrame::helloBody({connection->m_local.id().toString(QUuid::WithoutBraces),
                                                connection->m_local.displayName()}));
    });
    connection->m_answerTimer.start(timeoutMs);
    socket->connectToHostEncrypted(address.toString(), port, QStringLiteral("tovarine-peer"));
    return connection;
}

TcpPeerConnection* TcpPeerConnection::fromDescriptor(qintptr descriptor, const TlsIdentity& identity,
                                                     const QString& incomingDir,
                                                     std::shared_ptr<IncomingSpace> space,
                                                     const Limits& limits, QObject* parent)
{
    auto* socket = new QSslSocket;
    auto* connection = new TcpPeerConnection(socket, incomingDir, std::move(space), limits, parent);
    if (!socket->setSocketDescriptor(descriptor)) {
        QMetaObject::invokeMethod(
            connection, [connection] { connection->shutdown(QStringLiteral("bad socket")); },
            Qt::QueuedConnection);
        return connection;
    }
    socket->setSslConfiguration(tlsConfiguration(identity));
    connect(socket, &QSslSocket::encrypted, connection,
            [connection] { connection->m_state = State::awaitingHello; });
    connection->m_answerTimer.start(limits.helloTimeoutMs);
    socket->startServerEncryption();
    return connection;
}

TcpPeerConnection::~TcpPeerConnection()
{
    m_callbacks = {};
    shutdown(QStringLiteral("closed"));
}

void TcpPeerConnection::write(Type type, const QByteArray& body)
{
    if (m_state != State::closed) {
        m_socket->write(PeerFrame::encode(type, body));
    }
}

void TcpPeerConnection::accept(const PeerIdentity& local, const QString& incomingDir)
{
    if (m_state != State::answering) {
        return;
    }
    m_local = local;
    m_incomingDir = incomingDir;
    write(Type::accept,
          PeerFrame::helloBody({local.id().toString(QUuid::WithoutBraces), local.displayName()}));
    becomeConnected();
}

void TcpPeerConnection::decline()
{
    if (m_state == State::answering) {
        write(Type::decline);
        m_socket->flush();
    }
    shutdown(QStringLiteral("declined"));
}

void TcpPeerConnection::becomeConnected()
{
    m_state = State::connected;
    m_answerTimer.stop();
    m_pingTimer.start();
    if (!m_held) {
        m_idleTimer.start();
    }
    m_stallTimer.start();
}

void TcpPeerConnection::sendData(const QByteArray& data)
{
    write(Type::data, data);
}

void TcpPeerConnection::sendResource(const QString& path, const QString& name,
                                     PeerSession::ResourceCompletion completion)
{
    if (m_state != State::connected) {
        completion(linkError(1, QStringLiteral("The peer is not connected.")));
        return;
    }
    Outgoing outgoing;
    outgoing.transfer = m_nextTransfer++;
    outgoing.name = name;
    outgoing.file = std::make_unique<QFile>(path);
    outgoing.completion = std::move(completion);
    m_outgoing.push_back(std::move(outgoing));
    startNextOutgoing();
}

// Offers the next resource once every earlier one has been sent whole (their "done" may still be on its
// way): resources go one after the other, without a round trip between them.
void TcpPeerConnection::startNextOutgoing()
{
    for (auto it = m_outgoing.begin(); it != m_outgoing.end() && m_state == State::connected;) {
        if (it->endSent) {
            ++it;
            continue;
        }
        if (it->started) {
            return; // under way
        }
        if (!it->file->open(QIODevice::ReadOnly)) {
            const PeerError error = linkError(2, it->file->errorString());
            finishOutgoing(it->transfer, error);
            it = m_outgoing.begin();
            continue;
        }
        it->size = it->file->size();
        it->started = true;
        write(Type::offer, PeerFrame::offerBody({it->transfer, it->size, it->name}));
        return;
    }
}

qint64 TcpPeerConnection::promisedBytes() const
{
    qint64 bytes = 0;
    for (const auto& [transfer, in] : m_incoming) {
        bytes += in.size - in.received;
    }
    return bytes;
}

TcpPeerConnection::Outgoing* TcpPeerConnection::outgoing(quint64 transfer)
{
    for (Outgoing& out : m_outgoing) {
        if (out.transfer == transfer) {
            return &out;
        }
    }
    return nullptr;
}

void TcpPeerConnection::finishOutgoing(quint64 transfer, const std::optional<PeerError>& error)
{
    const auto found = std::find_if(m_outgoing.begin(), m_outgoing.end(),
                                    [transfer](const Outgoing& out) { return out.transfer == transfer; });
    if (found == m_outgoing.end()) {
        return;
    }
    Outgoing done = std::move(*found);
    m_outgoing.erase(found);
    done.file.reset();
    if (done.completion) {
        done.completion(error);
    }
}

void TcpPeerConnection::pump()
{
    if (m_pumping || m_state != State::connected) {
        return;
    }
    const auto active = std::find_if(m_outgoing.begin(), m_outgoing.end(),
                                     [](const Outgoing& out) { return out.started && !out.endSent; });
    if (active == m_outgoing.end()) {
        return;
    }
    m_pumping = true;
    Outgoing& out = *active;
    while (out.resumed && out.sent < out.size && out.sent - out.acked < kWindowBytes &&
           m_socket->encryptedBytesToWrite() + m_socket->bytesToWrite() < kSocketHighWaterBytes) {
        const QByteArray chunk = out.file->read(std::min(kChunkBytes, out.size - out.sent));
        if (chunk.isEmpty()) {
            const QString reason =
                QStringLiteral("could not read %1: %2").arg(out.name, out.file->errorString());
            write(Type::fail, PeerFrame::reasonBody(out.transfer, reason));
            m_pumping = false;
            finishOutgoing(out.transfer, linkError(3, reason));
            startNextOutgoing();
            return;
        }
        write(Type::chunk, PeerFrame::transferBody(out.transfer, chunk));
        out.sent += chunk.size();
    }
    m_pumping = false;
    if (out.resumed && out.sent == out.size && !out.endSent) {
        out.endSent = true;
        out.file->close();
        write(Type::end, PeerFrame::transferBody(out.transfer));
        startNextOutgoing();
    }
}

TcpPeerConnection* TcpPeerConnection::forReplay(ReplayStart start, const QString& incomingDir,
                                                std::shared_ptr<IncomingSpace> space,
                                                const QString& outgoingPath, QObject* parent)
{
    auto* connection = new TcpPeerConnection(new QSslSocket, incomingDir, std::move(space), Limits{}, parent);
    connection->m_local = PeerIdentity(QStringLiteral("replay"));
    switch (start) {
    case ReplayStart::awaitingHello:
        connection->m_state = State::awaitingHello;
        break;
    case ReplayStart::awaitingAnswer:
        connection->m_state = State::awaitingAnswer;
        break;
    case ReplayStart::connected:
        connection->m_state = State::connected;
        connection->sendResource(outgoingPath, QStringLiteral("result/R/model.usdz"),
                                 [](const std::optional<PeerError>&) {});
        break;
    }
    return connection;
}

void TcpPeerConnection::setHeld(bool held)
{
    if (m_held == held || m_state == State::closed) {
        m_held = held;
        return;
    }
    m_held = held;
    if (held) {
        m_idleTimer.stop();
        return;
    }
    if (m_state == State::connected) {
        m_idleTimer.start();
    }
    // The hold counted against no transfer: each starts its stall count afresh.
    for (auto& [transfer, in] : m_incoming) {
        in.markReceived = in.received;
        in.quietChecks = 0;
    }
    for (Outgoing& out : m_outgoing) {
        out.markAcked = out.acked;
        out.markResumed = out.resumed;
        out.quietChecks = 0;
    }
    // The frames already read, then what waits in the socket (which gives no second readyRead).
    QMetaObject::invokeMethod(
        this,
        [this] {
            receive({});
            readSocket();
        },
        Qt::QueuedConnection);
}

void TcpPeerConnection::receive(const QByteArray& bytes)
{
    m_reader.append(bytes);
    while (m_state != State::closed && !holding() && !m_sliceTimer.isActive()) {
        if (!m_slice.isValid() || m_slice.elapsed() >= kSliceMs) {
            m_slice.start();
            m_sliceFrames = 0;
        }
        if (m_sliceFrames >= m_framesPerSlice) {
            m_sliceTimer.start(std::max<int>(kSliceMs - static_cast<int>(m_slice.elapsed()), 1));
            return;
        }
        std::optional<Expected<PeerFrame::Frame, QString>> next = m_reader.next();
        if (!next) {
            return;
        }
        if (!*next) {
            shutdown(QStringLiteral("protocol error: ") + next->error());
            return;
        }
        if (m_idleTimer.isActive()) {
            m_idleTimer.start(); // a whole frame: the peer is there
        }
        ++m_sliceFrames;
        handle(next->value());
    }
}

void TcpPeerConnection::handle(const PeerFrame::Frame& frame)
{
    switch (m_state) {
    case State::awaitingHello: {
        const std::optional<PeerFrame::Hello> hello =
            frame.type == Type::hello ? PeerFrame::parseHello(frame.body) : std::nullopt;
        if (!hello) {
            shutdown(QStringLiteral("protocol error: expected hello"));
            return;
        }
        m_remote = PeerIdentity(hello->name, QUuid(hello->id));
        m_state = State::answering;
        m_answerTimer.stop();
        if (m_callbacks.hello) {
            m_callbacks.hello(m_remote);
        }
        return;
    }
    case State::awaitingAnswer: {
        if (frame.type == Type::decline) {
            shutdown(QStringLiteral("declined"));
            return;
        }
        const std::optional<PeerFrame::Hello> hello =
            frame.type == Type::accept ? PeerFrame::parseHello(frame.body) : std::nullopt;
        if (!hello) {
            shutdown(QStringLiteral("protocol error: expected an answer"));
            return;
        }
        if (QUuid(hello->id) != m_expected.id()) {
            shutdown(QStringLiteral("protocol error: answered by another peer than the one invited"));
            return;
        }
        m_remote = PeerIdentity(hello->name, QUuid(hello->id));
        becomeConnected();
        if (m_callbacks.accepted) {
            m_callbacks.accepted(m_remote);
        }
        return;
    }
    case State::handshaking:
    case State::answering:
    case State::closed:
        shutdown(QStringLiteral("protocol error: unexpected frame"));
        return;
    case State::connected:
        break;
    }

    switch (frame.type) {
    case Type::data:
        if (m_callbacks.data) {
            m_callbacks.data(frame.body);
        }
        return;
    case Type::offer:
        handleOffer(frame.body);
        return;
    case Type::chunk:
        handleChunk(frame.body);
        return;
    case Type::end:
        handleEnd(frame.body);
        return;
    case Type::resume:
    case Type::ack: {
        const auto count = PeerFrame::parseCount(frame.body);
        Outgoing* found = count ? outgoing(count->first) : nullptr;
        if (found == nullptr || !found->started) {
            return; // a late answer about a transfer that has ended
        }
        Outgoing& out = *found;
        if (count->second > out.size || (frame.type == Type::ack && count->second > out.sent)) {
            shutdown(QStringLiteral("protocol error: acknowledged bytes never sent"));
            return;
        }
        if (frame.type == Type::resume) {
            if (out.resumed || !out.file->seek(count->second)) {
                shutdown(QStringLiteral("protocol error: bad resume"));
                return;
            }
            out.resumed = true;
            out.sent = count->second;
        }
        out.acked = count->second;
        pump();
        return;
    }
    case Type::done: {
        const auto transfer = PeerFrame::parseTransfer(frame.body);
        if (const Outgoing* out = transfer ? outgoing(*transfer) : nullptr; out && out->endSent) {
            finishOutgoing(*transfer, std::nullopt);
        }
        return;
    }
    case Type::refuse:
    case Type::fail: {
        const auto reason = PeerFrame::parseReason(frame.body);
        if (!reason) {
            return;
        }
        if (const Outgoing* out = outgoing(reason->first); out && out->started) {
            finishOutgoing(reason->first, linkError(4, reason->second));
            startNextOutgoing();
            pump();
        } else if (frame.type == Type::fail) {
            failIncoming(reason->first, reason->second, false);
        }
        return;
    }
    case Type::ping:
        write(Type::pong);
        return;
    case Type::pong:
        return;
    case Type::bye:
        shutdown(QStringLiteral("the peer left"));
        return;
    case Type::hello:
    case Type::accept:
    case Type::decline:
        shutdown(QStringLiteral("protocol error: unexpected frame"));
        return;
    }
}

void TcpPeerConnection::handleOffer(const QByteArray& body)
{
    const std::optional<PeerFrame::Offer> offer = PeerFrame::parseOffer(body);
    if (!offer || m_incoming.count(offer->transfer) > 0) {
        shutdown(QStringLiteral("protocol error: bad resource offer"));
        return;
    }
    if (offer->size < 0 || offer->size > PeerFrame::kMaxResourceBytes) {
        write(Type::refuse, PeerFrame::reasonBody(offer->transfer, QStringLiteral("size out of range")));
        return;
    }
    if (m_incoming.size() >= static_cast<size_t>(kMaxIncoming)) {
        write(Type::refuse,
              PeerFrame::reasonBody(offer->transfer, QStringLiteral("too many transfers at once")));
        return;
    }
    const Expected<void, QString> reserved = m_space->reserve(m_incomingDir, offer->size, promisedBytes());
    if (!reserved) {
        write(Type::refuse, PeerFrame::reasonBody(offer->transfer, reserved.error()));
        return;
    }
    Incoming incoming;
    incoming.name = offer->name;
    incoming.size = offer->size;
    incoming.file = std::make_unique<QFile>(
        QDir(m_incomingDir)
            .filePath(QUuid::createUuid().toString(QUuid::WithoutBraces) + QStringLiteral(".part")));
    if (!incoming.file->open(QIODevice::WriteOnly)) {
        m_space->release(offer->size);
        write(Type::refuse, PeerFrame::reasonBody(offer->transfer, incoming.file->errorString()));
        return;
    }
    m_incoming.emplace(offer->transfer, std::move(incoming));
    if (m_callbacks.resourceStarted) {
        m_callbacks.resourceStarted(offer->name);
    }
    write(Type::resume, PeerFrame::countBody(offer->transfer, 0));
}

void TcpPeerConnection::handleChunk(const QByteArray& body)
{
    const auto transfer = PeerFrame::parseTransfer(body);
    const auto found = transfer ? m_incoming.find(*transfer) : m_incoming.end();
    if (found == m_incoming.end()) {
        return; // a chunk already in flight when the transfer failed
    }
    Incoming& in = found->second;
    const qint64 bytes = body.size() - 8;
    if (in.received + bytes > in.size) {
        failIncoming(*transfer, QStringLiteral("more bytes than announced"), true);
        return;
    }
    if (in.file->write(body.constData() + 8, bytes) != bytes) {
        failIncoming(*transfer, QStringLiteral("could not write: ") + in.file->errorString(), true);
        return;
    }
    in.received += bytes;
    m_space->release(bytes);
    if (in.received - in.acked >= kAckEveryBytes || in.received == in.size) {
        in.acked = in.received;
        write(Type::ack, PeerFrame::countBody(*transfer, in.received));
    }
}

void TcpPeerConnection::handleEnd(const QByteArray& body)
{
    const auto transfer = PeerFrame::parseTransfer(body);
    const auto found = transfer ? m_incoming.find(*transfer) : m_incoming.end();
    if (found == m_incoming.end()) {
        return;
    }
    Incoming& in = found->second;
    if (in.received != in.size || !in.file->flush()) {
        failIncoming(*transfer, QStringLiteral("the transfer ended early"), true);
        return;
    }
    in.file->close();
    const QString name = in.name;
    const QString path = in.file->fileName();
    m_incoming.erase(found);
    write(Type::done, PeerFrame::transferBody(*transfer));
    if (m_callbacks.resourceFinished) {
        m_callbacks.resourceFinished(name, path, std::nullopt);
    } else {
        QFile::remove(path);
    }
}

void TcpPeerConnection::failIncoming(quint64 transfer, const QString& reason, bool tellPeer)
{
    const auto found = m_incoming.find(transfer);
    if (found == m_incoming.end()) {
        return;
    }
    const QString name = found->second.name;
    found->second.file->remove();
    m_space->release(found->second.size - found->second.received);
    m_incoming.erase(found);
    if (tellPeer) {
        write(Type::fail, PeerFrame::reasonBody(transfer, reason));
    }
    if (m_callbacks.resourceFinished) {
        m_callbacks.resourceFinished(name, QString(), linkError(5, reason));
    }
}

void TcpPeerConnection::checkTransfers()
{
    if (holding()) {
        return; // this side is not taking the peer's chunks or answers (setHeld)
    }
    // Whether `now` moved a chunk past `mark`, or to the end of `size`.
    const auto moved = [](qint64 mark, qint64 now, qint64 size) {
        return now > mark && now - mark >= std::min(kChunkBytes, size - mark);
    };
    std::vector<quint64> stalledIn;
    for (auto& [transfer, in] : m_incoming) {
        in.quietChecks = moved(in.markReceived, in.received, in.size) ? 0 : in.quietChecks + 1;
        in.markReceived = in.received;
        if (in.quietChecks >= 2) {
            stalledIn.push_back(transfer);
        }
    }
    for (const quint64 transfer : stalledIn) {
        failIncoming(transfer, QStringLiteral("the transfer stalled"), true);
    }
    std::vector<quint64> stalledOut;
    for (Outgoing& out : m_outgoing) {
        if (!out.started) {
            continue; // waits for the one before it
        }
        const bool progressed =
            (out.resumed && !out.markResumed) || moved(out.markAcked, out.acked, out.size);
        out.quietChecks = progressed ? 0 : out.quietChecks + 1;
        out.markAcked = out.acked;
        out.markResumed = out.resumed;
        if (out.quietChecks >= 2) {
            stalledOut.push_back(out.transfer);
        }
    }
    for (const quint64 transfer : stalledOut) {
        const QString reason = QStringLiteral("the peer stopped taking the resource");
        write(Type::fail, PeerFrame::reasonBody(transfer, reason));
        finishOutgoing(transfer, linkError(7, reason));
    }
    if (!stalledOut.empty()) {
        startNextOutgoing();
        pump();
    }
}

void TcpPeerConnection::close(const QString& reason)
{
    if (m_state == State::connected) {
        write(Type::bye);
        m_socket->flush();
    }
    shutdown(reason);
}

void TcpPeerConnection::shutdown(const QString& reason)
{
    if (m_state == State::closed) {
        return;
    }
    m_state = State::closed;
    m_answerTimer.stop();
    m_pingTimer.stop();
    m_idleTimer.stop();
    m_stallTimer.stop();
    m_sliceTimer.stop();
    m_socket->disconnect(this);
    m_socket->abort();
    // Partial files go; both ends hear of every transfer that did not finish.
    while (!m_incoming.empty()) {
        auto it = m_incoming.begin();
        const QString name = it->second.name;
        it->second.file->remove();
        m_space->release(it->second.size - it->second.received);
        m_incoming.erase(it);
        if (m_callbacks.resourceFinished) {
            m_callbacks.resourceFinished(name, QString(), linkError(6, reason));
        }
    }
    while (!m_outgoing.empty()) {
        finishOutgoing(m_outgoing.front().transfer, linkError(6, reason));
    }
    const auto closed = std::move(m_callbacks.closed);
    m_callbacks = {};
    if (closed) {
        closed(reason);
    }
}

} // namespace tovarine
