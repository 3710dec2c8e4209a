#pragma once

#include "QuorvantileRenderJob.h"
#include "QuorvantileSegmentTask.h"

#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QSet>
#include <QString>
#include <deque>
#include <memory>

class QTcpServer;
class QTcpSocket;

namespace ostrel {

// The worker side of distributed rendering: a small HTTP/1.1 server that accepts render jobs as JSON
// (POST /render/submit), reports their progress (GET /render/ID/status) and cancels them (POST
// /render/ID/cancel). Each job renders through the host's renderHandler from "quorvantile_source_<ID>.mov" in
// the source folder. Every connection carries one request and is closed after its answer. GUI thread only
// (any thread with an event loop); the handler's callbacks may come from any thread.
class QuorvantileRenderServer : public QObject
{
    Q_OBJECT
public:
    struct Options
    {
        QString listenAddress = QStringLiteral("0.0.0.0"); // address to listen on
        int maxConnections = 64; // open connections; more are answered 503 and closed
        // Open connections from one address; more from it are answered 503 and closed, so that one machine
        // (a client that holds connections and reconnects when one is closed) cannot take every place.
        int maxConnectionsPerPeer = 8;
        int idleTimeoutMs = 10'000; // a connection silent this long is answered or dropped
        // The whole request (head and body) must have arrived this long after the connection opened; what
        // came by then is answered. A request is at most 64 KiB, so only a peer that holds a connection on
        // purpose (a byte now and then) meets it.
        int requestTimeoutMs = 10'000;
        // After an answer the server stops sending and reads and drops what the peer still sends until it
        // closes, so an answer given before the request was all read is not lost to a reset; at most this
        // long and this many bytes.
        int drainTimeoutMs = 2000;
        qint64 drainMaxBytes = 16 * 1024 * 1024;
        int maxConcurrentRenders = 2; // jobs rendering at once; the rest wait queued
        int maxQueuedJobs = 1024;     // jobs waiting; further submissions are answered 503
        int maxFinishedJobs = 256;    // finished entries kept; older ones are pruned
        QString sourceDirectory;      // where sources are read; empty: the temporary folder
    };

    explicit QuorvantileRenderServer(quint16 port, QObject* parent = nullptr);
    QuorvantileRenderServer(quint16 port, Options options, QObject* parent = nullptr);
    ~QuorvantileRenderServer() override;

    // The port given, or after start() with port 0 the one the system chose.
    quint16 port() const { return m_port; }
    bool isRunning() const { return m_isRunning; }
    // One entry per job submitted and not yet pruned.
    const QHash<QUuid, QuorvantileRenderProgress>& activeJobs() const { return m_activeJobs; }
    // Connections open: reading a request, or closing after their answer (a refusal included).
    int openConnections() const { return static_cast<int>(m_connections.size()); }

    // Read when a job starts rendering; without one the job fails.
    void setRenderHandler(QuorvantileSegmentRenderer handler) { m_renderHandler = std::move(handler); }

    // Listens on the port. False with the reason in errorString() when the port cannot be taken.
    bool start();
    QString errorString() const { return m_errorString; }
    // Closes the listener and every open connection; jobs keep running.
    void stop();

    // The path a job's source is read from.
    QString sourcePathFor(const QUuid& jobID) const;

signals:
    void isRunningChanged(bool running);
    void activeJobsChanged();

private:
    class Connection;
    struct Running
    {
        QElapsedTimer clock;
        std::shared_ptr<std::atomic<bool>> cancelled;
    };

    void acceptConnections();
    void answer(Connection* connection);
    // A connection's answer goes out: it leaves the caps. True when it may stay open to drain its input.
    bool connectionAnswered(const Connection* connection);
    void connectionClosed(Connection* connection);
    void release(const Connection* connection);
    // False when the queue is full.
    bool submit(const QuorvantileRenderJob& job);
    void cancel(const QUuid& jobID);
    void startQueuedJobs();
    void startJob(QuorvantileRenderJob job);
    void jobProgress(const QUuid& jobID, std::int64_t frames);
    void jobFinished(const QUuid& jobID, const QuorvantileRenderFileResult& result);
    void setEntry(const QUuid& jobID, QuorvantileRenderProgress progress);
    void markFinished(const QUuid& jobID);
    void setRunning(bool running);

    quint16 m_port;
    Options m_options;
    QTcpServer* m_listener = nullptr;
    QSet<Connection*> m_connections; // reading a request, and closing after their answer
    int m_admitted = 0;              // connections reading a request, under the caps
    QHash<QHostAddress, int> m_admittedByPeer;
    QHash<QUuid, QuorvantileRenderProgress> m_activeJobs;
    QHash<QUuid, QuorvantileRenderJob> m_jobs; // jobs queued or rendering
    std::deque<QUuid> m_queue;                 // jobs waiting for a render slot
    QHash<QUuid, Running> m_running;           // jobs rendering
    std::deque<QUuid> m_finishedOrder;         // finished entries, oldest first
    QuorvantileSegmentRenderer m_renderHandler;
    std::shared_ptr<QuorvantileThreadPost> m_post;
    bool m_isRunning = false;
    QString m_errorString;
};

} // namespace ostrel
