#pragma once

#include "PeerLink.h"
#include "PeerWorkerThread.h"

#include <QHash>
#include <QObject>
#include <mutex>

namespace tovarine {

// An in-process transport: every session, browser and advertiser made from one network meets the others in
// the same process. One worker thread delivers every callback, in order. Tests set faults to make transfers
// fail or connections drop. Operations: any thread. Destroying a session, browser or advertiser waits until
// callbacks already under way have returned, and none follows.
class LoopbackPeerNetwork : public PeerTransport
{
public:
    struct Faults
    {
        // Called for every resource sent; an error makes the transfer fail after part of the file was
        // written to the receiver's incoming folder (which the transport then removes).
        std::function<std::optional<PeerError>(const QString& resourceName)> resourceError;
        // Browsing fails to start with this error.
        std::optional<PeerError> browsingError;
    };

    LoopbackPeerNetwork();
    ~LoopbackPeerNetwork() override;

    std::unique_ptr<PeerSession> makeSession(const PeerIdentity& local, const QString& incomingDir) override;
    std::unique_ptr<PeerBrowser> makeBrowser(const PeerIdentity& local, const QString& serviceType) override;
    std::unique_ptr<PeerAdvertiser> makeAdvertiser(const PeerIdentity& local,
                                                   const QString& serviceType) override;

    void setFaults(const Faults& faults);
    // Breaks every connection of `peer`, as a lost radio link would: both ends hear notConnected.
    void dropConnections(const PeerIdentity& peer);

    class Session;
    class Browser;
    class Advertiser;

private:
    friend class Session;
    friend class Browser;
    friend class Advertiser;

    void post(std::function<void()> work);
    // Posts a delivery from `from` to the session of `to`; it waits while that session holds `from` back.
    void deliver(const QUuid& to, const QUuid& from, std::function<void()> delivery);
    void flush(); // returns once everything posted before has run
    void unlink(Session* a, Session* b);
    Session* sessionOf(const QUuid& peer) const; // under m_mutex
    // The session of `to`, when it still exists and is connected to `from`.
    Session* deliverable(const QUuid& to, const PeerIdentity& from);

    PeerWorkerThread m_worker;
    mutable std::recursive_mutex m_mutex;
    QList<Session*> m_sessions;
    QList<Browser*> m_browsers;
    QList<Advertiser*> m_advertisers;
    Faults m_faults;
};

} // namespace tovarine
