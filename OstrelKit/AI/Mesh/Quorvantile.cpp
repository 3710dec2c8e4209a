#include "Quorvantile.h"

#include "QuorvantileHostFacts.h"
#include "QuorvantileRouter.h"
#include "QuorvantileScore.h"

#include <QElapsedTimer>
#include <QNetworkReply>
#include <QPointer>
#include <QTimer>
#include <cstdio>

namespace ostrel {

Quorvantile& Quorvantile::shared()
{
    static Quorvantile* instance = new Quorvantile;
    return *instance;
}

Quorvantile::Quorvantile()
    : m_nodeID(QUuid::createUuid()), m_lanAddress(QuorvantileHostFacts::localIPv4Address)
{
}

void Quorvantile::useModelServerCheck(std::function<std::optional<QString>()> lanAddress, quint16 port)
{
    m_lanAddress = std::move(lanAddress);
    m_modelServerPort = port;
}

QuorvantileDiscovery& Quorvantile::discovery()
{
    if (!m_discovery) {
        m_discovery = std::make_unique<QuorvantileDiscovery>(m_nodeID);
    }
    return *m_discovery;
}

void Quorvantile::useServiceBackend(QuorvantileDiscovery::BackendFactory backendFactory,
                                    QuorvantileDiscovery::Options options)
{
    m_discovery = std::make_unique<QuorvantileDiscovery>(m_nodeID, std::move(backendFactory), options);
    if (m_forwarding) {
        m_forwarding = false;
        forwardDiscoveryChanges();
    }
    emit changed();
}

void Quorvantile::forwardDiscoveryChanges()
{
    if (m_forwarding) {
        return;
    }
    m_forwarding = true;
    connect(&discovery(), &QuorvantileDiscovery::changed, this, &Quorvantile::changed, Qt::QueuedConnection);
}

void Quorvantile::setEnabled(bool value)
{
    if (m_isEnabled != value) {
        m_isEnabled = value;
        emit changed();
    }
}

void Quorvantile::setIsRoutingRemotely(bool value)
{
    if (m_isRoutingRemotely != value) {
        m_isRoutingRemotely = value;
        emit changed();
    }
}

void Quorvantile::setRenderStatus(const std::optional<QString>& value)
{
    m_renderStatus = value;
    emit changed();
}

void Quorvantile::setLocalRenderReason(const std::optional<QString>& value)
{
    m_localRenderReason = value;
    emit changed();
}

void Quorvantile::setWorkerProgress(const QList<WorkerProgress>& value)
{
    m_workerProgress = value;
    emit changed();
}

void Quorvantile::setLastSpeedComparison(const std::optional<QuorvantileSpeedComparison>& value)
{
    m_lastSpeedComparison = value;
    emit changed();
}

void Quorvantile::recordRender(std::int64_t totalFrames, std::int64_t workerCount, std::int64_t remoteWorkers)
{
    m_stats.recordRender(totalFrames, workerCount, remoteWorkers);
    emit changed();
}

QList<QuorvantileNode> Quorvantile::activeNodes()
{
    return discovery().activeNodes();
}

int Quorvantile::remoteNodeCount()
{
    return static_cast<int>(discovery().activeRemoteNodes().size());
}

bool Quorvantile::hasRemoteNodes()
{
    return !discovery().activeRemoteNodes().isEmpty();
}

QuorvantileManifest Quorvantile::buildLocalManifest(const QStringList& models, const QString& baseURL) const
{
    namespace facts = QuorvantileHostFacts;
    const std::int64_t processors = facts::processorCount();
    // No graphics facts: every machine's manifest leaves them out, so the render split weighs all machines
    // alike instead of favouring the one driver that reports its memory.
    return QuorvantileManifest(m_nodeID, facts::machineName(), QuorvantilePlatform::linux, models, baseURL,
                               processors, facts::megabytes(facts::physicalMemory()), std::nullopt, std::nullopt,
                               false, facts::loadFigure(processors, facts::activeProcessorCount()));
}

QuorvantileManifest Quorvantile::buildDiscoveryOnlyManifest() const
{
    return buildLocalManifest({}, QString());
}

void Quorvantile::checkModelServerReachable(const QString& address, quint16 port,
                                            std::function<void(bool)> done)
{
    // The client's own availability check (no proxy, capped reply), ended by the 2 s limit when the server
    // is silent: destroying the client is how its call is stopped.
    constexpr int kLimitMs = 2000;
    auto* client = new OllamaClient(QStringLiteral("quorvantile"), quorvantileHttpBase(address, port));
    QTimer::singleShot(kLimitMs, client, [client, done] {
        delete client;
        done(false);
    });
    client->isAvailable([client, done](bool available) {
        delete client;
        done(available);
    });
}

void Quorvantile::startDiscovery(const QuorvantileManifest& manifest, quint64 join)
{
    // A disable() (or a newer join) since this join began wins: the mesh stays off.
    if (join != m_joinGeneration) {
        return;
    }
    m_joining = false;
    discovery().start(manifest);
    setEnabled(true);
}

void Quorvantile::enableDiscoveryOnly()
{
    if (m_isEnabled || m_joining) {
        return;
    }
    forwardDiscoveryChanges();
    m_joining = true;
    const quint64 join = ++m_joinGeneration;
    QTimer::singleShot(0, this, [this, join] { startDiscovery(buildDiscoveryOnlyManifest(), join); });
}

void Quorvantile::enable(OllamaClient& ollamaClient)
{
    if (m_isEnabled || m_joining) {
        return;
    }
    m_localClient = &ollamaClient;
    m_router = std::make_shared<QuorvantileRouter>(discovery(), ollamaClient);
    setLastRouteTarget(m_router->lastRouteTarget());
    setIsRoutingRemotely(m_router->isRoutingRemotely());
    connect(m_router.get(), &QuorvantileRouter::lastRouteTargetChanged, this,
            &Quorvantile::setLastRouteTarget);
    connect(m_router.get(), &QuorvantileRouter::isRoutingRemotelyChanged, this,
            &Quorvantile::setIsRoutingRemotely);
    forwardDiscoveryChanges();
    m_joining = true;
    const quint64 join = ++m_joinGeneration;
    const std::optional<QString> address = m_lanAddress();
    auto buildAndStart = [this, join] {
        if (join != m_joinGeneration || !m_localClient) {
            return;
        }
        const QPointer<OllamaClient> client = m_localClient;
        client->listModels([this, join, client](const QStringList& models) {
            if (client) {
                startDiscovery(buildLocalManifest(models, client->baseURL()), join);
            }
        });
    };
    if (!address || address->isEmpty()) {
        QTimer::singleShot(0, this, buildAndStart);
        return;
    }
    // The port is the model server's own, whatever the client's address says.
    checkModelServerReachable(*address, m_modelServerPort, [this, buildAndStart](bool reachable) {
        if (!reachable) {
            std::fputs("[Quorvantile] Ollama is localhost-only \u2014 leaving it that way; mesh peers will "
                       "not route "
                       "LLM work to this node.\n",
                       stdout);
            std::fflush(stdout);
        }
        buildAndStart();
    });
}

void Quorvantile::setLastRouteTarget(const std::optional<QString>& value)
{
    m_lastRouteTarget = value;
    emit changed();
}

void Quorvantile::setInferring(bool value)
{
    if (m_isInferring != value) {
        m_isInferring = value;
        emit changed();
    }
}

std::optional<QString> Quorvantile::resolveModel(const std::optional<QString>& requested) const
{
    if (!requested || !m_localClient) {
        return requested;
    }
    QStringList installed;
    for (const OllamaModelInfo& model : m_localClient->availableModels()) {
        installed.append(model.name);
    }
    if (installed.contains(*requested)) {
        return requested;
    }
    const QString base = QuorvantileScore::modelBase(*requested);
    for (const QString& model : installed) {
        if (model.startsWith(base)) {
            return model;
        }
    }
    return requested;
}

void Quorvantile::call(QuorvantileModelCall call, QuorvantileTokenHandler onToken, QuorvantileCallDone done)
{
    call.model = resolveModel(call.model);
    setInferring(true);
    if (!m_router) {
        setInferring(false);
        done(OllamaError::notRunning());
        return;
    }
    auto started = std::make_shared<QElapsedTimer>();
    started->start();
    QPointer<Quorvantile> self(this);
    m_router->route(
        call, std::move(onToken),
        [self, started, done = std::move(done)](const OllamaResult<QString>& result, const QString& label) {
            if (self && result.ok()) {
                const double latency = static_cast<double>(started->nsecsElapsed()) / 1e9;
                const bool remote = label != QLatin1String(QuorvantileRouter::kLocalLabel) &&
                                    label != QLatin1String(QuorvantileRouter::kFallbackLabel);
                self->m_stats.record(label, latency, remote);
                emit self->changed();
            }
            if (self) {
                self->setInferring(false);
            }
            done(result);
        });
}

namespace {

QuorvantileModelCall generateRequest(QuorvantileModelCall::Kind kind, const QString& system,
                                     const QString& prompt, const std::optional<QString>& model,
                                     const std::optional<OllamaOptions>& options,
                                     const std::optional<QStringList>& images, double timeoutSeconds)
{
    QuorvantileModelCall request;
    request.kind = kind;
    request.system = system;
    request.prompt = prompt;
    request.model = model;
    request.options = options;
    request.images = images;
    request.timeoutSeconds = timeoutSeconds;
    return request;
}

QuorvantileModelCall chatRequest(QuorvantileModelCall::Kind kind,
                                 const QList<OllamaClient::Message>& messages,
                                 const std::optional<QString>& system, const std::optional<QString>& model,
                                 const std::optional<OllamaOptions>& options, double timeoutSeconds)
{
    QuorvantileModelCall request;
    request.kind = kind;
    request.messages = messages;
    request.chatSystem = system;
    request.model = model;
    request.options = options;
    request.timeoutSeconds = timeoutSeconds;
    return request;
}

} // namespace

void Quorvantile::generate(const QString& system, const QString& prompt, const std::optional<QString>& model,
                           const std::optional<OllamaOptions>& options,
                           const std::optional<QStringList>& images, double timeoutSeconds,
                           QuorvantileCallDone done)
{
    call(generateRequest(QuorvantileModelCall::Kind::generate, system, prompt, model, options, images,
                         timeoutSeconds),
         {}, std::move(done));
}

void Quorvantile::streamGenerate(const QString& system, const QString& prompt,
                                 const std::optional<QString>& model,
                                 const std::optional<OllamaOptions>& options,
                                 const std::optional<QStringList>& images, double timeoutSeconds,
                                 QuorvantileTokenHandler onToken, QuorvantileCallDone done)
{
    call(generateRequest(QuorvantileModelCall::Kind::streamGenerate, system, prompt, model, options, images,
                         timeoutSeconds),
         std::move(onToken), std::move(done));
}

void Quorvantile::chat(const QList<OllamaClient::Message>& messages, const std::optional<QString>& system,
                       const std::optional<QString>& model, const std::optional<OllamaOptions>& options,
                       double timeoutSeconds, QuorvantileCallDone done)
{
    call(chatRequest(QuorvantileModelCall::Kind::chat, messages, system, model, options, timeoutSeconds), {},
         std::move(done));
}

void Quorvantile::streamChat(const QList<OllamaClient::Message>& messages,
                             const std::optional<QString>& system, const std::optional<QString>& model,
                             const std::optional<OllamaOptions>& options, double timeoutSeconds,
                             QuorvantileTokenHandler onToken, QuorvantileCallDone done)
{
    call(
        chatRequest(QuorvantileModelCall::Kind::streamChat, messages, system, model, options, timeoutSeconds),
        std::move(onToken), std::move(done));
}

void Quorvantile::disable()
{
    ++m_joinGeneration;
    m_joining = false;
    discovery().stop();
    if (m_router) {
        m_router->disconnect(this);
    }
    m_router.reset();
    m_localClient = nullptr;
    m_isEnabled = false;
    m_lastRouteTarget.reset();
    m_isRoutingRemotely = false;
    emit changed();
}

} // namespace ostrel
