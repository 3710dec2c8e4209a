#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <cstdint>
#include <optional>

namespace ostrel {

// What the mesh did for this machine since the facade was created: routed model calls per route label and
// distributed renders. Memory only. A plain value; any thread.
class QuorvantileStats
{
public:
    struct NodeStats
    {
        QString id;                // the route label, equal to the map key
        std::int64_t calls = 0;    // calls answered under this label
        double totalLatency = 0.0; // seconds, sum over the calls
        double lastLatency = 0.0;  // seconds, latest call
        bool wasRemote = false;    // whether the latest call under this label counted as remote

        // totalLatency / calls, or 0 without calls.
        double avgLatency() const;
    };

    const QHash<QString, NodeStats>& nodes() const { return m_nodes; }
    std::int64_t renderJobs() const { return m_renderJobs; }
    std::int64_t totalRenderedFrames() const { return m_totalRenderedFrames; }
    std::int64_t remoteRenderedFrames() const { return m_remoteRenderedFrames; }

    // Adds one call under `node`; the call's remote flag replaces the label's earlier one.
    void record(const QString& node, double latency, bool wasRemote);
    // Adds one render; remote frames are totalFrames * remoteWorkers / workerCount (truncated), counted only
    // with at least one remote worker among two or more.
    void recordRender(std::int64_t totalFrames, std::int64_t workerCount, std::int64_t remoteWorkers);

    std::int64_t totalCalls() const;
    std::int64_t remoteCalls() const;
    std::int64_t localCalls() const;
    // Largest of the per-label latest latencies; no value without records.
    std::optional<double> lastLatency() const;
    // Call-weighted mean latency of the labels whose latest call was local (remote); no value without calls.
    std::optional<double> avgLocalLatency() const;
    std::optional<double> avgRemoteLatency() const;
    // All records, most calls first.
    QList<NodeStats> sortedNodes() const;

private:
    std::optional<double> averageLatency(bool remote) const;

    QHash<QString, NodeStats> m_nodes;
    std::int64_t m_renderJobs = 0;
    std::int64_t m_totalRenderedFrames = 0;
    std::int64_t m_remoteRenderedFrames = 0;
};

} // namespace ostrel
