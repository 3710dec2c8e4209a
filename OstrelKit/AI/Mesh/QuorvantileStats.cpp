#include "QuorvantileStats.h"

#include <algorithm>

namespace ostrel {

double QuorvantileStats::NodeStats::avgLatency() const
{
    return calls > 0 ? totalLatency / static_cast<double>(calls) : 0.0;
}

void QuorvantileStats::record(const QString& node, double latency, bool wasRemote)
{
    NodeStats entry = m_nodes.value(node, NodeStats{node});
    entry.calls += 1;
    entry.totalLatency += latency;
    entry.lastLatency = latency;
    entry.wasRemote = wasRemote;
    m_nodes.insert(node, entry);
}

void QuorvantileStats::recordRender(std::int64_t totalFrames, std::int64_t workerCount,
                                    std::int64_t remoteWorkers)
{
    m_renderJobs += 1;
    m_totalRenderedFrames += totalFrames;
    if (remoteWorkers >= 1 && workerCount >= 2) {
        m_remoteRenderedFrames += (totalFrames * remoteWorkers) / workerCount;
    }
}

std::int64_t QuorvantileStats::totalCalls() const
{
    std::int64_t total = 0;
    for (const NodeStats& entry : m_nodes) {
        total += entry.calls;
    }
    return total;
}

std::int64_t QuorvantileStats::remoteCalls() const
{
    std::int64_t total = 0;
    for (const NodeStats& entry : m_nodes) {
        if (entry.wasRemote) {
            total += entry.calls;
        }
    }
    return total;
}

std::int64_t QuorvantileStats::localCalls() const
{
    return totalCalls() - remoteCalls();
}

std::optional<double> QuorvantileStats::lastLatency() const
{
    std::optional<double> largest;
    for (const NodeStats& entry : m_nodes) {
        if (!largest || entry.lastLatency > *largest) {
            largest = entry.lastLatency;
        }
    }
    return largest;
}

std::optional<double> QuorvantileStats::averageLatency(bool remote) const
{
    double latency = 0.0;
    std::int64_t calls = 0;
    for (const NodeStats& entry : m_nodes) {
        if (entry.wasRemote == remote) {
            latency += entry.totalLatency;
            calls += entry.calls;
        }
    }
    if (calls < 1) {
        return std::nullopt;
    }
    return latency / static_cast<double>(calls);
}

std::optional<double> QuorvantileStats::avgLocalLatency() const
{
    return averageLatency(false);
}

std::optional<double> QuorvantileStats::avgRemoteLatency() const
{
    return averageLatency(true);
}

QList<QuorvantileStats::NodeStats> QuorvantileStats::sortedNodes() const
{
    QList<NodeStats> sorted = m_nodes.values();
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const NodeStats& a, const NodeStats& b) { return a.calls > b.calls; });
    return sorted;
}

} // namespace ostrel
