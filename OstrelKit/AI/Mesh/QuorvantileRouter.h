#pragma once

#include "QuorvantileDiscovery.h"
#include "QuorvantileModelCall.h"

#include <QObject>
#include <QPointer>
#include <memory>
#include <optional>

namespace ostrel {

// Decides where one language-model call runs: on the best-scoring peer of the mesh when one beats this
// machine, else on the local client. A peer is tried once; on any failure one "[Quorvantile] " line is
// printed and the same call runs locally. GUI thread only. Held by shared pointer: a call in flight keeps the
// router alive.
class QuorvantileRouter : public QObject, public std::enable_shared_from_this<QuorvantileRouter>
{
    Q_OBJECT
public:
    static constexpr const char* kLocalLabel = "local";
    static constexpr const char* kFallbackLabel = "local (fallback)";
    // Baseline a peer must beat while this machine's own entry is not in the table yet.
    static constexpr double kBaselineWithoutLocalEntry = 20.0;

    // Ends with the call's result and the route label of whoever answered.
    using RoutedDone = std::function<void(const OllamaResult<QString>& result, const QString& label)>;

    // `localClient` is this machine's client; it must outlive the router's calls (a call whose client is gone
    // ends with notRunning).
    QuorvantileRouter(QuorvantileDiscovery& discovery, OllamaClient& localClient);
    ~QuorvantileRouter() override;

    const std::optional<QString>& lastRouteTarget() const { return m_lastRouteTarget; }
    bool isRoutingRemotely() const { return m_isRoutingRemotely; }
    OllamaClient* localClient() const { return m_localClient; }

    // The remote node whose score for `models` beats this machine's (strictly), the earliest among equals.
    std::optional<QuorvantileNode> bestRemoteNode(const QStringList& models) const;
    // The same choice over given nodes: `local` is this machine's entry when the table has one.
    static std::optional<QuorvantileNode> chooseNode(const QList<QuorvantileNode>& remote,
                                                     const std::optional<QuorvantileNode>& local,
                                                     const QStringList& models);
    // `name` when the node lists it, else its first model that begins with the name's family, else `name`.
    static QString resolveModelName(const QString& name, const QuorvantileNode& node);

    // Sends `call` to `node` with `model`; ends once through `done` (not when the router goes first).
    void remoteCall(const QuorvantileNode& node, const QuorvantileModelCall& call, const QString& model,
                    QuorvantileTokenHandler onToken, QuorvantileCallDone done);

    // The routed entry point for every kind of call: peer once, then this machine.
    void route(const QuorvantileModelCall& call, QuorvantileTokenHandler onToken, RoutedDone done);

signals:
    void lastRouteTargetChanged(const std::optional<QString>& target);
    void isRoutingRemotelyChanged(bool routing);

private:
    void setLastRouteTarget(const QString& target);
    void setRoutingRemotely(bool value);
    void runLocally(const QuorvantileModelCall& call, QuorvantileTokenHandler onToken, const QString& label,
                    RoutedDone done);

    QuorvantileDiscovery& m_discovery;
    QPointer<OllamaClient> m_localClient;
    std::optional<QString> m_lastRouteTarget;
    bool m_isRoutingRemotely = false;
};

} // namespace ostrel
