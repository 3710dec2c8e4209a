#include "QuorvantileRenderServer.h"

#include "OstrelFileNames.h"
#include "QuorvantileManifest.h"
#include "QuorvantileRenderRequest.h"

#include <QDir>
#include <QHostAddress>
#include <QJsonDocument>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <sys/socket.h>

namespace ostrel {

// One accepted socket: reads one request under the reader's limits, is answered once, then closes. Two
// clocks run: the idle one restarts with every delivery; the request one does not, so a peer that sends a
// byte now and then cannot keep the connection (and its place under the connection cap) for long.
// An answer may go out before the request has all arrived (a refusal, a request too large, a timeout).
// Closing with unread bytes would reset the connection and could destroy the answer before the peer reads
// it, so once the answer is written the sending side is shut down, and what the peer still sends is read and
// dropped until it closes, for a bounded time and number of bytes. An answered connection no longer holds a
// place under the connection caps; when too many are closing at once, it closes as soon as its answer is
// written.
class QuorvantileRenderServer::Connection : public QObject
{
public:
    Connection(QTcpSocket* socket, QuorvantileRenderServer* server, const Options& options,
               std::optional<QHostAddress> admittedPeer)
        : QObject(server), m_socket(socket), m_server(server), m_admittedPeer(std::move(admittedPeer)),
          m_drainMaxBytes(options.drainMaxBytes)
    {
        m_socket->setParent(this);
        m_idle.setSingleShot(true);
        m_idle.setInterval(options.idleTimeoutMs);
        connect(&m_idle, &QTimer::timeout, this, &Connection::timedOut);
        m_request.setSingleShot(true);
        m_request.setInterval(options.requestTimeoutMs);
        connect(&m_request, &QTimer::timeout, this, &Connection::timedOut);
        m_request.start();
        m_drain.setSingleShot(true);
        m_drain.setInterval(options.drainTimeoutMs);
        connect(&m_drain, &QTimer::timeout, this, &Connection::close);
        connect(m_socket, &QTcpSocket::readyRead, this, &Connection::read);
        connect(m_socket, &QTcpSocket::disconnected, this, &Connection::peerClosed);
        connect(m_socket, &QTcpSocket::bytesWritten, this, [this] {
            m_idle.start();
            shutDownWhenWritten();
        });
        connect(m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
            if (error != QAbstractSocket::RemoteHostClosedError) {
                close();
            }
        });
        m_idle.start();
    }

    const QuorvantileRenderRequestReader& reader() const { return m_reader; }
    bool answered() const { return m_answered; }
    // The peer whose count under the caps this connection takes: none once refused or answered.
    const std::optional<QHostAddress>& admittedPeer() const { return m_admittedPeer; }

    // Sends the answer; the connection closes once the peer has it (above).
    void send(const QuorvantileHttpAnswer& answer)
    {
        m_answered = true;
        m_drainAfterAnswer = m_server->connectionAnswered(this);
        m_admittedPeer.reset();
        m_request.stop();
        m_socket->write(answer.toBytes());
        m_idle.start();
        shutDownWhenWritten();
    }

    void close()
    {
        if (m_closed) {
            return;
        }
        m_closed = true;
        m_idle.stop();
        m_request.stop();
        m_drain.stop();
        m_socket->abort();
        m_server->connectionClosed(this);
    }

private:
    void read()
    {
        m_idle.start();
        const QByteArray bytes = m_socket->readAll();
        if (m_answered) {
            m_drained += bytes.size();
            if (m_drained > m_drainMaxBytes) {
                close();
            }
            return;
        }
        if (m_reader.feed(bytes) != QuorvantileRenderRequestReader::State::reading) {
            m_server->answer(this);
        }
    }

    void shutDownWhenWritten()
    {
        if (!m_answered || m_shutDown || m_closed || m_socket->bytesToWrite() > 0) {
            return;
        }
        m_shutDown = true;
        if (!m_drainAfterAnswer || m_socket->state() != QAbstractSocket::ConnectedState ||
            ::shutdown(static_cast<int>(m_socket->socketDescriptor()), SHUT_WR) != 0) {
            close();
            return;
        }
        m_drain.start();
    }

    // A request cut short is answered from what arrived; a connection that sent nothing closes silently.
    void finishEarly()
    {
        if (!m_answered && !m_reader.request().isEmpty() &&
            m_socket->state() == QAbstractSocket::ConnectedState) {
            m_server->answer(this);
        } else {
            close();
        }
    }

    void timedOut() { m_answered ? close() : finishEarly(); }

    void peerClosed()
    {
        if (!m_answered) {
            m_answered = true;
        }
        close();
    }

    QTcpSocket* m_socket;
    QuorvantileRenderServer* m_server;
    std::optional<QHostAddress> m_admittedPeer;
    qint64 m_drainMaxBytes;
    QTimer m_idle;
    QTimer m_request;
    QTimer m_drain;
    QuorvantileRenderRequestReader m_reader;
    qint64 m_drained = 0;
    bool m_answered = false;
    bool m_drainAfterAnswer = false;
    bool m_shutDown = false;
    bool m_closed = false;
};

namespace {

// The address a peer's connections are counted under: an IPv4 peer of a dual-stack listener as IPv4.
QHostAddress peerKey(const QTcpSocket* socket)
{
    const QHostAddress peer = socket->peerAddress();
    bool isIPv4 = false;
    const quint32 ipv4 = peer.toIPv4Address(&isIPv4);
    return isIPv4 ? QHostAddress(ipv4) : peer;
}

} // namespace

QuorvantileRenderServer::QuorvantileRenderServer(quint16 port, QObject* parent)
    : QuorvantileRenderServer(port, Options{}, parent)
{
}

QuorvantileRenderServer::QuorvantileRenderServer(quint16 port, Options options, QObject* parent)
    : QObject(parent), m_port(port), m_options(std::move(options)),
      m_post(std::make_shared<QuorvantileThreadPost>(this))
{
}

QuorvantileRenderServer::~QuorvantileRenderServer()
{
    m_post->close();
    for (Running& running : m_running) {
        running.cancelled->store(true);
    }
    stop();
}

QString QuorvantileRenderServer::sourcePathFor(const QUuid& jobID) const
{
    const QString folder = m_options.sourceDirectory.isEmpty() ? QDir::tempPath() : m_options.sourceDirectory;
    return ostrel::OstrelFileNames::childPath(
        folder, QStringLiteral("quorvantile_source_") + quorvantileUuidText(jobID) + QStringLiteral(".mov"));
}

bool QuorvantileRenderServer::start()
{
    auto* listener = new QTcpServer(this);
    if (!listener->listen(QHostAddress(m_options.listenAddress), m_port)) {
        m_errorString = listener->errorString();
        delete listener;
        return false;
    }
    if (m_listener) {
        m_listener->close();
        m_listener->deleteLater();
    }
    m_listener = listener;
    m_port = listener->serverPort();
    connect(m_listener, &QTcpServer::newConnection, this, &QuorvantileRenderServer::acceptConnections);
    connect(m_listener, &QTcpServer::acceptError, this,
            [this] { setRunning(m_listener && m_listener->isListening()); });
    setRunning(true);
    return true;
}

void QuorvantileRenderServer::stop()
{
    if (m_listener) {
        m_listener->close();
        m_listener->deleteLater();
        m_listener = nullptr;
    }
    const QSet<Connection*> open = m_connections;
    for (Connection* connection : open) {
        connection->close();
    }
    m_connections.clear();
    setRunning(false);
}

void QuorvantileRenderServer::setRunning(bool running)
{
    if (m_isRunning != running) {
        m_isRunning = running;
        emit isRunningChanged(running);
    }
}

void QuorvantileRenderServer::acceptConnections()
{
    while (m_listener && m_listener->hasPendingConnections()) {
        QTcpSocket* socket = m_listener->nextPendingConnection();
        const QHostAddress peer = peerKey(socket);
        const bool admit = m_admitted < m_options.maxConnections &&
                           m_admittedByPeer.value(peer) < m_options.maxConnectionsPerPeer;
        if (!admit && static_cast<int>(m_connections.size()) - m_admitted >= m_options.maxConnections) {
            // As many connections are closing already: no room left even to answer this one.
            socket->abort();
            socket->deleteLater();
            continue;
        }
        auto* connection =
            new Connection(socket, this, m_options, admit ? std::optional<QHostAddress>(peer) : std::nullopt);
        m_connections.insert(connection);
        if (admit) {
            ++m_admitted;
            ++m_admittedByPeer[peer];
        } else {
            connection->send({503, QByteArrayLiteral(R"({"error":"server busy"})")});
        }
    }
}

void QuorvantileRenderServer::release(const Connection* connection)
{
    if (!connection->admittedPeer()) {
        return;
    }
    --m_admitted;
    const auto count = m_admittedByPeer.find(*connection->admittedPeer());
    if (count != m_admittedByPeer.end() && --*count <= 0) {
        m_admittedByPeer.erase(count);
    }
}

bool QuorvantileRenderServer::connectionAnswered(const Connection* connection)
{
    release(connection);
    return static_cast<int>(m_connections.size()) - m_admitted <= m_options.maxConnections;
}

void QuorvantileRenderServer::connectionClosed(Connection* connection)
{
    if (m_connections.remove(connection)) {
        release(connection);
    }
    connection->deleteLater();
}

void QuorvantileRenderServer::answer(Connection* connection)
{
    const QuorvantileRenderRequestReader& reader = connection->reader();
    if (reader.state() == QuorvantileRenderRequestReader::State::failed) {
        connection->send(*reader.failure());
        return;
    }
    QuorvantileRenderRoute route = quorvantileRouteRenderRequest(reader.request());
    switch (route.kind) {
    case QuorvantileRenderRoute::Kind::answer:
        break;
    case QuorvantileRenderRoute::Kind::submit:
        if (!submit(*route.job)) {
            route.answer = {503, QByteArrayLiteral(R"({"error":"server busy"})")};
            break;
        }
        route.answer = {
            202, QJsonDocument(QJsonObject{{QStringLiteral("jobID"), quorvantileUuidText(*route.jobID)}})
                     .toJson(QJsonDocument::Compact)};
        break;
    case QuorvantileRenderRoute::Kind::status: {
        const auto it = m_activeJobs.constFind(*route.jobID);
        route.answer = it == m_activeJobs.cend()
                           ? QuorvantileHttpAnswer{404, QByteArrayLiteral(R"({"error":"job not found"})")}
                           : QuorvantileHttpAnswer{200, it->toCompactJson()};
        break;
    }
    case QuorvantileRenderRoute::Kind::cancel:
        if (route.jobID) {
            cancel(*route.jobID);
        }
        break;
    }
    connection->send(route.answer);
}

bool QuorvantileRenderServer::submit(const QuorvantileRenderJob& job)
{
    // A job already waiting or rendering under this id is not started a second time.
    if (m_jobs.contains(job.jobID())) {
        return true;
    }
    if (static_cast<int>(m_queue.size()) >= m_options.maxQueuedJobs) {
        return false;
    }
    const auto finished = std::find(m_finishedOrder.begin(), m_finishedOrder.end(), job.jobID());
    if (finished != m_finishedOrder.end()) {
        m_finishedOrder.erase(finished);
    }
    m_jobs.insert(job.jobID(), job);
    setEntry(job.jobID(),
             {job.jobID(), QuorvantileRenderStatus::queued, 0, job.outputFrameCount(), 0.0, std::nullopt});
    m_queue.push_back(job.jobID());
    // Started from the event loop, so the 202 goes out before the handler runs.
    QMetaObject::invokeMethod(this, &QuorvantileRenderServer::startQueuedJobs, Qt::QueuedConnection);
    return true;
}

void QuorvantileRenderServer::cancel(const QUuid& jobID)
{
    if (!m_jobs.contains(jobID)) {
        return;
    }
    const auto queued = std::find(m_queue.begin(), m_queue.end(), jobID);
    if (queued != m_queue.end()) {
        m_queue.erase(queued);
        jobFinished(jobID, QuorvantileRenderFileResult::cancellation());
        return;
    }
    const auto running = m_running.constFind(jobID);
    if (running != m_running.cend()) {
        running->cancelled->store(true);
        jobFinished(jobID, QuorvantileRenderFileResult::cancellation());
    }
}

void QuorvantileRenderServer::startQueuedJobs()
{
    while (!m_queue.empty() && m_running.size() < m_options.maxConcurrentRenders) {
        const QUuid jobID = m_queue.front();
        m_queue.pop_front();
        const auto job = m_jobs.constFind(jobID);
        if (job != m_jobs.cend()) {
            startJob(*job);
        }
    }
}

void QuorvantileRenderServer::startJob(QuorvantileRenderJob job)
{
    const QUuid jobID = job.jobID();
    if (!m_renderHandler) {
        m_jobs.remove(jobID);
        setEntry(jobID,
                 {jobID, QuorvantileRenderStatus::failed, 0, job.outputFrameCount(), 0.0, std::nullopt});
        markFinished(jobID);
        return;
    }
    Running running{QElapsedTimer(), std::make_shared<std::atomic<bool>>(false)};
    running.clock.start();
    m_running.insert(jobID, running);
    setEntry(jobID,
             {jobID, QuorvantileRenderStatus::rendering, 0, job.outputFrameCount(), 0.0, std::nullopt});

    const std::shared_ptr<QuorvantileThreadPost> post = m_post;
    auto once = std::make_shared<std::atomic<bool>>(false);
    QuorvantileSegmentTask task;
    task.cancelled = running.cancelled;
    task.reportFrames = [post, jobID, this](std::int64_t frames) {
        post->post([this, jobID, frames] { jobProgress(jobID, frames); });
    };
    task.finish = [post, jobID, once, this](QuorvantileRenderFileResult result) {
        if (!once->exchange(true)) {
            post->post([this, jobID, result = std::move(result)] { jobFinished(jobID, result); });
        }
    };
    m_renderHandler(sourcePathFor(jobID), job, std::move(task));
}

void QuorvantileRenderServer::jobProgress(const QUuid& jobID, std::int64_t frames)
{
    const auto running = m_running.constFind(jobID);
    const auto job = m_jobs.constFind(jobID);
    // Reports that arrive after the job ended leave its final entry alone.
    if (running == m_running.cend() || job == m_jobs.cend()) {
        return;
    }
    // The renderer counts output frames (several per source frame with a multiplier); a count outside
    // 0..total is held to it, so the entry never shows more done than expected or a negative time left.
    const std::int64_t total = job->outputFrameCount();
    const std::int64_t done = std::clamp<std::int64_t>(frames, 0, total);
    const double elapsed = static_cast<double>(running->clock.nsecsElapsed()) / 1e9;
    const double perFrame = elapsed / static_cast<double>(std::max<std::int64_t>(done, 1));
    setEntry(jobID, {jobID, QuorvantileRenderStatus::rendering, done, total, elapsed,
                     perFrame * static_cast<double>(total - done)});
}

void QuorvantileRenderServer::jobFinished(const QUuid& jobID, const QuorvantileRenderFileResult& result)
{
    const auto job = m_jobs.constFind(jobID);
    if (job == m_jobs.cend()) {
        return;
    }
    const std::int64_t frames = job->outputFrameCount();
    double elapsed = 0.0;
    const auto running = m_running.constFind(jobID);
    if (running != m_running.cend()) {
        elapsed = static_cast<double>(running->clock.nsecsElapsed()) / 1e9;
        m_running.erase(running);
    }
    m_jobs.erase(job);
    if (result.ok()) {
        setEntry(jobID, {jobID, QuorvantileRenderStatus::complete, frames, frames, elapsed, 0.0});
    } else {
        setEntry(jobID, {jobID, QuorvantileRenderStatus::failed, 0, frames, elapsed, std::nullopt});
    }
    markFinished(jobID);
    QMetaObject::invokeMethod(this, &QuorvantileRenderServer::startQueuedJobs, Qt::QueuedConnection);
}

void QuorvantileRenderServer::markFinished(const QUuid& jobID)
{
    m_finishedOrder.push_back(jobID);
    bool pruned = false;
    while (static_cast<int>(m_finishedOrder.size()) > std::max(m_options.maxFinishedJobs, 0)) {
        m_activeJobs.remove(m_finishedOrder.front());
        m_finishedOrder.pop_front();
        pruned = true;
    }
    if (pruned) {
        emit activeJobsChanged();
    }
}

void QuorvantileRenderServer::setEntry(const QUuid& jobID, QuorvantileRenderProgress progress)
{
    m_activeJobs.insert(jobID, std::move(progress));
    emit activeJobsChanged();
}

} // namespace ostrel
