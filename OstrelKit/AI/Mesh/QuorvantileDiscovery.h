#pragma once

#include "OllamaClient.h"
#include "OllamaHttpExchange.h"
#include "QuorvantileFairQueue.h"
#include "QuorvantileNode.h"
#include "QuorvantileServiceBackend.h"

#include <QMap>
#include <QObject>
#include <QPointer>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <optional>

class QTcpServer;
class QTcpSocket;
class QTimer;

namespace ostrel {

// Seams for tests; the defaults are the mesh's values. Every step that waits on a peer has a limit sized for
// a working LAN, so a machine whose records never complete a step holds a place only briefly; a first attempt
// cut short by its limit is tried once more later (after the other machines' waiting work), with more time.
struct QuorvantileDiscoveryOptions
{
    quint16 modelServerPort = 11434; // port of every machine's model server
    int heartbeatMs = 15000;         // interval of the TXT republication
    int probeTimeoutMs = 5000;       // limit of one tag-list probe
    int incomingHoldMs = 2000;       // an incoming connection is closed after this long
    int maxIncomingConnections = 64; // connections held at once; more are closed as they come
    int maxConnectsInFlight = 32;    // short connections being opened at once; more records wait their turn
    int maxProbesInFlight = 32;      // tag-list probes running at once; more wait their turn
    int maxProbesPerHost = 1;        // the same for the probes of one host
    // A short connection is made in milliseconds on a LAN, or after one lost SYN is sent again (1 s).
    int connectTimeoutMs = 2500;
    int retryConnectTimeoutMs = 15000; // the later attempt of a connection that timed out
    // A model server lists its models in milliseconds: a first probe without a reply head by then stores the
    // peer with its placeholder and is asked again later, with probeTimeoutMs.
    int probeAnswerTimeoutMs = 1000;
    int addressLookupTimeoutMs = 1000; // the name of a link-local address; the address is kept without one
    int maxLargeProbeReplies = 8;      // probes reading a reply over kSmallProbeReplyBytes at once
    int maxRememberedNames = 1024;     // records remembered as having failed (their later resolves wait)
};

// Makes this machine a visible node of the mesh and keeps the table of the mesh's nodes. It advertises
// "_quorvantile._tcp" in "local." under this node's upper-case UUID with the manifest's TXT record, browses
// for the same type, opens a short TCP connection to every instance found to learn its address, asks that
// machine's model server for its models (5 s limit) and stores one node per UUID. A 15 s heartbeat
// republishes the TXT record. Its own advertisement becomes the local entry. Every network failure is
// absorbed: nothing is reported or logged. GUI thread (or any one thread with an event loop) only.
//
// Cost: however many records a machine publishes, at most maxConnectsInFlight short connections are open at
// once (they are never read from), a probe reads at most kMaxProbeReplyBytes, and probes run at most
// maxProbesInFlight at once, maxProbesPerHost per host and maxLargeProbeReplies with a reply over
// kSmallProbeReplyBytes. A connection is closed once it has told the peer's address, and a resolve tests for
// a duplicate host only when its probe can start, so many records of one machine end as that machine's one
// entry. Records waiting for a connection (by their address) or a probe (by their host) are served in turn
// per machine, so one machine's records never stand in front of another's; records that failed or never
// produced a node before, and second attempts, wait behind the others and hold at most a quarter of the
// places.
class QuorvantileDiscovery : public QObject
{
    Q_OBJECT
public:
    using Options = QuorvantileDiscoveryOptions;
    using BackendFactory = std::function<std::unique_ptr<QuorvantileServiceBackend>()>;

    // A model list is kilobytes: a longer tag-list reply fails the probe (the peer keeps its placeholder).
    static constexpr qsizetype kMaxProbeReplyBytes = 1024 * 1024;
    // A real model list fits in this; a longer reply needs one of the few large-reply places.
    static constexpr qsizetype kSmallProbeReplyBytes = 64 * 1024;

    static constexpr const char* serviceType = "_quorvantile._tcp";
    static constexpr const char* domain = "local.";

    // `backendFactory` makes the DNS-SD backend of each run; empty means the system's Avahi daemon.
    explicit QuorvantileDiscovery(QUuid nodeID, BackendFactory backendFactory = {}, Options options = {},
                                  QObject* parent = nullptr);
    ~QuorvantileDiscovery() override;

    // Stores `manifest`, then advertises, browses and starts the heartbeat. Call at most once between stops.
    void start(const QuorvantileManifest& manifest);
    // Ends advertising, browsing, the heartbeat and every pending resolve or probe; the table is kept.
    void stop();

    const QMap<QUuid, QuorvantileNode>& discoveredNodes() const { return m_discoveredNodes; }
    QList<QuorvantileNode> activeNodes() const;
    QList<QuorvantileNode> activeRemoteNodes() const;
    bool isAdvertising() const { return m_isAdvertising; }
    bool isBrowsing() const { return m_isBrowsing; }
    const QUuid& nodeID() const { return m_nodeID; }
    const std::optional<QuorvantileManifest>& localNodeManifest() const { return m_localManifest; }
    // Resolve connections (and probes) not finished yet.
    int pendingConnectionCount() const { return static_cast<int>(m_pending.size()); }
    // Whether the instance of node `id` is being resolved: it was just found, or its record changed (the node
    // is then missing from the table until the resolve stores it anew).
    bool isResolving(const QUuid& id) const;

    static QMap<QString, QString> manifestToTXTDict(const QuorvantileManifest& manifest);

signals:
    void discoveredNodesChanged();
    void isAdvertisingChanged(bool advertising);
    void isBrowsingChanged(bool browsing);
    // Any of the three above, and the end of a resolve that left its node out of the table (so an observer
    // waiting for a node that is being resolved learns that it stays away).
    void changed();

private:
    struct Resolve
    {
        QString name;
        std::optional<QString> txtName;
        QTcpSocket* socket = nullptr; // absent while the resolve waits to connect
        QHostAddress address;
        quint16 port = 0;
        bool connecting = false;   // holds a connection place (from connecting until the address is known)
        bool addressKnown = false; // the host is settled (its name lookup, if any, is over)
        QPointer<OllamaHttpExchange> probe; // the tag-list request while it runs
        bool probing = false;               // holds a probe place (from its start to the resolve's end)
        bool largeReply = false;            // holds a large-reply place besides
        bool late = false;    // served from the later lane: a second attempt, or a record that failed before
        bool second = false;  // the second attempt of a connection that timed out
        bool refresh = false; // a second probe of a node already stored with its placeholder
        QString host;
        QString peerHost; // the connection's peer address text, "unknown" without one
        bool isLocal = false;
    };
    void startAdvertising(const QuorvantileManifest& manifest);
    void startBrowsing();
    void startHeartbeat();
    void updateAdvertisement(const QuorvantileManifest& manifest);
    void serviceGone(const QString& name);
    void resolveService(const QuorvantileServiceResult& result);
    void connectionReady(quint64 id);
    void hostKnown(quint64 id, const QString& host);
    void startWaitingConnects();
    void connectResolve(quint64 id);
    void connectTimedOut(quint64 id);
    void queueConnect(quint64 id);
    void queueProbe(quint64 id);
    void fail(quint64 id);
    void refreshLater(quint64 id);
    int count(bool Resolve::*flag, bool lateOnly) const;
    void startWaitingProbes();
    void beginProbe(quint64 id);
    int probesInFlight(const QString& host) const;
    void probeNode(quint64 id, const QuorvantileManifest& placeholder);
    void store(quint64 id, const QuorvantileManifest& manifest);
    void finish(quint64 id);
    QuorvantileManifest placeholder(const QUuid& id, const QString& name, const QString& host) const;
    void setAdvertising(bool value);
    void setBrowsing(bool value);

    QUuid m_nodeID;
    BackendFactory m_backendFactory;
    Options m_options;
    QMap<QUuid, QuorvantileNode> m_discoveredNodes;
    bool m_isAdvertising = false;
    bool m_isBrowsing = false;
    std::optional<QuorvantileManifest> m_localManifest;
    std::unique_ptr<QuorvantileServiceBackend> m_backend;
    QTcpServer* m_listener = nullptr;
    QTimer* m_heartbeatTimer = nullptr;
    std::map<quint64, Resolve> m_pending; // in the order the connections were opened
    quint64 m_nextResolve = 1;
    QuorvantileFairQueue m_waitingConnects; // resolves waiting for a connection place, by address
    bool m_startingConnects = false;
    QuorvantileFairQueue m_waitingProbes; // resolves waiting for a probe place, by host
    bool m_startingProbes = false;
    // Records whose last resolve failed or stored nothing, the most recent last; their next resolve waits in
    // the later lane. At most maxRememberedNames; the oldest is forgotten first.
    std::list<QString> m_failedNames;
    QHash<QString, std::list<QString>::iterator> m_failedNameIndex;
};

} // namespace ostrel
