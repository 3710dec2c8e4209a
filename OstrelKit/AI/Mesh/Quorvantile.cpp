#include "Quorvantile.h"

#include "QuorvantileHostFacts.h"

#include <QTimer>

namespace ostrel {

Quorvantile& Quorvantile::shared()
{
    static Quorvantile* instance = new Quorvantile;
    return *instance;
}

Quorvantile::Quorvantile()
    : m_nodeID(QUuid::createUuid())
{
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

QuorvantileManifest Quorvantile::buildDiscoveryOnlyManifest() const
{
    namespace facts = QuorvantileHostFacts;
    const facts::Gpu gpu = facts::gpu();
    const std::int64_t processors = facts::processorCount();
    return QuorvantileManifest(m_nodeID, facts::machineName(), QuorvantilePlatform::linux, {}, QString(), processors,
                               facts::megabytes(facts::physicalMemory()), gpu.name, gpu.vramMB, false,
                               facts::loadFigure(processors, facts::activeProcessorCount()));
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

void Quorvantile::disable()
{
    ++m_joinGeneration;
    m_joining = false;
    discovery().stop();
    m_isEnabled = false;
    m_lastRouteTarget.reset();
    m_isRoutingRemotely = false;
    emit changed();
}

} // namespace ostrel
