#pragma once

#include "Expected.h"
#include "PeerIdentity.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

namespace tovarine {

// The peer-to-peer layer the phone link runs on: a browser finds advertised peers and invites them into a
// session; the advertiser at the other end accepts or declines; connected peers exchange reliable data
// messages and named file resources. Transports implement these interfaces (in-process loopback, TCP+TLS).
//
// Threads: operations may be called from any thread. Delegate callbacks arrive on a thread of the transport,
// never the GUI thread, one at a time and, per peer, in wire order: data messages in the order they were
// sent, resources in the order they were sent, and a resource after every message sent before it (a message
// sent while a resource streams may arrive before that resource ends). A delegate must stay alive while its
// object exists.

enum class PeerSessionState { notConnected = 0, connecting = 1, connected = 2 };

class PeerSessionDelegate
{
public:
    virtual ~PeerSessionDelegate() = default;
    virtual void peerDidChangeState(const PeerIdentity& peer, PeerSessionState state) = 0;
    virtual void didReceiveData(const QByteArray& data, const PeerIdentity& peer) = 0;
    virtual void didStartReceivingResource(const QString& name, const PeerIdentity& peer) = 0;
    // A resource arrived (error empty, localPath the received file) or failed (error set, localPath empty).
    // The file belongs to the delegate from here on: it moves or removes it. What is left in the transport's
    // incoming folder is removed when the next session with that folder is made.
    virtual void didFinishReceivingResource(const QString& name, const PeerIdentity& peer,
                                            const QString& localPath,
                                            const std::optional<PeerError>& error) = 0;
};

class PeerSession
{
public:
    using ResourceCompletion = std::function<void(const std::optional<PeerError>& error)>;

    virtual ~PeerSession() = default;
    virtual PeerIdentity localPeer() const = 0;
    virtual void setDelegate(PeerSessionDelegate* delegate) = 0;

    // Sends one reliable data message. Fails at once (nothing is sent) when the peer is not connected.
    virtual Expected<void, PeerError> send(const QByteArray& data, const PeerIdentity& peer) = 0;
    // Sends a file as a named resource, streamed from disk. `completion` is called once, on a transport
    // thread, when the peer has the whole file (no error) or the transfer failed.
    virtual void sendResource(const QString& filePath, const QString& name, const PeerIdentity& peer,
                              ResourceCompletion completion) = 0;
    // Leaves the session: every connected peer goes to notConnected on both sides.
    virtual void disconnect() = 0;
    // Holds back what `peer` sends while the delegate is behind with it: no more of its data messages or
    // resources reach the delegate, and the transport takes nothing more off the wire from it, so the peer
    // waits as on a slow link; nothing is lost. Holding neither times the peer out nor stalls its transfers.
    // The hold stays with the peer's identity (through a reconnection) until it is lifted. Holding from
    // within a delegate callback takes effect before the next callback; lifting, from any thread, soon.
    virtual void setReceivingHeld(const PeerIdentity& peer, bool held) = 0;
};

class PeerBrowserDelegate
{
public:
    virtual ~PeerBrowserDelegate() = default;
    virtual void foundPeer(const PeerIdentity& peer) = 0;
    virtual void lostPeer(const PeerIdentity& peer) = 0;
    virtual void didNotStartBrowsing(const PeerError& error) = 0;
};

class PeerBrowser
{
public:
    virtual ~PeerBrowser() = default;
    virtual void setDelegate(PeerBrowserDelegate* delegate) = 0;
    virtual void startBrowsing() = 0;
    virtual void stopBrowsing() = 0;
    // Invites a found peer into `session`. The session's delegate hears connecting, then connected when the
    // peer accepts, or notConnected when it declines or does not answer within `timeoutMs`.
    virtual void invitePeer(const PeerIdentity& peer, PeerSession& session, int timeoutMs) = 0;
};

class PeerAdvertiserDelegate
{
public:
    virtual ~PeerAdvertiserDelegate() = default;
    // Call `answer` once (any thread): with a session to accept into it, or with null to decline.
    virtual void didReceiveInvitation(const PeerIdentity& from,
                                      std::function<void(PeerSession* acceptInto)> answer) = 0;
    virtual void didNotStartAdvertising(const PeerError& error) = 0;
};

class PeerAdvertiser
{
public:
    virtual ~PeerAdvertiser() = default;
    virtual void setDelegate(PeerAdvertiserDelegate* delegate) = 0;
    virtual void startAdvertising() = 0;
    virtual void stopAdvertising() = 0;
};

// Makes the three objects for one local peer. `incomingDir` is where received resources are written; it is
// emptied when the session is made.
class PeerTransport
{
public:
    virtual ~PeerTransport() = default;
    virtual std::unique_ptr<PeerSession> makeSession(const PeerIdentity& local,
                                                     const QString& incomingDir) = 0;
    virtual std::unique_ptr<PeerBrowser> makeBrowser(const PeerIdentity& local,
                                                     const QString& serviceType) = 0;
    virtual std::unique_ptr<PeerAdvertiser> makeAdvertiser(const PeerIdentity& local,
                                                           const QString& serviceType) = 0;
};

} // namespace tovarine
