#pragma once

#include "IncomingSpace.h"
#include "PeerDiscovery.h"
#include "PeerLink.h"
#include "PeerWorkerThread.h"
#include "TcpPeerConnection.h"
#include "TlsIdentity.h"

#include <QHostAddress>

namespace tovarine {

// The peer layer over TCP with TLS: an advertiser listens on a port it announces through discovery; a
// browser's invitation connects to it. Frames are described in PeerFrame.h. All sockets of one transport
// run on its own thread, which also delivers every callback, in wire order. Operations: any thread.
// Destroying a session, browser or advertiser closes what it holds and waits until its callbacks are over.
class TcpPeerTransport : public PeerTransport
{
public:
    struct Options
    {
        std::shared_ptr<PeerDiscovery> discovery;
        TlsIdentity identity;
        QHostAddress listenAddress = QHostAddress::Any; // where advertisers listen
        IncomingSpace::FreeBytes freeBytes = {};        // empty: the file system's own figure
        TcpPeerConnection::Limits limits = {};          // how long peers may keep this side waiting
    };

    // An advertiser's callers: connections not answered yet, in all and from one address, so one caller
    // cannot take every place; and TLS handshakes begun within Limits::handshakeWindowMs, from one address
    // and in all, so a caller that connects, shakes hands and hangs up in a loop gets a handful of
    // handshakes, not a core. Callers over a limit are closed before any TLS work.
    static constexpr int kMaxPendingInvitations = 8;
    static constexpr int kMaxPendingPerAddress = 2;
    static constexpr int kMaxHandshakesPerAddress = 16;
    static constexpr int kMaxHandshakes = 64;
    // A session's invitations not answered yet, in all and to one address. One more waits (connecting) until
    // a place frees, in a line where the address with the fewest under way goes first, and ends
    // notConnected if its peer stops being advertised first; its time-out runs from its dialling.
    static constexpr int kMaxInvitationsUnderWay = 8;
    static constexpr int kMaxInvitationsUnderWayPerAddress = 2;

    explicit TcpPeerTransport(Options options);
    ~TcpPeerTransport() override;

    // Avahi discovery and this user's TLS identity (<config>/TovarineCompanion/peer-identity.pem, made at
    // first use), or why the identity could not be had.
    static Expected<std::shared_ptr<TcpPeerTransport>, QString> makeDefault();

    std::unique_ptr<PeerSession> makeSession(const PeerIdentity& local, const QString& incomingDir) override;
    std::unique_ptr<PeerBrowser> makeBrowser(const PeerIdentity& local, const QString& serviceType) override;
    std::unique_ptr<PeerAdvertiser> makeAdvertiser(const PeerIdentity& local,
                                                   const QString& serviceType) override;

    // Runs `work` on the transport's thread and waits for it (at once when already there).
    void runOnThread(const std::function<void()>& work);
    // Runs `work` on the transport's thread later.
    void post(std::function<void()> work);

    const Options& options() const { return m_options; }
    // Disk space promised to resources being received, over every connection of this transport.
    const std::shared_ptr<IncomingSpace>& incomingSpace() const { return m_space; }

private:
    Options m_options;
    std::shared_ptr<IncomingSpace> m_space;
    PeerWorkerThread m_worker;
};

} // namespace tovarine
