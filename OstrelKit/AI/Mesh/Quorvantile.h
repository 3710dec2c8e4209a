#pragma once

#include "QuorvantileDiscovery.h"
#include "QuorvantileModelCall.h"
#include "QuorvantileSpeedComparison.h"
#include "QuorvantileStats.h"

#include <QObject>
#include <QPointer>
#include <memory>
#include <optional>

namespace ostrel {

// The one object through which a host application uses the LAN compute mesh. enable() joins as a full node
// that offers its local model server and routes its own model calls, enableDiscoveryOnly() joins without a
// model server, disable() leaves. It owns this node's identity (a fresh UUID per process), the discovery, the
// router and the statistics, and publishes the state the indicator, the preferences pane and the render
// coordinator read and write. Every change of that state, and every change of the discovery, is announced by
// changed(). GUI thread only; the shared instance lives for the whole process.
class QuorvantileRouter;

class Quorvantile : public QObject
{
    Q_OBJECT
public:
    // One render-progress row per worker.
    struct WorkerProgress
    {
        QString id;      // key of the row
        double fraction; // completed share, 0 to 1
        bool isDone;
    };

    static Quorvantile& shared();

    bool isEnabled() const { return m_isEnabled; }
    const std::optional<QString>& lastRouteTarget() const { return m_lastRouteTarget; }
    bool isRoutingRemotely() const { return m_isRoutingRemotely; }
    void setIsRoutingRemotely(bool value);
    bool isInferring() const { return m_isInferring; }
    const std::optional<QString>& renderStatus() const { return m_renderStatus; }
    void setRenderStatus(const std::optional<QString>& value);
    const std::optional<QString>& localRenderReason() const { return m_localRenderReason; }
    void setLocalRenderReason(const std::optional<QString>& value);
    const QList<WorkerProgress>& workerProgress() const { return m_workerProgress; }
    void setWorkerProgress(const QList<WorkerProgress>& value);
    const std::optional<QuorvantileSpeedComparison>& lastSpeedComparison() const
    {
        return m_lastSpeedComparison;
    }
    void setLastSpeedComparison(const std::optional<QuorvantileSpeedComparison>& value);
    const QuorvantileStats& stats() const { return m_stats; }

    // Created on first use with this node's UUID and the system's DNS-SD daemon.
    QuorvantileDiscovery& discovery();
    // Replaces the discovery with one of this node's UUID over `backendFactory` (tests, demos, hosts with
    // their own DNS-SD). Call while the mesh is off.
    void useServiceBackend(QuorvantileDiscovery::BackendFactory backendFactory,
                           QuorvantileDiscovery::Options options = {});

    // Replaces how enable() finds this machine's LAN address and the port of the model server it checks there
    // (tests keep the check on loopback).
    void useModelServerCheck(std::function<std::optional<QString>()> lanAddress, quint16 port);

    // Joins as a full node: keeps the client, creates the router, and in the background checks that the model
    // server answers on this machine's LAN address (one "[Quorvantile] " line when it does not), lists its
    // models into this node's manifest and starts the discovery. Ignored while enabled or joining. The client
    // belongs to the host and must outlive the mesh's use of it.
    void enable(OllamaClient& ollamaClient);
    // Joins without a model server: advertises this machine and finds the others. Ignored while enabled or
    // joining. The routed calls fail on such a node.
    void enableDiscoveryOnly();
    // Leaves the mesh from any state; a join still under way is abandoned. Statistics, render fields and
    // isInferring are kept.
    void disable();
    // Adds one finished distributed render to the statistics.
    void recordRender(std::int64_t totalFrames, std::int64_t workerCount, std::int64_t remoteWorkers);

    // Null until enable(), and again after disable().
    QuorvantileRouter* router() const { return m_router.get(); }

    // One routed model call: the model is mapped onto an installed one, the router picks the machine, and the
    // latency is recorded under the label of the route that served it. Without a router (off, or
    // discovery-only) it fails with notRunning. A remote failure never reaches `done`; a local one does,
    // unchanged and unrecorded.
    void call(QuorvantileModelCall call, QuorvantileTokenHandler onToken, QuorvantileCallDone done);
    // The four calls of the model client, routed through call().
    void generate(const QString& system, const QString& prompt, const std::optional<QString>& model,
                  const std::optional<OllamaOptions>& options, const std::optional<QStringList>& images,
                  double timeoutSeconds, QuorvantileCallDone done);
    void streamGenerate(const QString& system, const QString& prompt, const std::optional<QString>& model,
                        const std::optional<OllamaOptions>& options, const std::optional<QStringList>& images,
                        double timeoutSeconds, QuorvantileTokenHandler onToken, QuorvantileCallDone done);
    void chat(const QList<OllamaClient::Message>& messages, const std::optional<QString>& system,
              const std::optional<QString>& model, const std::optional<OllamaOptions>& options,
              double timeoutSeconds, QuorvantileCallDone done);
    void streamChat(const QList<OllamaClient::Message>& messages, const std::optional<QString>& system,
                    const std::optional<QString>& model, const std::optional<OllamaOptions>& options,
                    double timeoutSeconds, QuorvantileTokenHandler onToken, QuorvantileCallDone done);
    // The installed model to use for `requested` (see call()).
    std::optional<QString> resolveModel(const std::optional<QString>& requested) const;

    QList<QuorvantileNode> activeNodes();
    int remoteNodeCount();
    bool hasRemoteNodes();

    // The manifest of a node without a model server, from this machine's facts.
    QuorvantileManifest buildDiscoveryOnlyManifest() const;
    // This machine's manifest offering `models` at `baseURL`.
    QuorvantileManifest buildLocalManifest(const QStringList& models, const QString& baseURL) const;

    // Asks the model server at http://<address>:<port>/api/tags (2 s limit) whether peers can reach it;
    // `done` gets true on status 200.
    static void checkModelServerReachable(const QString& address, quint16 port,
                                          std::function<void(bool)> done);

signals:
    void changed();

private:
    Quorvantile();

    void forwardDiscoveryChanges();
    void setEnabled(bool value);
    void setLastRouteTarget(const std::optional<QString>& value);
    void setInferring(bool value);
    void startDiscovery(const QuorvantileManifest& manifest, quint64 join);

    QUuid m_nodeID;
    std::unique_ptr<QuorvantileDiscovery> m_discovery;
    std::shared_ptr<QuorvantileRouter> m_router;
    QPointer<OllamaClient> m_localClient;
    std::function<std::optional<QString>()> m_lanAddress;
    quint16 m_modelServerPort = 11434;
    bool m_forwarding = false;
    bool m_isEnabled = false;
    bool m_joining = false;
    quint64 m_joinGeneration = 0;
    std::optional<QString> m_lastRouteTarget;
    bool m_isRoutingRemotely = false;
    bool m_isInferring = false;
    std::optional<QString> m_renderStatus;
    std::optional<QString> m_localRenderReason;
    QList<WorkerProgress> m_workerProgress;
    std::optional<QuorvantileSpeedComparison> m_lastSpeedComparison;
    QuorvantileStats m_stats;
};

} // namespace ostrel
