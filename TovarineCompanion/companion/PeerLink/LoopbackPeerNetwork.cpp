#include "LoopbackPeerNetwork.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTimer>
#include <atomic>

namespace tovarine {
namespace {

PeerError notConnectedError()
{
    return {QStringLiteral("PeerLink"), 1, QStringLiteral("The peer is not connected.")};
}

} // namespace

class LoopbackPeerNetwork::Session : public PeerSession
{
public:
    Session(LoopbackPeerNetwork& network, const PeerIdentity& local, const QString& incomingDir)
        : m_network(network), m_local(local), m_incomingDir(incomingDir)
    {
        QDir(incomingDir).removeRecursively();
        QDir().mkpath(incomingDir);
        std::lock_guard lock(m_network.m_mutex);
        m_network.m_sessions.append(this);
    }

    ~Session() override
    {
        disconnect();
        QList<std::function<void()>> parked;
        {
            std::lock_guard lock(m_network.m_mutex);
            m_network.m_sessions.removeAll(this);
            for (const QList<std::function<void()>>& calls : std::as_const(m_parked)) {
                parked.append(calls);
            }
        }
        // Held deliveries end as any to a session that is gone: a resource's sender hears it failed.
        for (std::function<void()>& call : parked) {
            m_network.post(std::move(call));
        }
        m_network.flush();
    }

    PeerIdentity localPeer() const override { return m_local; }
    void setDelegate(PeerSessionDelegate* delegate) override { m_delegate = delegate; }

    Expected<void, PeerError> send(const QByteArray& data, const PeerIdentity& peer) override
    {
        std::lock_guard lock(m_network.m_mutex);
        if (!m_links.contains(peer.id())) {
            return unexpected(notConnectedError());
        }
        const QUuid to = peer.id();
        const PeerIdentity from = m_local;
        LoopbackPeerNetwork* network = &m_network;
        m_network.deliver(to, from.id(), [network, to, from, data] {
            Session* target = network->deliverable(to, from);
            if (target != nullptr && target->m_delegate != nullptr) {
                target->m_delegate.load()->didReceiveData(data, target->m_links.value(from.id()));
            }
        });
        return {};
    }

    void sendResource(const QString& filePath, const QString& name, const PeerIdentity& peer,
                      ResourceCompletion completion) override
    {
        const QUuid to = peer.id();
        const PeerIdentity from = m_local;
        LoopbackPeerNetwork* network = &m_network;
        m_network.deliver(to, from.id(), [network, to, from, filePath, name, completion] {
            Session* target = network->deliverable(to, from);
            if (target == nullptr) {
                completion(notConnectedError());
                return;
            }
            const PeerIdentity sender = target->m_links.value(from.id());
            if (target->m_delegate != nullptr) {
                target->m_delegate.load()->didStartReceivingResource(name, sender);
            }
            std::optional<PeerError> error;
            {
                std::lock_guard lock(network->m_mutex);
                if (network->m_faults.resourceError) {
                    error = network->m_faults.resourceError(name);
                }
            }
            const QString incoming =
                QDir(target->m_incomingDir)
                    .filePath(QUuid::createUuid().toString(QUuid::WithoutBraces) + QStringLiteral(".part"));
            QFile source(filePath);
            QFile destination(incoming);
            if (!error && !source.open(QIODevice::ReadOnly)) {
                error = PeerError{QStringLiteral("PeerLink"), 2, source.errorString()};
            }
            if (!error && !destination.open(QIODevice::WriteOnly)) {
                error = PeerError{QStringLiteral("PeerLink"), 3, destination.errorString()};
            }
            if (!error || destination.isOpen()) {
                // A fault still writes part of the file first, so the clean-up of partial files is exercised.
                const qint64 limit = error ? std::max<qint64>(1, source.size() / 2) : source.size();
                QByteArray chunk;
                qint64 written = 0;
                while (written < limit &&
                       !(chunk = source.read(std::min<qint64>(1 << 20, limit - written))).isEmpty()) {
                    destination.write(chunk);
                    written += chunk.size();
                }
                destination.close();
            }
            if (error) {
                QFile::remove(incoming);
                if (target->m_delegate != nullptr) {
                    target->m_delegate.load()->didFinishReceivingResource(name, sender, QString(), error);
                }
                completion(error);
                return;
            }
            if (target->m_delegate != nullptr) {
                target->m_delegate.load()->didFinishReceivingResource(name, sender, incoming, std::nullopt);
            }
            completion(std::nullopt);
        });
    }

    void disconnect() override
    {
        std::lock_guard lock(m_network.m_mutex);
        for (const QUuid& id : m_links.keys()) {
            if (Session* other = m_network.sessionOf(id)) {
                m_network.unlink(this, other);
            }
        }
        m_links.clear();
    }

    void setReceivingHeld(const PeerIdentity& peer, bool held) override
    {
        std::lock_guard lock(m_network.m_mutex);
        if (held) {
            m_held.insert(peer.id());
            return;
        }
        m_held.remove(peer.id());
        LoopbackPeerNetwork* network = &m_network;
        m_network.post([network, self = this, from = peer.id()] {
            // What waited runs in order, until the peer is held again.
            for (;;) {
                std::function<void()> call;
                {
                    std::lock_guard lock(network->m_mutex);
                    if (!network->m_sessions.contains(self) || self->m_held.contains(from)) {
                        return;
                    }
                    const auto parked = self->m_parked.find(from);
                    if (parked == self->m_parked.end()) {
                        return;
                    }
                    call = parked->takeFirst();
                    if (parked->isEmpty()) {
                        self->m_parked.erase(parked);
                    }
                }
                call();
            }
        });
    }

    void notify(const PeerIdentity& peer, PeerSessionState state)
    {
        LoopbackPeerNetwork* network = &m_network;
        m_network.post([network, self = this, peer, state] {
            std::unique_lock lock(network->m_mutex);
            PeerSessionDelegate* delegate =
                network->m_sessions.contains(self) ? self->m_delegate.load() : nullptr;
            if (delegate == nullptr) {
                return;
            }
            lock.unlock();
            delegate->peerDidChangeState(peer, state);
        });
    }

    LoopbackPeerNetwork& m_network;
    PeerIdentity m_local;
    QString m_incomingDir;
    std::atomic<PeerSessionDelegate*> m_delegate = nullptr;
    QHash<QUuid, PeerIdentity> m_links; // connected peers by id; under the network's mutex
    // Under the network's mutex: peers held back, and their deliveries waiting, in the order sent.
    QSet<QUuid> m_held;
    QHash<QUuid, QList<std::function<void()>>> m_parked;
};

class LoopbackPeerNetwork::Advertiser : public PeerAdvertiser
{
public:
    Advertiser(LoopbackPeerNetwork& network, const PeerIdentity& local, const QString& serviceType)
        : m_network(network), m_local(local), m_serviceType(serviceType)
    {
        std::lock_guard lock(m_network.m_mutex);
        m_network.m_advertisers.append(this);
    }
    ~Advertiser() override;

    void setDelegate(PeerAdvertiserDelegate* delegate) override { m_delegate = delegate; }
    void startAdvertising() override;
    void stopAdvertising() override;

    LoopbackPeerNetwork& m_network;
    PeerIdentity m_local;
    QString m_serviceType;
    std::atomic<PeerAdvertiserDelegate*> m_delegate = nullptr;
    bool m_advertising = false; // under the network's mutex
};

class LoopbackPeerNetwork::Browser : public PeerBrowser
{
public:
    Browser(LoopbackPeerNetwork& network, const PeerIdentity& local, const QString& serviceType)
        : m_network(network), m_local(local), m_serviceType(serviceType)
    {
        std::lock_guard lock(m_network.m_mutex);
        m_network.m_browsers.append(this);
    }

    ~Browser() override
    {
        {
            std::lock_guard lock(m_network.m_mutex);
            m_network.m_browsers.removeAll(this);
        }
        m_network.flush();
    }

    void setDelegate(PeerBrowserDelegate* delegate) override { m_delegate = delegate; }

    void startBrowsing() override
    {
        std::lock_guard lock(m_network.m_mutex);
        if (m_network.m_faults.browsingError) {
            const PeerError error = *m_network.m_faults.browsingError;
            post([error](PeerBrowserDelegate* d) { d->didNotStartBrowsing(error); });
            return;
        }
        m_browsing = true;
        for (Advertiser* advertiser : std::as_const(m_network.m_advertisers)) {
            if (advertiser->m_advertising && advertiser->m_serviceType == m_serviceType) {
                found(advertiser->m_local);
            }
        }
    }

    void stopBrowsing() override
    {
        std::lock_guard lock(m_network.m_mutex);
        m_browsing = false;
    }

    void found(const PeerIdentity& peer)
    {
        post([peer](PeerBrowserDelegate* d) { d->foundPeer(peer); });
    }
    void lost(const PeerIdentity& peer)
    {
        post([peer](PeerBrowserDelegate* d) { d->lostPeer(peer); });
    }

    void invitePeer(const PeerIdentity& peer, PeerSession& session, int timeoutMs) override
    {
        auto* inviter = static_cast<Session*>(&session);
        const PeerIdentity invited = peer;
        LoopbackPeerNetwork* network = &m_network;
        const QString serviceType = m_serviceType;
        m_network.post([network, inviter, invited, timeoutMs, serviceType] {
            std::unique_lock lock(network->m_mutex);
            // As over TCP, inviting a peer already in the session changes nothing (no state is reported).
            if (!network->m_sessions.contains(inviter) || inviter->m_links.contains(invited.id())) {
                return;
            }
            Advertiser* advertiser = nullptr;
            for (Advertiser* a : std::as_const(network->m_advertisers)) {
                if (a->m_advertising && a->m_local == invited && a->m_serviceType == serviceType) {
                    advertiser = a;
                }
            }
            if (advertiser == nullptr || advertiser->m_delegate == nullptr) {
                inviter->notify(invited, PeerSessionState::notConnected);
                return;
            }
            inviter->notify(invited, PeerSessionState::connecting);
            auto answered = std::make_shared<std::atomic<bool>>(false);
            const PeerIdentity from = inviter->m_local;
            QTimer::singleShot(timeoutMs, network->m_worker.context(), [network, inviter, invited, answered] {
                if (!answered->exchange(true)) {
                    std::lock_guard lock(network->m_mutex);
                    if (network->m_sessions.contains(inviter)) {
                        inviter->notify(invited, PeerSessionState::notConnected);
                    }
                }
            });
            PeerAdvertiserDelegate* delegate = advertiser->m_delegate;
            lock.unlock();
            delegate->didReceiveInvitation(
                from, [network, inviter, invited, from, answered](PeerSession* into) {
                    if (answered->exchange(true)) {
                        return; // too late: the invitation timed out
                    }
                    std::lock_guard lock(network->m_mutex);
                    if (!network->m_sessions.contains(inviter)) {
                        return;
                    }
                    auto* acceptor = static_cast<Session*>(into);
                    if (acceptor == nullptr || !network->m_sessions.contains(acceptor)) {
                        inviter->notify(invited, PeerSessionState::notConnected);
                        return;
                    }
                    inviter->m_links.insert(acceptor->m_local.id(), acceptor->m_local);
                    acceptor->m_links.insert(from.id(), from);
                    acceptor->notify(from, PeerSessionState::connecting);
                    acceptor->notify(from, PeerSessionState::connected);
                    inviter->notify(acceptor->m_local, PeerSessionState::connected);
                });
        });
    }

    void post(std::function<void(PeerBrowserDelegate*)> call)
    {
        LoopbackPeerNetwork* network = &m_network;
        m_network.post([network, self = this, call] {
            std::unique_lock lock(network->m_mutex);
            PeerBrowserDelegate* delegate =
                network->m_browsers.contains(self) ? self->m_delegate.load() : nullptr;
            if (delegate == nullptr) {
                return;
            }
            lock.unlock();
            call(delegate);
        });
    }

    LoopbackPeerNetwork& m_network;
    PeerIdentity m_local;
    QString m_serviceType;
    std::atomic<PeerBrowserDelegate*> m_delegate = nullptr;
    bool m_browsing = false; // under the network's mutex
};

LoopbackPeerNetwork::Advertiser::~Advertiser()
{
    stopAdvertising();
    {
        std::lock_guard lock(m_network.m_mutex);
        m_network.m_advertisers.removeAll(this);
    }
    m_network.flush();
}

void LoopbackPeerNetwork::Advertiser::startAdvertising()
{
    std::lock_guard lock(m_network.m_mutex);
    if (m_advertising) {
        return;
    }
    m_advertising = true;
    for (Browser* browser : std::as_const(m_network.m_browsers)) {
        if (browser->m_browsing && browser->m_serviceType == m_serviceType) {
            browser->found(m_local);
        }
    }
}

void LoopbackPeerNetwork::Advertiser::stopAdvertising()
{
    std::lock_guard lock(m_network.m_mutex);
    if (!m_advertising) {
        return;
    }
    m_advertising = false;
    for (Browser* browser : std::as_const(m_network.m_browsers)) {
        if (browser->m_browsing && browser->m_serviceType == m_serviceType) {
            browser->lost(m_local);
        }
    }
}

LoopbackPeerNetwork::LoopbackPeerNetwork() : m_worker(QStringLiteral("loopback peer network")) {}

LoopbackPeerNetwork::~LoopbackPeerNetwork() = default;

std::unique_ptr<PeerSession> LoopbackPeerNetwork::makeSession(const PeerIdentity& local,
                                                              const QString& incomingDir)
{
    return std::make_unique<Session>(*this, local, incomingDir);
}

std::unique_ptr<PeerBrowser> LoopbackPeerNetwork::makeBrowser(const PeerIdentity& local,
                                                              const QString& serviceType)
{
    return std::make_unique<Browser>(*this, local, serviceType);
}

std::unique_ptr<PeerAdvertiser> LoopbackPeerNetwork::makeAdvertiser(const PeerIdentity& local,
                                                                    const QString& serviceType)
{
    return std::make_unique<Advertiser>(*this, local, serviceType);
}

void LoopbackPeerNetwork::setFaults(const Faults& faults)
{
    std::lock_guard lock(m_mutex);
    m_faults = faults;
}

void LoopbackPeerNetwork::dropConnections(const PeerIdentity& peer)
{
    std::lock_guard lock(m_mutex);
    Session* session = sessionOf(peer.id());
    if (session == nullptr) {
        return;
    }
    session->disconnect();
}

void LoopbackPeerNetwork::post(std::function<void()> work)
{
    m_worker.post(std::move(work));
}

void LoopbackPeerNetwork::deliver(const QUuid& to, const QUuid& from, std::function<void()> delivery)
{
    m_worker.post([this, to, from, delivery = std::move(delivery)]() mutable {
        {
            std::lock_guard lock(m_mutex);
            Session* target = sessionOf(to);
            if (target != nullptr &&
                (target->m_held.contains(from) || target->m_parked.contains(from))) {
                target->m_parked[from].append(std::move(delivery));
                return;
            }
        }
        delivery();
    });
}

void LoopbackPeerNetwork::flush()
{
    m_worker.runAndWait([] {});
}

void LoopbackPeerNetwork::unlink(Session* a, Session* b)
{
    const PeerIdentity aPeer = a->m_local;
    const PeerIdentity bPeer = b->m_local;
    if (a->m_links.remove(bPeer.id()) > 0) {
        a->notify(bPeer, PeerSessionState::notConnected);
    }
    if (b->m_links.remove(aPeer.id()) > 0) {
        b->notify(aPeer, PeerSessionState::notConnected);
    }
}

LoopbackPeerNetwork::Session* LoopbackPeerNetwork::deliverable(const QUuid& to, const PeerIdentity& from)
{
    std::lock_guard lock(m_mutex);
    Session* target = sessionOf(to);
    if (target == nullptr || !target->m_links.contains(from.id())) {
        return nullptr;
    }
    return target;
}

LoopbackPeerNetwork::Session* LoopbackPeerNetwork::sessionOf(const QUuid& peer) const
{
    for (Session* session : m_sessions) {
        if (session->m_local.id() == peer) {
            return session;
        }
    }
    return nullptr;
}

} // namespace tovarine
