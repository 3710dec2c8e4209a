#pragma once

#include "CaptureTransfer.h"
#include "PeerLink.h"
#include "PhotogrammetrySession.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QUuid>
#include <memory>
#include <optional>

namespace tovarine {

// What the receiver is doing; peerName is the display name of the capture's phone. waiting: the capture's
// frames are all in and it waits for the engine, which another capture has.
struct ServerStatus
{
    enum class Kind { receiving, waiting, reconstructing, sending, idle };
    Kind kind = Kind::idle;
    QString stamp;         // all but idle
    qint64 received = 0;   // receiving
    qint64 expected = 0;   // receiving
    double fraction = 0.0; // reconstructing
    QString peerName;      // all but idle

    static ServerStatus receiving(const QString& stamp, qint64 received, qint64 expected,
                                  const QString& peerName);
    static ServerStatus waiting(const QString& stamp, const QString& peerName);
    static ServerStatus reconstructing(const QString& stamp, double fraction, const QString& peerName);
    static ServerStatus sending(const QString& stamp, const QString& peerName);
    static ServerStatus idle();
    bool operator==(const ServerStatus& other) const;
};

// A capture whose model reached the phone.
struct CompletedCapture
{
    QUuid id;
    QString stamp;
    qint64 frameCount = 0;
    QString meshPath;
    QDateTime finishedAt;
    bool operator==(const CompletedCapture&) const = default;
};

// The computer's end of the live link with the phone: finds the phone's "tovarine-pair" service and invites
// it, receives a capture's manifest and frames into <data>/TovarineCompanion/Inbox/<stamp>/Images/, runs the
// photogrammetry driver over them, reports progress and sends model.usdz back. Nothing in the application
// creates it; its owner starts the peer search through browser().
//
// Every manifest opens a new capture in a folder of its own: Inbox/<stamp>/ when that name is free, else
// Inbox/<stamp> 2/ and on, so a capture never writes into, or replaces the model of, an earlier one with the
// same stamp. Only the phone that sent the manifest fills the capture, and while it is connected no other
// phone can take its stamp. On the wire the capture is still known by its stamp alone.
//
// One reconstruction runs at a time: captures whose frames are all in wait in line, phones taking turns and
// each phone's captures in the order their frames completed, and their phones hear that they wait. A waiting
// capture whose phone leaves, or whose stamp a new manifest takes, leaves the line. Of a manifest only what
// the receiver uses is kept (not the frame names). What a phone is told never names a path on this computer:
// the capture is named by its stamp, and a failure text that holds a path gives way to one that does not (the
// log has it whole).
//
// Threads: created and used on the GUI thread; the published fields change only there. The transport's
// callbacks do their decoding on the transport's thread and hand the rest to the GUI thread, within the
// backlog limits below: a phone faster than the GUI thread waits, it does not grow this process.
class CompanionBrowser : public QObject, private PeerBrowserDelegate, private PeerSessionDelegate
{
    Q_OBJECT
public:
    struct Environment
    {
        std::shared_ptr<PeerTransport> transport;
        PhotogrammetrySessionFactory sessionFactory;
        QString dataDir;     // Inbox/ and the transport's Incoming/ go here (same file system)
        QString displayName; // this computer's name as the phone sees it
    };
    // The TCP+TLS transport found through DNS-SD, the user's data folder (<data>/TovarineCompanion) and the
    // host's name; an error when the transport's TLS key can be neither read nor made.
    static Expected<Environment, QString> defaultEnvironment(PhotogrammetrySessionFactory sessionFactory);
    // Frame counts above this are refused, as are negative ones.
    static constexpr qint64 kMaxFrameCount = 10000;
    static constexpr int kInvitationTimeoutMs = 10000;
    // Folders tried for one capture: "<stamp>", "<stamp> 2" ... "<stamp> 1000" (see captureFolderName).
    static constexpr int kMaxFolderSuffix = 1000;
    static inline const QString kServiceType = QStringLiteral("tovarine-pair");
    // What the phones' messages and received frames may have waiting for the GUI thread, in bytes (a frame
    // file counts with its size) and in items. Past either, the peer that delivered last is held back (its
    // link stops reading) until the waiting work is down to half; so what waits stays under these plus one
    // message (at most 16 MiB) per connected peer, and an honest phone loses nothing.
    static constexpr qint64 kMaxBacklogBytes = 32 * 1024 * 1024;
    static constexpr int kMaxBacklogItems = 1024;
    // Captures open (being received) at once: a phone's next manifest past kMaxOpenCapturesPerPhone closes
    // its oldest; past kMaxOpenCaptures in all, captures of phones that have left give way, oldest first. A
    // capture closed so keeps its folder only when a frame came into it.
    static constexpr int kMaxOpenCapturesPerPhone = 4;
    static constexpr int kMaxOpenCaptures = 16;

    explicit CompanionBrowser(Environment environment, QObject* parent = nullptr);
    ~CompanionBrowser() override;

    // Published fields.
    const QList<PeerIdentity>& discoveredPeers() const { return m_discoveredPeers; }
    const std::optional<PeerIdentity>& connectedPeer() const { return m_connectedPeer; }
    const std::optional<QByteArray>& latestFrame() const { return m_latestFrame; }
    bool localNetworkDenied() const { return m_localNetworkDenied; }
    const ServerStatus& status() const { return m_status; }
    const QList<CompletedCapture>& completed() const { return m_completed; }

    // The bytes of peer work waiting for the GUI thread now, and the most there ever were (any thread).
    qint64 backlogBytes() const;
    qint64 peakBacklogBytes() const;

    QString inboxRoot() const { return m_inboxRoot; }
    QString incomingDir() const { return m_incomingDir; }
    PeerIdentity localPeer() const { return m_peerID; }

    // Invites a found peer into the session (10 s limit).
    void invite(const PeerIdentity& peer);
    // The peer search, made on first use; the owner starts and stops it.
    PeerBrowser& browser();

signals:
    void discoveredPeersChanged();
    void connectedPeerChanged();
    void latestFrameChanged();
    void localNetworkDeniedChanged();
    void statusChanged(const tovarine::ServerStatus& status);
    void completedChanged();

private:
    struct Inbox
    {
        enum class Stage { receiving, waiting, reconstructing };
        // Of the manifest, what the receiver uses (the stamp is the map's key).
        qint64 frameCount = 0;
        QString detail;
        QString folder;
        QString imagesPath;
        PeerIdentity peer;
        qint64 receivedFrames = 0;
        quint64 generation = 0; // tells this inbox from a later one of the same stamp
        Stage stage = Stage::receiving;
    };

    // PeerBrowserDelegate (transport thread)
    void foundPeer(const PeerIdentity& peer) override;
    void lostPeer(const PeerIdentity& peer) override;
    void didNotStartBrowsing(const PeerError& error) override;
    // PeerSessionDelegate (transport thread)
    void peerDidChangeState(const PeerIdentity& peer, PeerSessionState state) override;
    void didReceiveData(const QByteArray& data, const PeerIdentity& peer) override;
    void didStartReceivingResource(const QString& name, const PeerIdentity& peer) override;
    void didFinishReceivingResource(const QString& name, const PeerIdentity& peer, const QString& localPath,
                                    const std::optional<PeerError>& error) override;

    PeerSession& session();
    void onMain(std::function<void()> work);
    // Transport thread: hands `work`, costing `bytes`, from `peer` to the GUI thread, and holds the peer
    // back when the backlog is full.
    void onMainFrom(const PeerIdentity& peer, qint64 bytes, std::function<void()> work);
    // GUI thread: `bytes` of the backlog were handled; held peers go on once it is down to half.
    void backlogDone(qint64 bytes);
    void setStatus(const ServerStatus& status);
    void beginInbox(const CaptureManifest& manifest, const PeerIdentity& peer);
    // A folder for a new capture under the inbox root, made here: the stamp when that name is free, else
    // "<stamp> 2", "<stamp> 3"... The path to report failures on when no folder can be made; empty when
    // every name is taken.
    QString claimFolder(const QString& stamp) const;
    void handleFrame(const QString& stamp, const QString& filename, const QString& temp,
                     const PeerIdentity& from);
    // Makes room for one more open capture from `peer` (see kMaxOpenCaptures).
    void closeCapturesFor(const PeerIdentity& peer);
    // Forgets an open capture; its folder goes when it is empty.
    void closeCapture(const QString& stamp);
    // The capture's frames are all in: "ready" goes out and it joins the line for the engine.
    void framesComplete(const QString& stamp);
    // Starts the next capture in line when the engine is free.
    void runNextReconstruction();
    void runReconstruction(const QString& stamp);
    // The engine run of the capture ended: the next in line may start.
    void engineDone();
    // Drops the waiting captures of a phone that left.
    void dropWaitingCapturesOf(const PeerIdentity& peer);
    void endInbox(const QString& stamp, quint64 generation);
    // After a capture's end: what is still going on, else idle.
    void showCurrentWork();
    template <class Record>
    void sendEnvelope(CaptureTransferKind kind, const Record& record, const PeerIdentity& to);
    // Sends `message` as the capture's failure. A text that holds a local path goes to the log; the phone
    // gets it with the capture's folders named by its stamp, or `fallback` when another path remains.
    void sendError(const QString& stamp, const QString& message, const PeerIdentity& to,
                   const QString& fallback = {});

    Environment m_environment;
    PeerIdentity m_peerID;
    QString m_inboxRoot;
    QString m_incomingDir;
    std::unique_ptr<PeerSession> m_session;
    std::unique_ptr<PeerBrowser> m_browser;
    QHash<QString, Inbox> m_inboxes;
    QList<QString> m_line; // stamps of the waiting captures, in the order their frames completed
    QHash<PeerIdentity, quint64> m_lastTurn; // of connected phones: the turn their last capture took
    quint64 m_turns = 0;
    std::optional<QString> m_running; // the stamp the engine is working on
    double m_runningFraction = 0.0;
    QSet<PeerIdentity> m_sessionPeers; // connected now
    quint64 m_nextGeneration = 1;

    mutable QMutex m_backlogMutex; // guards the five below
    bool m_closing = false;        // the session is being destroyed
    qint64 m_backlogBytes = 0;
    int m_backlogItems = 0;
    qint64 m_peakBacklogBytes = 0;
    QSet<PeerIdentity> m_heldPeers;

    QList<PeerIdentity> m_discoveredPeers;
    std::optional<PeerIdentity> m_connectedPeer;
    std::optional<QByteArray> m_latestFrame;
    bool m_localNetworkDenied = false;
    ServerStatus m_status;
    QList<CompletedCapture> m_completed;
};

// The name of the n-th folder tried for a capture (n from 1): the stamp, then "<stamp> <n>", the stamp cut
// short on a character boundary when the whole would pass kMaxFileNameBytes.
QString captureFolderName(const QString& stamp, int n);

// A capture as a phone may hear of it: its stamp and frame count, and its folders on this computer, which
// are never named to the phone.
struct CaptureForPhone
{
    QString stamp;
    qint64 frames = 0;
    QString folder;
    QString imagesFolder;
};

// `text` as a phone may see it: the capture's images folder becomes "the frames of capture <stamp>", its
// folder "capture <stamp>"; when a path (anything with "/" or "\\") is still left, the whole text gives way
// to `fallback`.
QString withoutLocalPaths(const QString& text, const CaptureForPhone& capture, const QString& fallback);

// The driver's failure text as the phone shows it, naming no local path (withoutLocalPaths).
QString friendlyReason(const QString& driverMessage, const CaptureForPhone& capture);

// Moves a received file into place: a rename, or a copy and remove when the two lie on different file
// systems. Whatever stood at `to` is removed first. On failure `from` is left where it was.
Expected<void, QString> moveReceivedFile(const QString& from, const QString& to);

} // namespace tovarine
