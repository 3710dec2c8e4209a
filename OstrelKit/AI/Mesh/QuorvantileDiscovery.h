#pragma once

#include "OllamaClient.h"
#include "OllamaHttpExchange.h"
#include "QuorvantileNode.h"
#include "QuorvantileServiceBackend.h"

#include <QMap>
#include <QObject>
#include <QPointer>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>

class QTcpServer;
class QTcpSocket;
class QTimer;

namespace ostrel {

// Seams for tests; the defaults are the mesh's values.
struct QuorvantileDiscoveryOptions
{
    quint16 modelServerPort = 11434; // port of every machine's model server
    int heartbeatMs = 15000;         // interval of the TXT republication
    int probeTimeoutMs = 5000;       // limit of one tag-list probe
    int incomingHoldMs = 2000;       // an incoming connection is closed after this long
    int maxIncomingConnections = 64; // connections held at once; more are closed as they come
    int maxConnectsInFlight = 32;    // short connections being opened at once; more records wait their turn
    int maxProbesInFlight = 8;       // tag-list probes running at once; more wait their turn
    int maxProbesPerHost = 1;        // the same for the probes of one host
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
// maxProbesInFlight at once and maxProbesPerHost per host. A connection is closed once it has told the
// peer's address, and a resolve tests for a duplicate host only when its probe can start, so many records of
// one machine end as that machine's one entry.
class QuorvantileDiscovery : public QObject
{
    Q_OBJECT
public:
    using Options = QuorvantileDiscoveryOptions;
    using BackendFactory = std::function<std::unique_ptr<QuorvantileServiceBackend>()>;

    // A model list is kilobytes: a longer tag-list reply fails the probe (the peer keeps its placeholder).
    static constexpr qsizetype kMaxProbeReplyBytes = 1024 * 1024;

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
        bool connecting = false; // holds a connection slot (from connecting until the address is known)
        QPointer<OllamaHttpExchange> probe; // the tag-list request while it runs
        bool probing = false;               // holds a probe slot (from its start to the resolve's end)
        quint64 nameGeneration = 0;
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
    // Bumped whenever an instance is removed or changed: a resolve begun before that stores nothing.
    QHash<QString, quint64> m_nameGenerations;
    std::deque<quint64> m_waitingConnects; // resolves waiting for a connection slot, oldest first
    bool m_startingConnects = false;
    std::deque<quint64> m_waitingProbes; // resolves waiting for a probe slot, oldest first
    bool m_startingProbes = false;
};

} // namespace ostrel
