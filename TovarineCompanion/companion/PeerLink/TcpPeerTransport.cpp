#include "TcpPeerTransport.h"

#include "TcpPeerConnection.h"

#include <QDir>
#include <QElapsedTimer>
#include <QMutex>
#include <QPointer>
#include <QSet>
#include <QStandardPaths>
#include <QTcpServer>
#include <algorithm>
#include <atomic>
#include <deque>
#include <sys/socket.h>
#include <unistd.h>

namespace tovarine {
namespace {

PeerError notConnectedError()
{
    return {QStringLiteral("PeerLink"), 1, QStringLiteral("The peer is not connected.")};
}

// The session's state; lives on the transport's thread. `connected` is also read from callers' threads.
class SessionCore : public QObject
{
public:
    SessionCore(const PeerIdentity& local, const QString& incomingDir, const TlsIdentity& identity,
                std::shared_ptr<IncomingSpace> space, const TcpPeerConnection::Limits& limits)
        : m_local(local), m_incomingDir(incomingDir), m_identity(identity), m_space(std::move(space)),
          m_limits(limits)
    {
    }

    void connectTo(const PeerDiscovery::Endpoint& endpoint, int timeoutMs)
    {
        if (m_connections.contains(endpoint.peer.id())) {
            return;
        }
        const auto waiting = std::find_if(m_waiting.begin(), m_waiting.end(), [&](const Waiting& w) {
            return w.endpoint.peer.id() == endpoint.peer.id();
        });
        if (waiting != m_waiting.end()) {
            waiting->endpoint = endpoint; // invited again: it keeps its place, at the address now advertised
            waiting->timeoutMs = timeoutMs;
            return;
        }
        notify(endpoint.peer, PeerSessionState::connecting);
        // Every advertised peer may be invited, but a machine advertising many cannot have this side dial
        // them all at once: past the limits an invitation waits for a place, in a line no one address can
        // hold (dialWaiting). Its time-out runs from its dialling.
        m_waiting.push_back({endpoint, timeoutMs});
        dialWaiting();
    }

    // An invited peer is no longer advertised: its invitation, if it still waits for a place, ends.
    void peerGone(const QUuid& peer)
    {
        const auto waiting = std::find_if(m_waiting.begin(), m_waiting.end(),
                                          [&](const Waiting& w) { return w.endpoint.peer.id() == peer; });
        if (waiting == m_waiting.end()) {
            return;
        }
        const PeerIdentity identity = waiting->endpoint.peer;
        m_waiting.erase(waiting);
        notify(identity, PeerSessionState::notConnected);
    }

    // An invited connection whose invitation was accepted into this session.
    void adopt(TcpPeerConnection* connection)
    {
        const PeerIdentity remote = connection->remote();
        if (m_connections.contains(remote.id())) {
            connection->decline();
            return;
        }
        connection->setParent(this);
        m_connections.insert(remote.id(), connection);
        attach(connection, remote);
        connection->accept(m_local, m_incomingDir);
        notify(remote, PeerSessionState::connecting);
        markConnected(remote);
    }

    void sendData(const QUuid& peer, const QByteArray& data)
    {
        if (TcpPeerConnection* connection = m_connections.value(peer);
            connection && connection->isConnected()) {
            connection->sendData(data);
        }
    }

    void sendResource(const QUuid& peer, const QString& path, const QString& name,
                      PeerSession::ResourceCompletion completion)
    {
        TcpPeerConnection* connection = m_connections.value(peer);
        if (connection == nullptr) {
            completion(notConnectedError());
            return;
        }
        connection->sendResource(path, name, std::move(completion));
    }

    void setHeld(const QUuid& peer, bool held)
    {
        if (held) {
            m_held.insert(peer);
        } else {
            m_held.remove(peer);
        }
        if (TcpPeerConnection* connection = m_connections.value(peer)) {
            connection->setHeld(held);
        }
    }

    void disconnectAll()
    {
        for (const Waiting& waiting : std::exchange(m_waiting, {})) {
            notify(waiting.endpoint.peer, PeerSessionState::notConnected);
        }
        for (TcpPeerConnection* connection : m_connections.values()) {
            connection->close(QStringLiteral("left the session"));
        }
    }

    void shutdown()
    {
        m_delegate = nullptr;
        disconnectAll();
    }

    bool isConnected(const QUuid& peer) const
    {
        QMutexLocker lock(&m_connectedMutex);
        return m_connected.contains(peer);
    }

    void notify(const PeerIdentity& peer, PeerSessionState state)
    {
        if (PeerSessionDelegate* delegate = m_delegate) {
            delegate->peerDidChangeState(peer, state);
        }
    }

    std::atomic<PeerSessionDelegate*> m_delegate = nullptr;
    PeerIdentity m_local;

private:
    struct Waiting
    {
        PeerDiscovery::Endpoint endpoint;
        int timeoutMs = 0;
    };

    // Dials waiting invitations while there are places. Of those whose address has a place, the one whose
    // address has the fewest invitations under way goes first, ties in the order they came: a machine with
    // many peers in line takes its turn beside the others, never before all of them.
    void dialWaiting()
    {
        while (!m_waiting.empty()) {
            qsizetype underWay = 0;
            QHash<QHostAddress, qsizetype> toAddress;
            for (const TcpPeerConnection* connection : std::as_const(m_connections)) {
                if (!connection->isConnected()) {
                    ++underWay;
                    ++toAddress[connection->peerAddress()];
                }
            }
            if (underWay >= TcpPeerTransport::kMaxInvitationsUnderWay) {
                return;
            }
            auto next = m_waiting.end();
            for (auto it = m_waiting.begin(); it != m_waiting.end(); ++it) {
                const qsizetype at = toAddress.value(it->endpoint.address);
                if (at < TcpPeerTransport::kMaxInvitationsUnderWayPerAddress &&
                    (next == m_waiting.end() || at < toAddress.value(next->endpoint.address))) {
                    next = it;
                }
            }
            if (next == m_waiting.end()) {
                return;
            }
            const Waiting waiting = *next;
            m_waiting.erase(next);
            auto* connection = TcpPeerConnection::connectTo(
                waiting.endpoint.address, waiting.endpoint.port, m_identity, m_local, waiting.endpoint.peer,
                m_incomingDir, m_space, waiting.timeoutMs, m_limits, this);
            m_connections.insert(waiting.endpoint.peer.id(), connection);
            attach(connection, waiting.endpoint.peer);
        }
    }

    void markConnected(const PeerIdentity& remote)
    {
        {
            QMutexLocker lock(&m_connectedMutex);
            m_connected.insert(remote.id());
        }
        notify(remote, PeerSessionState::connected);
        dialWaiting(); // one invitation fewer under way
    }

    void attach(TcpPeerConnection* connection, const PeerIdentity& expected)
    {
        TcpPeerConnection::Callbacks callbacks;
        callbacks.accepted = [this](const PeerIdentity& remote) { markConnected(remote); };
        callbacks.data = [this, connection](const QByteArray& data) {
            if (PeerSessionDelegate* delegate = m_delegate) {
                delegate->didReceiveData(data, connection->remote());
            }
        };
        callbacks.resourceStarted = [this, connection](const QString& name) {
            if (PeerSessionDelegate* delegate = m_delegate) {
                delegate->didStartReceivingResource(name, connection->remote());
            }
        };
        callbacks.resourceFinished = [this, connection](const QString& name, const QString& path,
                                                        const std::optional<PeerError>& error) {
            if (PeerSessionDelegate* delegate = m_delegate) {
                delegate->didFinishReceivingResource(name, connection->remote(), path, error);
            } else {
                QFile::remove(path);
            }
        };
        callbacks.closed = [this, connection, expected](const QString&) {
            m_connections.remove(expected.id());
            {
                QMutexLocker lock(&m_connectedMutex);
                m_connected.remove(expected.id());
            }
            const PeerIdentity remote = connection->remote().isNull() ? expected : connection->remote();
            connection->deleteLater();
            notify(remote, PeerSessionState::notConnected);
            dialWaiting();
        };
        connection->setCallbacks(std::move(callbacks));
        connection->setHeld(m_held.contains(expected.id()));
    }

    QString m_incomingDir;
    TlsIdentity m_identity;
    std::shared_ptr<IncomingSpace> m_space;
    TcpPeerConnection::Limits m_limits;
    QHash<QUuid, TcpPeerConnection*> m_connections; // keyed by the peer's identity, children of this
    std::deque<Waiting> m_waiting;                  // invitations waiting for a place, in order of invitation
    mutable QMutex m_connectedMutex;
    QSet<QUuid> m_connected;
    QSet<QUuid> m_held; // peers whose frames wait (PeerSession::setReceivingHeld)
};

class Session : public PeerSession
{
public:
    Session(TcpPeerTransport& transport, const PeerIdentity& local, const QString& incomingDir)
        : m_transport(transport)
    {
        QDir(incomingDir).removeRecursively();
        QDir().mkpath(incomingDir);
        transport.runOnThread([&] {
            m_core = new SessionCore(local, incomingDir, transport.options().identity,
                                     transport.incomingSpace(), transport.options().limits);
        });
    }

    ~Session() override
    {
        m_transport.runOnThread([core = m_core] {
            core->shutdown();
            delete core;
        });
    }

    PeerIdentity localPeer() const override { return m_core->m_local; }
    void setDelegate(PeerSessionDelegate* delegate) override { m_core->m_delegate = delegate; }

    Expected<void, PeerError> send(const QByteArray& data, const PeerIdentity& peer) override
    {
        if (!m_core->isConnected(peer.id())) {
            return unexpected(notConnectedError());
        }
        m_transport.post([core = m_core, id = peer.id(), data] { core->sendData(id, data); });
        return {};
    }

    void sendResource(const QString& filePath, const QString& name, const PeerIdentity& peer,
                      ResourceCompletion completion) override
    {
        m_transport.post([core = m_core, id = peer.id(), filePath, name, completion] {
            core->sendResource(id, filePath, name, completion);
        });
    }

    void disconnect() override
    {
        m_transport.post([core = m_core] { core->disconnectAll(); });
    }

    void setReceivingHeld(const PeerIdentity& peer, bool held) override
    {
        const auto apply = [core = m_core, id = peer.id(), held] { core->setHeld(id, held); };
        if (held) {
            m_transport.runOnThread(apply); // at once from a delegate callback
        } else {
            m_transport.post(apply);
        }
    }

    SessionCore* core() const { return m_core; }

private:
    TcpPeerTransport& m_transport;
    SessionCore* m_core = nullptr; // on the transport's thread
};

class BrowserCore : public QObject
{
public:
    BrowserCore(PeerDiscovery& discovery, const QString& serviceType)
        : m_discovery(discovery), m_serviceType(serviceType)
    {
    }

    void start()
    {
        if (m_browse) {
            return;
        }
        PeerDiscovery::BrowseCallbacks callbacks;
        callbacks.found = [this](const PeerDiscovery::Endpoint& endpoint) {
            m_endpoints.insert(endpoint.peer.id(), endpoint);
            if (PeerBrowserDelegate* delegate = m_delegate) {
                delegate->foundPeer(endpoint.peer);
            }
        };
        callbacks.lost = [this](const PeerIdentity& peer) {
            m_endpoints.remove(peer.id());
            forgetWaiting(peer.id());
            if (PeerBrowserDelegate* delegate = m_delegate) {
                delegate->lostPeer(peer);
            }
        };
        callbacks.failed = [this](const PeerError& error) {
            m_browse.reset();
            if (PeerBrowserDelegate* delegate = m_delegate) {
                delegate->didNotStartBrowsing(error);
            }
        };
        m_browse = m_discovery.browse(m_serviceType, std::move(callbacks));
    }

    void stop()
    {
        m_browse.reset();
        for (const QUuid& peer : m_endpoints.keys()) {
            forgetWaiting(peer);
        }
        m_endpoints.clear();
    }

    void invite(const PeerIdentity& peer, SessionCore* session, int timeoutMs)
    {
        const auto endpoint = m_endpoints.constFind(peer.id());
        if (endpoint == m_endpoints.cend()) {
            session->notify(peer, PeerSessionState::notConnected);
            return;
        }
        m_sessions.removeIf([](const QPointer<SessionCore>& s) { return s.isNull(); });
        if (!m_sessions.contains(session)) {
            m_sessions.append(session);
        }
        session->connectTo(*endpoint, timeoutMs);
    }

    std::atomic<PeerBrowserDelegate*> m_delegate = nullptr;

private:
    // A peer no longer advertised leaves the line of every session it was invited into.
    void forgetWaiting(const QUuid& peer)
    {
        for (const QPointer<SessionCore>& session : std::as_const(m_sessions)) {
            if (session) {
                session->peerGone(peer);
            }
        }
    }

    PeerDiscovery& m_discovery;
    QString m_serviceType;
    std::unique_ptr<QObject> m_browse;
    QHash<QUuid, PeerDiscovery::Endpoint> m_endpoints;
    QList<QPointer<SessionCore>> m_sessions; // invited into (on this thread, so the guards are safe)
};

class Browser : public PeerBrowser
{
public:
    Browser(TcpPeerTransport& transport, const QString& serviceType) : m_transport(transport)
    {
        transport.runOnThread([&] { m_core = new BrowserCore(*transport.options().discovery, serviceType); });
    }
    ~Browser() override
    {
        m_transport.runOnThread([core = m_core] {
            core->m_delegate = nullptr;
            delete core;
        });
    }

    void setDelegate(PeerBrowserDelegate* delegate) override { m_core->m_delegate = delegate; }
    void startBrowsing() override
    {
        m_transport.post([core = m_core] { core->start(); });
    }
    void stopBrowsing() override
    {
        m_transport.post([core = m_core] { core->stop(); });
    }
    void invitePeer(const PeerIdentity& peer, PeerSession& session, int timeoutMs) override
    {
        SessionCore* sessionCore = static_cast<Session&>(session).core();
        m_transport.post(
            [core = m_core, peer, sessionCore, timeoutMs] { core->invite(peer, sessionCore, timeoutMs); });
    }

private:
    TcpPeerTransport& m_transport;
    BrowserCore* m_core = nullptr;
};

class AdvertiserCore : public QTcpServer
{
public:
    AdvertiserCore(TcpPeerTransport& transport, const PeerIdentity& local, const QString& serviceType)
        : m_transport(transport), m_local(local), m_serviceType(serviceType)
    {
        m_clock.start();
    }

    void start()
    {
        if (isListening()) {
            return;
        }
        if (!listen(m_transport.options().listenAddress, 0)) {
            if (PeerAdvertiserDelegate* delegate = m_delegate) {
                delegate->didNotStartAdvertising({QStringLiteral("PeerLink"), 7, errorString()});
            }
            return;
        }
        m_published = m_transport.options().discovery->publish(
            m_serviceType, m_local, serverPort(), [this](const PeerError& error) {
                if (PeerAdvertiserDelegate* delegate = m_delegate) {
                    delegate->didNotStartAdvertising(error);
                }
            });
    }

    void stop()
    {
        m_published.reset();
        close();
        qDeleteAll(findChildren<TcpPeerConnection*>(Qt::FindDirectChildrenOnly));
    }

    std::atomic<PeerAdvertiserDelegate*> m_delegate = nullptr;

protected:
    void incomingConnection(qintptr descriptor) override
    {
        if (!admit(callerAddress(descriptor))) {
            ::close(static_cast<int>(descriptor)); // before any TLS work
            return;
        }
        TcpPeerConnection* connection = TcpPeerConnection::fromDescriptor(
            descriptor, m_transport.options().identity, QString(), m_transport.incomingSpace(),
            m_transport.options().limits, this);
        TcpPeerConnection::Callbacks callbacks;
        callbacks.hello = [this, connection](const PeerIdentity& remote) {
            PeerAdvertiserDelegate* delegate = m_delegate;
            if (delegate == nullptr) {
                connection->decline();
                return;
            }
            auto answered = std::make_shared<std::atomic<bool>>(false);
            QPointer<TcpPeerConnection> guard(connection);
            TcpPeerTransport* transport = &m_transport;
            delegate->didReceiveInvitation(remote, [transport, guard, answered](PeerSession* into) {
                if (answered->exchange(true)) {
                    return;
                }
                SessionCore* session = into != nullptr ? static_cast<Session*>(into)->core() : nullptr;
                transport->post([guard, session] {
                    if (!guard) {
                        return;
                    }
                    if (session == nullptr) {
                        guard->decline();
                    } else {
                        session->adopt(guard.data());
                    }
                });
            });
        };
        callbacks.closed = [connection](const QString&) { connection->deleteLater(); };
        connection->setCallbacks(std::move(callbacks));
    }

private:
    static QHostAddress callerAddress(qintptr descriptor)
    {
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        if (::getpeername(static_cast<int>(descriptor), reinterpret_cast<sockaddr*>(&address), &length) !=
            0) {
            return {};
        }
        return QHostAddress(reinterpret_cast<const sockaddr*>(&address));
    }

    // Whether a caller from `address` may begin a handshake now; counts it when so.
    bool admit(const QHostAddress& address)
    {
        const QList<TcpPeerConnection*> pending =
            findChildren<TcpPeerConnection*>(Qt::FindDirectChildrenOnly);
        const auto fromCaller = std::count_if(pending.cbegin(), pending.cend(), [&](TcpPeerConnection* c) {
            return c->peerAddress() == address;
        });
        const qint64 nowMs = m_clock.elapsed();
        while (!m_handshakes.empty() &&
               nowMs - m_handshakes.front().first >= m_transport.options().limits.handshakeWindowMs) {
            m_handshakes.pop_front();
        }
        const auto recentFromCaller =
            std::count_if(m_handshakes.cbegin(), m_handshakes.cend(),
                          [&](const auto& start) { return start.second == address; });
        // Pending connections are this object's children; accepted ones belong to their session.
        if (pending.size() >= TcpPeerTransport::kMaxPendingInvitations ||
            fromCaller >= TcpPeerTransport::kMaxPendingPerAddress ||
            m_handshakes.size() >= static_cast<size_t>(TcpPeerTransport::kMaxHandshakes) ||
            recentFromCaller >= TcpPeerTransport::kMaxHandshakesPerAddress) {
            return false;
        }
        m_handshakes.emplace_back(nowMs, address);
        return true;
    }

    TcpPeerTransport& m_transport;
    PeerIdentity m_local;
    QString m_serviceType;
    std::unique_ptr<QObject> m_published;
    QElapsedTimer m_clock;
    std::deque<std::pair<qint64, QHostAddress>> m_handshakes; // when and from where, oldest first
};

class Advertiser : public PeerAdvertiser
{
public:
    Advertiser(TcpPeerTransport& transport, const PeerIdentity& local, const QString& serviceType)
        : m_transport(transport)
    {
        transport.runOnThread([&] { m_core = new AdvertiserCore(transport, local, serviceType); });
    }
    ~Advertiser() override
    {
        m_transport.runOnThread([core = m_core] {
            core->m_delegate = nullptr;
            core->stop();
            delete core;
        });
    }

    void setDelegate(PeerAdvertiserDelegate* delegate) override { m_core->m_delegate = delegate; }
    void startAdvertising() override
    {
        m_transport.post([core = m_core] { core->start(); });
    }
    void stopAdvertising() override
    {
        m_transport.post([core = m_core] { core->stop(); });
    }

private:
    TcpPeerTransport& m_transport;
    AdvertiserCore* m_core = nullptr;
};

} // namespace

TcpPeerTransport::TcpPeerTransport(Options options)
    : m_options(std::move(options)), m_space(std::make_shared<IncomingSpace>(m_options.freeBytes)),
      m_worker(QStringLiteral("tcp peer transport"))
{
}

TcpPeerTransport::~TcpPeerTransport() = default;

Expected<std::shared_ptr<TcpPeerTransport>, QString> TcpPeerTransport::makeDefault()
{
    const QString path = QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
                             .filePath(QStringLiteral("TovarineCompanion/peer-identity.pem"));
    Expected<TlsIdentity, QString> identity = TlsIdentity::loadOrCreate(path);
    if (!identity) {
        return unexpected(identity.error());
    }
    return std::make_shared<TcpPeerTransport>(Options{std::make_shared<AvahiPeerDiscovery>(), *identity});
}

void TcpPeerTransport::runOnThread(const std::function<void()>& work)
{
    m_worker.runAndWait(work);
}

void TcpPeerTransport::post(std::function<void()> work)
{
    m_worker.post(std::move(work));
}

std::unique_ptr<PeerSession> TcpPeerTransport::makeSession(const PeerIdentity& local,
                                                           const QString& incomingDir)
{
    return std::make_unique<Session>(*this, local, incomingDir);
}

std::unique_ptr<PeerBrowser> TcpPeerTransport::makeBrowser(const PeerIdentity&, const QString& serviceType)
{
    return std::make_unique<Browser>(*this, serviceType);
}

std::unique_ptr<PeerAdvertiser> TcpPeerTransport::makeAdvertiser(const PeerIdentity& local,
                                                                 const QString& serviceType)
{
    return std::make_unique<Advertiser>(*this, local, serviceType);
}

} // namespace tovarine
