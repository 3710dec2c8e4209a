#include "QuorvantileRouter.h"

#include "QuorvantilePeerText.h"
#include "QuorvantileScore.h"

#include <QPointer>
#include <cstdio>

namespace ostrel {

namespace {

// The line printed when a peer fails, per kind of call.
QString fallbackLine(const QuorvantileModelCall& call, const QuorvantileNode& node, const QString& error)
{
    switch (call.kind) {
    case QuorvantileModelCall::Kind::generate:
        return QStringLiteral("[Quorvantile] Remote node ") + node.displayName() +
               QStringLiteral(" failed: ") + error + QStringLiteral(". Falling back to local.");
    case QuorvantileModelCall::Kind::streamGenerate:
        return QStringLiteral("[Quorvantile] Remote stream failed: ") + error +
               QStringLiteral(". Falling back to local.");
    case QuorvantileModelCall::Kind::chat:
        return QStringLiteral("[Quorvantile] Remote chat failed: ") + error +
               QStringLiteral(". Falling back to local.");
    case QuorvantileModelCall::Kind::streamChat:
        return QStringLiteral("[Quorvantile] Remote stream chat failed: ") + error +
               QStringLiteral(". Falling back to local.");
    }
    return {};
}

// A peer's stream failure says it was the peer's: the fallback line names the remote stream.
OllamaResult<QString> remoteResult(const OllamaResult<QString>& result)
{
    const QString local = QStringLiteral("Stream error");
    if (!result.ok() && result.error().kind() == OllamaError::Kind::httpError
        && result.error().message().startsWith(local)) {
        return OllamaError::httpError(result.error().statusCode(),
                                      QStringLiteral("Remote stream error") + result.error().message().mid(local.size()));
    }
    return result;
}

} // namespace

QuorvantileRouter::QuorvantileRouter(QuorvantileDiscovery& discovery, OllamaClient& localClient)
    : m_discovery(discovery), m_localClient(&localClient)
{
}

QuorvantileRouter::~QuorvantileRouter() = default;

std::optional<QuorvantileNode> QuorvantileRouter::bestRemoteNode(const QStringList& models) const
{
    const QList<QuorvantileNode> remote = m_discovery.activeRemoteNodes();
    if (remote.isEmpty()) {
        return std::nullopt;
    }
    std::optional<QuorvantileNode> local;
    for (const QuorvantileNode& node : m_discovery.discoveredNodes()) {
        if (node.isLocal()) {
            local = node;
            break;
        }
    }
    return chooseNode(remote, local, models);
}

std::optional<QuorvantileNode> QuorvantileRouter::chooseNode(const QList<QuorvantileNode>& remote,
                                                             const std::optional<QuorvantileNode>& local,
                                                             const QStringList& models)
{
    double best =
        local ? QuorvantileScore::score(*local, models, true).value_or(0.0) : kBaselineWithoutLocalEntry;
    std::optional<QuorvantileNode> chosen;
    for (const QuorvantileNode& node : remote) {
        const auto score = QuorvantileScore::score(node, models, false);
        if (score && *score > best) {
            best = *score;
            chosen = node;
        }
    }
    return chosen;
}

QString QuorvantileRouter::resolveModelName(const QString& name, const QuorvantileNode& node)
{
    const QStringList& models = node.manifest().ollamaModels();
    if (models.contains(name)) {
        return name;
    }
    const QString base = QuorvantileScore::modelBase(name);
    for (const QString& model : models) {
        if (model.startsWith(base)) {
            return model;
        }
    }
    return name;
}

void QuorvantileRouter::setLastRouteTarget(const QString& target)
{
    m_lastRouteTarget = target;
    emit lastRouteTargetChanged(m_lastRouteTarget);
}

void QuorvantileRouter::setRoutingRemotely(bool value)
{
    if (m_isRoutingRemotely != value) {
        m_isRoutingRemotely = value;
        emit isRoutingRemotelyChanged(value);
    }
}

void QuorvantileRouter::remoteCall(const QuorvantileNode& node, const QuorvantileModelCall& call,
                                   const QString& model, QuorvantileTokenHandler onToken,
                                   QuorvantileCallDone done)
{
    // The peer's server speaks the same protocol as this machine's: one client per call, with the same
    // request building, stream reading and limits (and no proxy). The client goes once the call has
    // reported, from inside its completion; it has no parent, so a router dropped meanwhile does not take it
    // along.
    if (!QuorvantilePeerText::isSafeHost(node.host())) {
        // A host text that would not stay the URL's host part: nothing is sent.
        QMetaObject::invokeMethod(this, [done = std::move(done)] { done(OllamaError::notRunning()); },
                                  Qt::QueuedConnection);
        return;
    }
    const QString appName = m_localClient ? m_localClient->appName() : QStringLiteral("quorvantile");
    auto* client = new OllamaClient(appName, node.ollamaURL());
    QuorvantileModelCall remote = call;
    remote.model = model;
    quorvantileCallClient(*client, remote, std::move(onToken),
                          [client, done = std::move(done)](const OllamaResult<QString>& result) {
                              delete client;
                              done(remoteResult(result));
                          });
}

void QuorvantileRouter::runLocally(const QuorvantileModelCall& call, QuorvantileTokenHandler onToken,
                                   const QString& label, RoutedDone done)
{
    if (!m_localClient) {
        done(OllamaError::notRunning(), label);
        return;
    }
    quorvantileCallClient(*m_localClient, call, std::move(onToken),
                          [self = shared_from_this(), label, done = std::move(done)](
                              const OllamaResult<QString>& result) { done(result, label); });
}

void QuorvantileRouter::route(const QuorvantileModelCall& call, QuorvantileTokenHandler onToken,
                              RoutedDone done)
{
    const QString model =
        call.model ? *call.model : (m_localClient ? m_localClient->preferredModel() : QString());
    const std::optional<QuorvantileNode> node = bestRemoteNode({model});
    if (!node) {
        setLastRouteTarget(QString::fromLatin1(kLocalLabel));
        runLocally(call, std::move(onToken), QString::fromLatin1(kLocalLabel), std::move(done));
        return;
    }
    const QString label = node->displayName();
    setLastRouteTarget(label);
    setRoutingRemotely(true);
    remoteCall(*node, call, resolveModelName(model, *node), onToken,
               [self = shared_from_this(), node = *node, call, onToken, label,
                done](const OllamaResult<QString>& result) {
                   self->setRoutingRemotely(false);
                   if (result.ok()) {
                       done(result, label);
                       return;
                   }
                   std::fputs(qPrintable(fallbackLine(call, node, result.error().errorDescription()) + u'\n'),
                              stdout);
                   std::fflush(stdout);
                   const QString fallback = QString::fromLatin1(kFallbackLabel);
                   self->setLastRouteTarget(fallback);
                   self->runLocally(call, onToken, fallback, done);
               });
}

} // namespace ostrel
