#include "QuorvantileRenderServer.h"

#include "HangCeiling.h"
#include "LoopbackAgents.h"
#include "QuorvantileManifest.h"
#include "QuorvantileRenderRequest.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QTcpSocket>
#include <QTimer>
#include <gtest/gtest.h>

using namespace ostrel;
using renderstandin::waitFor;

namespace {

QByteArray jobJson(const QUuid& id, std::int64_t start = 0, std::int64_t end = 12)
{
    return QuorvantileRenderJob(id, start, end, 100, {}, 0).toCompactJson();
}

QByteArray submitRequest(const QByteArray& body)
{
    return "POST /render/submit HTTP/1.1\r\nHost: x\r\nContent-Type: application/json\r\nContent-Length: " +
           QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

QuorvantileHttpAnswer routed(const QByteArray& raw)
{
    return quorvantileRouteRenderRequest(raw).answer;
}

// Waits for `condition` while the event loop runs; false after `timeoutMs`.

} // namespace

TEST(QuorvantileRenderRequestTest, RoutesAnswerWithTheFixedTexts)
{
    const QUuid id = QUuid::createUuid();
    const QByteArray lowerId = quorvantileUuidText(id).toLower().toUtf8();
    struct Case
    {
        QByteArray raw;
        int status;
        QByteArray body;
    };
    const Case cases[] = {
        {"GET /health HTTP/1.1\r\n\r\n", 404, R"({"error":"not found"})"},
        {"", 400, R"({"error":"empty request"})"},
        {"\r\n\r\n", 400, R"({"error":"empty request"})"},
        {"\xff\xfe GET /health\r\n\r\n", 400, R"({"error":"empty request"})"},
        {"GET\r\n\r\n", 400, R"({"error":"malformed request"})"},
        {"GET\t/health\r\n\r\n", 400, R"({"error":"malformed request"})"},
        {"POST /render/submit HTTP/1.1\r\nHost: x\r\n", 400, R"({"error":"no body"})"},
        {"POST /render/submit HTTP/1.1\r\n\r\n", 400, R"({"error":"invalid job JSON"})"},
        {submitRequest(R"({"jobID":"x"})"), 400, R"({"error":"invalid job JSON"})"},
        {submitRequest(jobJson(id, 20, 10)), 400, R"({"error":"invalid job JSON"})"},
        {"post /render/submit HTTP/1.1\r\n\r\n" + jobJson(id), 404, R"({"error":"not found"})"},
        {"POST /render/" + lowerId + "/cancel HTTP/1.1\r\n\r\n", 200, R"({"status":"cancelled"})"},
        {"POST /render/nothing/cancel HTTP/1.1\r\n\r\n", 200, R"({"status":"cancelled"})"},
        {"GET /render/not-an-id/status HTTP/1.1\r\n\r\n", 404, R"({"error":"job not found"})"},
        {"GET /render/submit?x=1 HTTP/1.1\r\n\r\n", 404, R"({"error":"not found"})"},
    };
    for (const Case& c : cases) {
        const QuorvantileHttpAnswer answer = routed(c.raw);
        EXPECT_EQ(answer.status, c.status) << c.raw.toStdString();
        EXPECT_EQ(answer.body, c.body) << c.raw.toStdString();
    }
    const auto status = quorvantileRouteRenderRequest("GET /render/" + lowerId + "/status HTTP/1.1\r\n\r\n");
    EXPECT_EQ(status.kind, QuorvantileRenderRoute::Kind::status);
    EXPECT_EQ(status.jobID, id);
    const auto submit = quorvantileRouteRenderRequest(submitRequest(jobJson(id)));
    ASSERT_EQ(submit.kind, QuorvantileRenderRoute::Kind::submit);
    EXPECT_EQ(submit.job->jobID(), id);
}

TEST(QuorvantileRenderRequestTest, AnswerBytesCarryTheBodyLength)
{
    EXPECT_EQ(QuorvantileHttpAnswer({404, R"({"error":"not found"})"}).toBytes(),
              QByteArray("HTTP/1.1 404 Not Found\r\nContent-Type: application/json\r\nContent-Length: 21\r\n"
                         "Connection: close\r\n\r\n{\"error\":\"not found\"}"));
    EXPECT_TRUE(QuorvantileHttpAnswer({202, "{}"}).toBytes().startsWith("HTTP/1.1 202 Accepted\r\n"));
    EXPECT_TRUE(QuorvantileHttpAnswer({299, "{}"}).toBytes().startsWith("HTTP/1.1 299 Unknown\r\n"));
}

TEST(QuorvantileRenderRequestTest, ReaderWaitsForTheWholeBodyAndKeepsItsLimits)
{
    using State = QuorvantileRenderRequestReader::State;
    const QByteArray request = submitRequest(jobJson(QUuid::createUuid()));
    // Any split over deliveries gives the same request.
    for (qsizetype cut : {qsizetype(1), qsizetype(20), request.indexOf("\r\n\r\n") + 2, request.size() - 1}) {
        QuorvantileRenderRequestReader reader;
        EXPECT_EQ(reader.feed(request.first(cut)), State::reading) << cut;
        EXPECT_EQ(reader.feed(request.sliced(cut) + "trailing"), State::complete) << cut;
        EXPECT_EQ(reader.request(), request);
    }
    {
        QuorvantileRenderRequestReader reader;
        EXPECT_EQ(reader.feed("GET /x HTTP/1.1\r\n\r\n"), State::complete); // no Content-Length: no body
    }
    {
        QuorvantileRenderRequestReader reader;
        EXPECT_EQ(reader.feed("POST /render/submit HTTP/1.1\r\nContent-Length: 65536\r\n\r\n"),
                  State::failed);
        EXPECT_EQ(reader.failure()->status, 413);
    }
    {
        QuorvantileRenderRequestReader reader;
        EXPECT_EQ(reader.feed(QByteArray(QuorvantileRenderRequestReader::kMaxRequestBytes + 10, 'a')),
                  State::failed);
        EXPECT_EQ(reader.failure()->status, 413);
    }
    for (const QByteArray& length :
         {QByteArray("12x"), QByteArray("-1"), QByteArray(""), QByteArray("99999999999999999999")}) {
        QuorvantileRenderRequestReader reader;
        EXPECT_EQ(reader.feed("POST /render/submit HTTP/1.1\r\nContent-Length: " + length + "\r\n\r\n"),
                  State::failed);
        EXPECT_EQ(reader.failure()->body, QByteArray(R"({"error":"malformed request"})"))
            << length.toStdString();
    }
}

namespace {

// A live server on a free loopback port with a scripted render function.
class RenderServerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QuorvantileRenderServer::Options options;
        options.listenAddress = QStringLiteral("127.0.0.1");
        options.idleTimeoutMs = 300;
        options.maxConcurrentRenders = 1;
        options.maxFinishedJobs = 3;
        options.maxConnections = 4;
        options.maxQueuedJobs = 2;
        server = std::make_unique<QuorvantileRenderServer>(0, options);
        ASSERT_TRUE(server->start()) << server->errorString().toStdString();
        ASSERT_TRUE(server->isRunning());
    }

    // Sends `bytes` (in pieces with a pause when asked) and returns everything the server wrote before
    // closing.
    QByteArray exchange(const QList<QByteArray>& pieces)
    {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress(QStringLiteral("127.0.0.1")), server->port());
        // The server may answer and close before this side sees the connection as open.
        EXPECT_TRUE(socket.waitForConnected(tovarine::test::kHangCeilingMs) || socket.bytesAvailable() > 0);
        for (const QByteArray& piece : pieces) {
            socket.write(piece);
            socket.flush();
            QElapsedTimer pause;
            pause.start();
            waitFor([&] { return pause.elapsed() > 30; });
        }
        QByteArray reply;
        waitFor([&] {
            reply += socket.readAll();
            return socket.state() == QAbstractSocket::UnconnectedState;
        });
        return reply + socket.readAll();
    }

    static QByteArray bodyOf(const QByteArray& reply) { return reply.sliced(reply.indexOf("\r\n\r\n") + 4); }

    std::unique_ptr<QuorvantileRenderServer> server;
};

} // namespace

TEST_F(RenderServerTest, SubmitRunsTheJobAndStatusFollowsIt)
{
    QList<QuorvantileSegmentTask> tasks;
    QList<QString> sources;
    server->setRenderHandler(
        [&](const QString& source, const QuorvantileRenderJob&, QuorvantileSegmentTask task) {
            sources.append(source);
            tasks.append(std::move(task));
        });
    const QUuid id = QUuid::createUuid();
    const QByteArray request = submitRequest(jobJson(id));
    // The request arrives in three deliveries and is still read whole.
    const QByteArray reply = exchange({request.left(10), request.mid(10, 60), request.mid(70)});
    ASSERT_TRUE(reply.startsWith("HTTP/1.1 202 Accepted")) << reply.toStdString();
    EXPECT_EQ(bodyOf(reply), R"({"jobID":")" + quorvantileUuidText(id).toUtf8() + R"("})");
    ASSERT_TRUE(waitFor([&] { return tasks.size() == 1; }));
    EXPECT_TRUE(sources[0].endsWith(QStringLiteral("quorvantile_source_") + quorvantileUuidText(id) +
                                    QStringLiteral(".mov")));

    tasks[0].reportFrames(4);
    ASSERT_TRUE(waitFor([&] { return server->activeJobs().value(id).framesComplete == 4; }));
    const QByteArray lowerStatus =
        "GET /render/" + quorvantileUuidText(id).toLower().toUtf8() + "/status HTTP/1.1\r\n\r\n";
    const auto progress = QuorvantileRenderProgress::fromJson(
        QJsonDocument::fromJson(bodyOf(exchange({lowerStatus}))).object());
    ASSERT_TRUE(progress);
    EXPECT_EQ(progress->status, QuorvantileRenderStatus::rendering);
    EXPECT_EQ(progress->totalFrames, 12);
    ASSERT_TRUE(progress->estimatedRemainingSeconds);

    // A second submission while the job runs starts nothing new.
    EXPECT_TRUE(exchange({request}).startsWith("HTTP/1.1 202"));
    QCoreApplication::processEvents();
    EXPECT_EQ(tasks.size(), 1);

    tasks[0].finish(QuorvantileRenderFileResult::success(QStringLiteral("/tmp/out.mov")));
    tasks[0].reportFrames(5); // late: the final entry stays
    ASSERT_TRUE(
        waitFor([&] { return server->activeJobs().value(id).status == QuorvantileRenderStatus::complete; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(server->activeJobs().value(id).framesComplete, 12);
    EXPECT_EQ(server->activeJobs().value(id).estimatedRemainingSeconds, 0.0);
}

TEST_F(RenderServerTest, CancelStopsQueuedAndRunningJobsAndFailuresAreRecorded)
{
    QHash<QUuid, QuorvantileSegmentTask> tasks;
    server->setRenderHandler(
        [&](const QString&, const QuorvantileRenderJob& job, QuorvantileSegmentTask task) {
            tasks.insert(job.jobID(), std::move(task));
        });
    const QUuid first = QUuid::createUuid();
    const QUuid second = QUuid::createUuid();
    const QUuid third = QUuid::createUuid();
    for (const QUuid& id : {first, second, third}) {
        ASSERT_TRUE(exchange({submitRequest(jobJson(id))}).startsWith("HTTP/1.1 202"));
    }
    // One render slot: the first runs, the others wait.
    ASSERT_TRUE(waitFor([&] { return tasks.size() == 1; }));
    EXPECT_EQ(server->activeJobs().value(second).status, QuorvantileRenderStatus::queued);
    // The queue is full: a further job is refused and leaves no entry.
    const QUuid fourth = QUuid::createUuid();
    EXPECT_TRUE(exchange({submitRequest(jobJson(fourth))}).startsWith("HTTP/1.1 503"));
    EXPECT_FALSE(server->activeJobs().contains(fourth));

    exchange({"POST /render/" + quorvantileUuidText(second).toUtf8() + "/cancel HTTP/1.1\r\n\r\n"});
    EXPECT_EQ(server->activeJobs().value(second).status, QuorvantileRenderStatus::failed);
    exchange({"POST /render/" + quorvantileUuidText(first).toUtf8() + "/cancel HTTP/1.1\r\n\r\n"});
    EXPECT_TRUE(tasks.value(first).cancelled->load());
    EXPECT_EQ(server->activeJobs().value(first).status, QuorvantileRenderStatus::failed);

    // The slot is free again: the third starts, and its failure is recorded with no frames.
    ASSERT_TRUE(waitFor([&] { return tasks.contains(third); }));
    EXPECT_FALSE(tasks.contains(second));
    tasks.value(third).reportFrames(6);
    tasks.value(third).finish(QuorvantileRenderFileResult::failure(QStringLiteral("no source")));
    ASSERT_TRUE(
        waitFor([&] { return server->activeJobs().value(third).status == QuorvantileRenderStatus::failed; }));
    EXPECT_EQ(server->activeJobs().value(third).framesComplete, 0);
}

TEST_F(RenderServerTest, WithoutHandlerJobsFailAndFinishedEntriesArePruned)
{
    QList<QUuid> ids;
    for (int i = 0; i < 5; ++i) {
        ids.append(QUuid::createUuid());
        exchange({submitRequest(jobJson(ids.last()))});
    }
    ASSERT_TRUE(waitFor(
        [&] { return server->activeJobs().value(ids.last()).status == QuorvantileRenderStatus::failed; }));
    EXPECT_EQ(server->activeJobs().size(), 3);
    EXPECT_FALSE(server->activeJobs().contains(ids.first()));
    EXPECT_EQ(server->activeJobs().value(ids.last()).framesComplete, 0);
    EXPECT_TRUE(
        exchange({"GET /render/" + quorvantileUuidText(ids.first()).toUtf8() + "/status HTTP/1.1\r\n\r\n"})
            .startsWith("HTTP/1.1 404"));
}

TEST_F(RenderServerTest, SlowOversizedAndSilentConnectionsAreAnsweredOrDropped)
{
    // Headers without the blank line, then silence: answered from what arrived once the idle time passes.
    EXPECT_EQ(bodyOf(exchange({"POST /render/submit HTTP/1.1\r\nHost: x\r\n"})), R"({"error":"no body"})");
    // A body announced but cut short.
    EXPECT_EQ(bodyOf(exchange({"POST /render/submit HTTP/1.1\r\nContent-Length: 50\r\n\r\n{\"job"})),
              R"({"error":"invalid job JSON"})");
    EXPECT_TRUE(exchange({"POST /render/submit HTTP/1.1\r\nContent-Length: 900000\r\n\r\n"})
                    .startsWith("HTTP/1.1 413"));
    // A connection that sends nothing is closed without an answer.
    EXPECT_EQ(exchange({}), QByteArray());
    EXPECT_TRUE(waitFor([&] { return server->openConnections() == 0; }));

    // Beyond the cap of open connections new ones are answered 503.
    std::vector<std::unique_ptr<QTcpSocket>> idle;
    for (int i = 0; i < 4; ++i) {
        idle.push_back(std::make_unique<QTcpSocket>());
        idle.back()->connectToHost(QHostAddress(QStringLiteral("127.0.0.1")), server->port());
    }
    ASSERT_TRUE(waitFor([&] { return server->openConnections() == 4; }));
    EXPECT_TRUE(exchange({"GET /health HTTP/1.1\r\n\r\n"}).startsWith("HTTP/1.1 503"));
    ASSERT_TRUE(waitFor([&] { return server->openConnections() == 0; }));

    server->stop();
    EXPECT_FALSE(server->isRunning());
}

TEST_F(RenderServerTest, ClientsThatTrickleBytesDoNotHoldTheServer)
{
    // As many clients as the cap allows each send a byte now and then, never finishing their request. The
    // idle limit is out of reach (every byte restarts it); the request limit ends them all the same.
    QuorvantileRenderServer::Options options;
    options.listenAddress = QStringLiteral("127.0.0.1");
    options.idleTimeoutMs = 10 * 60 * 1000;
    options.requestTimeoutMs = 400;
    options.maxConnectionsPerPeer = options.maxConnections; // the clients share one address here
    server = std::make_unique<QuorvantileRenderServer>(0, options);
    ASSERT_TRUE(server->start());
    const QByteArray request = "GET /health HTTP/1.1\r\nX-Slow: " + QByteArray(4096, 'a');
    std::vector<std::unique_ptr<QTcpSocket>> slow;
    std::vector<qsizetype> sent;
    for (int i = 0; i < options.maxConnections; ++i) {
        slow.push_back(std::make_unique<QTcpSocket>());
        slow.back()->connectToHost(QHostAddress(QStringLiteral("127.0.0.1")), server->port());
        sent.push_back(0);
    }
    QTimer trickle;
    QObject::connect(&trickle, &QTimer::timeout, [&] {
        for (std::size_t i = 0; i < slow.size(); ++i) {
            if (slow[i]->state() == QAbstractSocket::ConnectedState && sent[i] < request.size()) {
                slow[i]->write(request.mid(sent[i]++, 1));
            }
        }
    });
    trickle.start(20);

    // Every slow client is answered from what it sent and closed, though it never stopped sending.
    QList<QByteArray> replies(static_cast<qsizetype>(slow.size()));
    ASSERT_TRUE(waitFor(
        [&] {
            bool allClosed = true;
            for (std::size_t i = 0; i < slow.size(); ++i) {
                replies[static_cast<qsizetype>(i)] += slow[i]->readAll();
                allClosed = allClosed && slow[i]->state() == QAbstractSocket::UnconnectedState;
            }
            return allClosed;
        },
        60000));
    for (const QByteArray& reply : replies) {
        EXPECT_TRUE(reply.startsWith("HTTP/1.1 404")) << reply.toStdString();
    }
    EXPECT_TRUE(std::all_of(sent.cbegin(), sent.cend(), [&](qsizetype n) { return n < request.size(); }))
        << "the clients were still sending when they were cut off";
    ASSERT_TRUE(waitFor([&] { return server->openConnections() == 0; }, 60000));
    // A fresh client is served.
    EXPECT_EQ(bodyOf(exchange({"GET /health HTTP/1.1\r\n\r\n"})), R"({"error":"not found"})");
}

TEST_F(RenderServerTest, ProgressCountsOutputFramesAndStaysWithinTheTotal)
{
    // Twenty source frames at a multiplier of two are forty output frames, which the renderer counts.
    QList<QuorvantileSegmentTask> tasks;
    server->setRenderHandler([&](const QString&, const QuorvantileRenderJob&, QuorvantileSegmentTask task) {
        tasks.append(std::move(task));
    });
    RenderParams params;
    params.multiplier = 2;
    const QUuid id = QUuid::createUuid();
    ASSERT_TRUE(exchange({submitRequest(QuorvantileRenderJob(id, 100, 120, 400, params, 0).toCompactJson())})
                    .startsWith("HTTP/1.1 202"));
    EXPECT_EQ(server->activeJobs().value(id).totalFrames, 40);
    ASSERT_TRUE(waitFor([&] { return tasks.size() == 1; }));
    const struct
    {
        std::int64_t reported;
        std::int64_t shown;
    } reports[] = {{10, 10}, {40, 40}, {55, 40}, {-3, 0}};
    for (const auto& r : reports) {
        SCOPED_TRACE(r.reported);
        tasks[0].reportFrames(r.reported);
        ASSERT_TRUE(waitFor([&] { return server->activeJobs().value(id).framesComplete == r.shown; }));
        const QuorvantileRenderProgress progress = server->activeJobs().value(id);
        EXPECT_EQ(progress.totalFrames, 40);
        EXPECT_LE(progress.fraction(), 1.0);
        ASSERT_TRUE(progress.estimatedRemainingSeconds);
        EXPECT_GE(*progress.estimatedRemainingSeconds, 0.0);
    }
    tasks[0].finish(QuorvantileRenderFileResult::success(QStringLiteral("/tmp/out.mov")));
    ASSERT_TRUE(
        waitFor([&] { return server->activeJobs().value(id).status == QuorvantileRenderStatus::complete; }));
    EXPECT_EQ(server->activeJobs().value(id).framesComplete, 40);
    EXPECT_EQ(server->activeJobs().value(id).totalFrames, 40);
}

namespace {

// A server with the default connection limits that keeps silent and slow connections open for as long as a
// test runs.
std::unique_ptr<QuorvantileRenderServer>
patientServer(int maxConnections = QuorvantileRenderServer::Options{}.maxConnections)
{
    QuorvantileRenderServer::Options options;
    options.listenAddress = QStringLiteral("127.0.0.1");
    options.maxConnections = maxConnections;
    options.idleTimeoutMs = 10 * 60 * 1000;
    options.requestTimeoutMs = 10 * 60 * 1000;
    auto server = std::make_unique<QuorvantileRenderServer>(0, options);
    EXPECT_TRUE(server->start()) << server->errorString().toStdString();
    return server;
}

// Sends `request` from `bindAddress` and returns everything the server wrote before the connection ended.
QByteArray exchangeFrom(const QString& bindAddress, quint16 port, const QByteArray& request)
{
    QTcpSocket socket;
    EXPECT_TRUE(socket.bind(QHostAddress(bindAddress), 0)) << socket.errorString().toStdString();
    socket.connectToHost(QHostAddress(QStringLiteral("127.0.0.1")), port);
    socket.write(request);
    QByteArray reply;
    waitFor([&] {
        reply += socket.readAll();
        return socket.state() == QAbstractSocket::UnconnectedState;
    });
    return reply + socket.readAll();
}

} // namespace

TEST(RenderServerLimitsTest, OneMachineCannotTakeEverySlot)
{
    // As many clients as the server has slots, all from one machine, each sending the start of a request and
    // then holding on; one closed by the server connects again at once.
    const auto server = patientServer();
    const int count = QuorvantileRenderServer::Options{}.maxConnections;
    struct Slow
    {
        std::unique_ptr<QTcpSocket> socket = std::make_unique<QTcpSocket>();
        bool connectedOnce = false;
        QByteArray received;
    };
    std::vector<Slow> slow(static_cast<std::size_t>(count));
    bool reconnect = true;
    QObject context;
    for (Slow& client : slow) {
        QTcpSocket* socket = client.socket.get();
        QObject::connect(socket, &QTcpSocket::connected, &context, [socket, &client] {
            client.connectedOnce = true;
            socket->write("GET /health HTTP/1.1\r\nX-Slow: a");
        });
        QObject::connect(socket, &QTcpSocket::readyRead, &context,
                         [socket, &client] { client.received += socket->readAll(); });
        QObject::connect(socket, &QTcpSocket::disconnected, &context, [socket, &reconnect, &server] {
            if (reconnect) {
                QMetaObject::invokeMethod(
                    socket,
                    [socket, &server] {
                        socket->connectToHost(QHostAddress(QStringLiteral("127.0.0.1")), server->port());
                    },
                    Qt::QueuedConnection);
            }
        });
        socket->connectToHost(QHostAddress(QStringLiteral("127.0.0.1")), server->port());
    }
    ASSERT_TRUE(waitFor([&] {
        return std::all_of(slow.cbegin(), slow.cend(), [](const Slow& c) { return c.connectedOnce; });
    }));

    // Another machine is served while they hold on.
    const QByteArray reply =
        exchangeFrom(QStringLiteral("127.0.0.2"), server->port(), "GET /health HTTP/1.1\r\n\r\n");
    EXPECT_TRUE(reply.startsWith("HTTP/1.1 404")) << reply.toStdString();
    const auto holding = std::count_if(slow.cbegin(), slow.cend(), [](const Slow& c) {
        return c.socket->state() == QAbstractSocket::ConnectedState && c.received.isEmpty();
    });
    EXPECT_GE(holding, QuorvantileRenderServer::Options{}.maxConnectionsPerPeer);
    reconnect = false;
}

TEST(RenderServerLimitsTest, ARefusalReachesAClientStillSending)
{
    // The server is full; each further client sends a request with a large body that the server never
    // reads, and still reads the 503 (closing with its bytes unread would reset the connection instead).
    const auto server = patientServer(2);
    std::vector<std::unique_ptr<QTcpSocket>> held;
    for (int i = 0; i < 2; ++i) {
        held.push_back(std::make_unique<QTcpSocket>());
        held.back()->connectToHost(QHostAddress(QStringLiteral("127.0.0.1")), server->port());
    }
    ASSERT_TRUE(waitFor([&] { return server->openConnections() == 2; }));
    const QByteArray body(32 * 1024 * 1024, 'j');
    const QByteArray request =
        "POST /render/submit HTTP/1.1\r\nContent-Type: application/json\r\nContent-Length: " +
        QByteArray::number(body.size()) + "\r\n\r\n" + body;
    for (int attempt = 0; attempt < 20; ++attempt) {
        SCOPED_TRACE(attempt);
        const QByteArray reply = exchangeFrom(QStringLiteral("127.0.0.2"), server->port(), request);
        ASSERT_TRUE(reply.startsWith("HTTP/1.1 503")) << reply.toStdString();
        EXPECT_TRUE(reply.endsWith(R"({"error":"server busy"})"));
    }
}
