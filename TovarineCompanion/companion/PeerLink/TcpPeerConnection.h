#pragma once

#include "IncomingSpace.h"
#include "PeerFrame.h"
#include "PeerLink.h"
#include "TlsIdentity.h"

#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QObject>
#include <QSslSocket>
#include <QTimer>
#include <deque>
#include <functional>
#include <memory>
#include <unordered_map>

namespace tovarine {

// One TLS connection between two peers of the TCP transport: the invitation handshake, then data messages
// and resource transfers in both directions, with a keep-alive. Resources stream from file to socket and
// socket to file in chunks under a window of unacknowledged bytes, so memory stays flat whatever their size.
// Lives on the transport's thread and is used only there; its callbacks run there, in wire order.
class TcpPeerConnection : public QObject
{
    Q_OBJECT
public:
    // Chunk size, the unacknowledged bytes a sender may have in flight, and how often the receiver
    // acknowledges.
    static constexpr qint64 kChunkBytes = 1024 * 1024;
    static constexpr qint64 kWindowBytes = 16 * 1024 * 1024;
    static constexpr qint64 kAckEveryBytes = 2 * 1024 * 1024;
    // Resources received at once on one connection (their bytes are limited by IncomingSpace too).
    static constexpr int kMaxIncoming = 16;
    // Frames are counted in slices of this long (Limits::framesPerSlice).
    static constexpr int kSliceMs = 100;
    // What the socket holds unread at most (smaller reads cost a resource stream much of its rate); a frame
    // being assembled is held apart from it (PeerFrame::Reader).
    static constexpr qint64 kReadBufferBytes = 4 * 1024 * 1024;

    // How long a peer may keep this side waiting.
    struct Limits
    {
        // No whole frame from a connected peer for this long: it is gone. Bytes alone do not count, so a
        // peer trickling a frame a byte at a time is dropped too. Pings go out four times as often.
        int idleTimeoutMs = 20000;
        // The invited side's wait for the TLS handshake and the inviter's hello.
        int helloTimeoutMs = 10000;
        // A resource under way in either direction must move at least a chunk (or the rest of it, then end
        // or be confirmed) every this long, twice running, or it fails: a peer cannot hold a transfer, its
        // promised disk space and every resource queued behind it with a trickle of small chunks or acks.
        int transferStallMs = 20000;
        // The span over which a listening side counts the TLS handshakes it begins (TcpPeerTransport).
        int handshakeWindowMs = 60000;
        // Bytes waiting to go out to the peer above which nothing more is read from it (TCP holds the peer
        // back until it takes what it was sent); with no frame read, the idle limit then drops it. A peer
        // that sends without reading cannot make this side queue answers without end. Keep it above the
        // streaming high-water mark (4 MiB) plus a chunk, so a resource streaming out never trips it.
        qint64 maxOwedBytes = 8 * 1024 * 1024;
        // Frames handled per slice of kSliceMs; a peer sending more waits (unread, so TCP holds it back) for
        // the next slice. Far above what a resource stream needs (a thousand 1 MiB chunks a second fill a
        // gigabit link eight times over), far below what a flood of tiny frames would cost: such a flood
        // cannot keep a core busy.
        int framesPerSlice = 2048;
    };

    struct Callbacks
    {
        std::function<void(const PeerIdentity& remote)> hello;    // invited side: an invitation arrived
        std::function<void(const PeerIdentity& remote)> accepted; // inviter side: the peer joined
        std::function<void(const QByteArray& data)> data;
        std::function<void(const QString& name)> resourceStarted;
        std::function<void(const QString& name, const QString& path, const std::optional<PeerError>& error)>
            resourceFinished;
        // The connection is over (declined, timed out, closed by either side, broken). Called once, after
        // every transfer under way has failed. The object may be deleted from here on.
        std::function<void(const QString& reason)> closed;
    };

    // Inviter: connects to `address`:`port` and introduces `local`; `timeoutMs` limits the wait for the
    // answer. Resources offered to it are held against `space`.
    // `expected` is the peer invited: an answer from any other identity ends the connection.
    static TcpPeerConnection* connectTo(const QHostAddress& address, quint16 port,
                                        const TlsIdentity& identity, const PeerIdentity& local,
                                        const PeerIdentity& expected, const QString& incomingDir,
                                        std::shared_ptr<IncomingSpace> space, int timeoutMs,
                                        const Limits& limits, QObject* parent);
    // Invited side: takes an accepted socket descriptor and waits for the inviter's hello.
    static TcpPeerConnection* fromDescriptor(qintptr descriptor, const TlsIdentity& identity,
                                             const QString& incomingDir, std::shared_ptr<IncomingSpace> space,
                                             const Limits& limits, QObject* parent);
    // For replaying wire input (fuzzing): a connection whose socket never opens, in the state `start`, fed
    // through receive(); what it would send is dropped. `connected` starts with one outgoing resource (the
    // file at `outgoingPath`, offered as transfer 1), so answers about it reach the sending side too.
    enum class ReplayStart { awaitingHello, awaitingAnswer, connected };
    static TcpPeerConnection* forReplay(ReplayStart start, const QString& incomingDir,
                                        std::shared_ptr<IncomingSpace> space, const QString& outgoingPath,
                                        QObject* parent);
    ~TcpPeerConnection() override;

    // Takes bytes as they come off the socket: complete frames are handled in order, a malformed one ends
    // the connection. Past Limits::framesPerSlice the rest wait for the next slice.
    void receive(const QByteArray& bytes);

    void setCallbacks(Callbacks callbacks) { m_callbacks = std::move(callbacks); }
    // Invited side: joins the session as `local`, whose incoming files go to `incomingDir`; or declines.
    void accept(const PeerIdentity& local, const QString& incomingDir);
    void decline();

    void sendData(const QByteArray& data);
    void sendResource(const QString& path, const QString& name, PeerSession::ResourceCompletion completion);
    // Leaves: the peer hears bye; callbacks end with closed().
    void close(const QString& reason);
    // While held and connected, no frame is handled and nothing more is read off the socket (TCP then holds
    // the peer back); the idle limit and the stall checks wait too, since the wait is this side's. The
    // invitation's own frames are not held. Set from within a callback, it is in force when it returns.
    void setHeld(bool held);

    PeerIdentity remote() const { return m_remote; }
    // Whom it dialled (inviter side), or who called (invited side; null once closed).
    QHostAddress peerAddress() const { return m_dialled.isNull() ? m_socket->peerAddress() : m_dialled; }
    bool isConnected() const { return m_state == State::connected; }

private:
    enum class State { handshaking, awaitingHello, awaitingAnswer, answering, connected, closed };
    struct Outgoing
    {
        quint64 transfer = 0;
        QString name;
        std::unique_ptr<QFile> file;
        qint64 size = 0;
        qint64 sent = 0;
        qint64 acked = 0;
        bool started = false; // offered
        bool resumed = false; // the receiver said where to start
        bool endSent = false;
        PeerSession::ResourceCompletion completion;
        // Where it stood at the last stall check, and how many checks running saw it stand still.
        qint64 markAcked = 0;
        bool markResumed = false;
        int quietChecks = 0;
    };
    struct Incoming
    {
        QString name;
        std::unique_ptr<QFile> file;
        qint64 size = 0;
        qint64 received = 0;
        qint64 acked = 0;
        qint64 markReceived = 0; // as Outgoing
        int quietChecks = 0;
    };

    TcpPeerConnection(QSslSocket* socket, const QString& incomingDir, std::shared_ptr<IncomingSpace> space,
                      const Limits& limits, QObject* parent);
    qint64 owedBytes() const;
    bool holding() const { return m_held && m_state == State::connected; }
    void readSocket();
    void checkTransfers();
    // Bytes promised to this connection's incoming resources and not yet written.
    qint64 promisedBytes() const;
    void write(PeerFrame::Type type, const QByteArray& body = {});
    void handle(const PeerFrame::Frame& frame);
    void handleOffer(const QByteArray& body);
    void handleChunk(const QByteArray& body);
    void handleEnd(const QByteArray& body);
    void failIncoming(quint64 transfer, const QString& reason, bool tellPeer);
    Outgoing* outgoing(quint64 transfer);
    void finishOutgoing(quint64 transfer, const std::optional<PeerError>& error);
    void startNextOutgoing();
    void pump();
    void becomeConnected();
    void shutdown(const QString& reason);

    QSslSocket* m_socket;
    QString m_incomingDir;
    std::shared_ptr<IncomingSpace> m_space;
    State m_state = State::handshaking;
    PeerIdentity m_local;
    PeerIdentity m_remote;
    PeerIdentity m_expected; // inviter side: whom it invited
    QHostAddress m_dialled;  // and where
    PeerFrame::Reader m_reader;
    Callbacks m_callbacks;
    QTimer m_answerTimer;
    QTimer m_pingTimer;
    QTimer m_idleTimer;
    QTimer m_stallTimer;
    qint64 m_maxOwedBytes;
    int m_framesPerSlice;
    bool m_readPaused = false;       // the peer owes us reading (Limits::maxOwedBytes)
    bool m_held = false;             // the session's owner is behind with this peer (setHeld)
    QTimer m_sliceTimer;             // runs while this slice's frames are used up
    QElapsedTimer m_slice;           // since the slice began
    int m_sliceFrames = 0;           // frames handled in it
    std::deque<Outgoing> m_outgoing; // in the order sent; the first not wholly sent is under way
    quint64 m_nextTransfer = 1;
    std::unordered_map<quint64, Incoming> m_incoming;
    bool m_pumping = false;
};

} // namespace tovarine
