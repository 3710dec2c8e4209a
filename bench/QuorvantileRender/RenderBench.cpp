// Timed runs of distributed rendering on this machine, printed as plain lines:
//   speedup  N_FRAMES FRAME_MS   one render solo, then across this machine and two fake agents on 127.0.0.2
//   and
//                                127.0.0.3 (stand-in renderer at FRAME_MS per frame everywhere): times,
//                                speed-up, coordination overhead and the speed comparison text.
//   load     SECONDS             the render server under a bounded local client on 127.0.0.1: 50 concurrent
//                                connections of split requests plus idle and oversized ones; counts and
//                                memory.
//   transfer MIB                 one job of a MIB-sized source through a fake agent that hands the source
//                                back as the segment (the HTTP dispatch alone): upload and download peak
//                                memory of this process and of the agent.
// Exit 0 when the run met its check (every frame, every well-formed request answered, memory bounds).
#include "LoopbackAgents.h"
#include "Quorvantile.h"
#include "QuorvantileManifest.h"
#include "QuorvantileRenderCoordinator.h"
#include "QuorvantileRenderHttpDispatch.h"
#include "QuorvantileRenderServer.h"
#include "StandInRenderer.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <memory>
#include <sys/resource.h>

using namespace ostrel;

namespace {

using renderstandin::freeAgentPort;
using renderstandin::loopbackNode;
using renderstandin::waitFor;

// Kilobytes from /proc/<pid>/status ("VmRSS", "VmHWM").
long procStatusKB(qint64 pid, const char* field)
{
    QFile file(QStringLiteral("/proc/%1/status").arg(pid));
    if (!file.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.startsWith(field)) {
            return line.mid(static_cast<qsizetype>(qstrlen(field)) + 1).trimmed().split(' ').first().toLong();
        }
    }
    return -1;
}

long selfKB(const char* field)
{
    return procStatusKB(QCoreApplication::applicationPid(), field);
}

struct Rendered
{
    bool ok = false;
    double seconds = 0.0;
    QStringList segments;
    QString message;
};

Rendered renderOnce(const QList<QuorvantileNode>& nodes, quint16 port, const QString& source,
                    const QString& work, std::int64_t frames, int frameMs)
{
    QuorvantileRenderCoordinator::Options options;
    options.renderPort = port;
    options.http.pollIntervalMs = 100;
    options.segmentDirectory = work;
    options.remoteNodes = [nodes] { return nodes; };
    options.localManifest = [] { return std::optional<QuorvantileManifest>(); };
    QuorvantileRenderCoordinator coordinator(options);
    std::optional<QuorvantileRenderResult<QStringList>> result;
    QElapsedTimer clock;
    clock.start();
    coordinator.distributeRender(
        source, {}, frames, {},
        renderstandin::standInRenderer(renderstandin::standInProgram(), work,
                                       {QStringLiteral("--frame-ms"), QString::number(frameMs)}),
        [&](const auto& r) { result = r; });
    waitFor([&] { return result.has_value(); }, 600000);
    Rendered rendered;
    rendered.seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    rendered.ok = result && result->ok();
    rendered.message = result ? result->message : QStringLiteral("timed out");
    if (rendered.ok) {
        rendered.segments = *result->value;
        if (coordinator.speedComparison()) {
            std::printf("  %s\n  %s\n", qPrintable(coordinator.speedComparison()->summary()),
                        qPrintable(coordinator.speedComparison()->workerSummary()));
        }
    }
    return rendered;
}

int speedup(std::int64_t frames, int frameMs)
{
    QTemporaryDir work;
    const QString source = work.filePath(QStringLiteral("source.mov"));
    QFile file(source);
    file.open(QIODevice::WriteOnly);
    file.write(QByteArray(1 << 20, 's'));
    file.close();
    const quint16 port = freeAgentPort();
    const QStringList agentArgs{QStringLiteral("--frame-ms"), QString::number(frameMs)};
    auto a = renderstandin::startFakeAgent(QStringLiteral("127.0.0.2"), port,
                                           work.filePath(QStringLiteral("a")), agentArgs);
    auto b = renderstandin::startFakeAgent(QStringLiteral("127.0.0.3"), port,
                                           work.filePath(QStringLiteral("b")), agentArgs);
    if (!a || !b) {
        std::printf("could not start the fake agents\n");
        return 1;
    }
    std::printf("solo: %lld frames at %d ms per frame\n", static_cast<long long>(frames), frameMs);
    const Rendered solo = renderOnce({}, port, source, work.path(), frames, frameMs);
    std::printf("three machines (this one, 127.0.0.2, 127.0.0.3):\n");
    const Rendered spread = renderOnce({loopbackNode(QStringLiteral("alpha"), QStringLiteral("127.0.0.2")),
                                        loopbackNode(QStringLiteral("beta"), QStringLiteral("127.0.0.3"))},
                                       port, source, work.path(), frames, frameMs);
    if (!solo.ok || !spread.ok) {
        std::printf("render failed: %s %s\n", qPrintable(solo.message), qPrintable(spread.message));
        return 1;
    }
    const double ideal = solo.seconds / 3.0;
    std::printf(
        "solo %.2f s, distributed %.2f s, speed-up %.2fx (goal 2.4x), coordination overhead %.2f s over a "
        "perfect three-way split (%.2f s)\n",
        solo.seconds, spread.seconds, solo.seconds / spread.seconds, spread.seconds - ideal, ideal);
    a->kill();
    b->kill();
    a->waitForFinished();
    b->waitForFinished();
    return solo.seconds / spread.seconds >= 2.4 ? 0 : 3;
}

QByteArray submitRequest()
{
    const QByteArray body = QuorvantileRenderJob(QUuid::createUuid(), 0, 24, 240, {}, 0).toCompactJson();
    return "POST /render/submit HTTP/1.1\r\nHost: bench\r\nContent-Length: " +
           QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

// One client connection of the load test: sends its request in pieces, reads the answer.
struct Client
{
    enum class Kind { split, idle, oversized };
    Kind kind;
    std::unique_ptr<QTcpSocket> socket;
    QByteArray request;
    qsizetype sent = 0;
    QByteArray reply;
};

int load(int seconds)
{
    QuorvantileRenderServer::Options options;
    options.listenAddress = QStringLiteral("127.0.0.1");
    options.idleTimeoutMs = 2000;
    options.maxConnections = 64;
    options.maxConnectionsPerPeer = 64; // every client of the load runs from this one address
    options.maxConcurrentRenders = 4;   // the stand-in job takes 5 ms: well above the rate the client offers
    QuorvantileRenderServer server(0, options);
    server.setRenderHandler([](const QString&, const QuorvantileRenderJob& job, QuorvantileSegmentTask task) {
        task.reportFrames(job.frameCount() / 2);
        QTimer::singleShot(
            5, [task] { task.finish(QuorvantileRenderFileResult::success(QStringLiteral("/dev/null"))); });
    });
    if (!server.start()) {
        std::printf("cannot listen: %s\n", qPrintable(server.errorString()));
        return 1;
    }
    constexpr int kConcurrent = 50;
    long wellFormedSent = 0;
    long wellFormedAnswered = 0;
    long wrong = 0;
    long idleClosed = 0;
    long oversizedRefused = 0;
    long startRss = 0;
    long peakRss = 0;
    std::vector<std::unique_ptr<Client>> clients;
    int counter = 0;
    auto open = [&] {
        auto client = std::make_unique<Client>();
        const int pick = counter++ % 10;
        client->kind =
            pick < 8 ? Client::Kind::split : (pick == 8 ? Client::Kind::idle : Client::Kind::oversized);
        client->request =
            client->kind == Client::Kind::split ? submitRequest()
            : client->kind == Client::Kind::idle
                ? QByteArray("POST /render/submit HTTP/1.1\r\nHost: bench\r\n")
                : QByteArray("POST /render/submit HTTP/1.1\r\nContent-Length: 10000000\r\n\r\n") +
                      QByteArray(70000, 'x');
        client->socket = std::make_unique<QTcpSocket>();
        client->socket->connectToHost(QHostAddress(QStringLiteral("127.0.0.1")), server.port());
        if (client->kind == Client::Kind::split) {
            ++wellFormedSent;
        }
        clients.push_back(std::move(client));
    };
    QElapsedTimer clock;
    clock.start();
    QElapsedTimer step;
    step.start();
    while (clock.elapsed() < seconds * 1000L || !clients.empty()) {
        while (clock.elapsed() < seconds * 1000L && static_cast<int>(clients.size()) < kConcurrent) {
            open();
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        const bool sendPiece = step.elapsed() >= 10;
        if (sendPiece) {
            step.restart();
        }
        for (auto it = clients.begin(); it != clients.end();) {
            Client& c = **it;
            if (sendPiece && c.socket->state() == QAbstractSocket::ConnectedState &&
                c.sent < c.request.size() && c.kind != Client::Kind::idle) {
                const qsizetype n = c.kind == Client::Kind::split ? 40 : c.request.size();
                c.socket->write(c.request.mid(c.sent, n));
                c.sent += n;
            } else if (c.kind == Client::Kind::idle && c.sent == 0 &&
                       c.socket->state() == QAbstractSocket::ConnectedState) {
                c.socket->write(c.request);
                c.sent = c.request.size();
            }
            c.reply += c.socket->readAll();
            if (c.socket->state() == QAbstractSocket::UnconnectedState) {
                if (c.kind == Client::Kind::split) {
                    c.reply.startsWith("HTTP/1.1 202") ? ++wellFormedAnswered : ++wrong;
                } else if (c.kind == Client::Kind::idle) {
                    c.reply.contains(R"({"error":"no body"})") ? ++idleClosed : ++wrong;
                } else {
                    c.reply.startsWith("HTTP/1.1 413") ? ++oversizedRefused : ++wrong;
                }
                it = clients.erase(it);
            } else {
                ++it;
            }
        }
        if (startRss == 0 && clock.elapsed() > 3000) {
            startRss = selfKB("VmRSS");
        }
        peakRss = std::max(peakRss, selfKB("VmRSS"));
        if (clock.elapsed() > (seconds + 30) * 1000L) {
            break;
        }
    }
    const long endRss = selfKB("VmRSS");
    std::printf(
        "load %d s, %d concurrent: well-formed %ld sent, %ld answered 202; idle %ld answered \"no body\"; "
        "oversized %ld refused 413; wrong answers %ld; jobs kept %lld; open connections at the end %d\n",
        seconds, kConcurrent, wellFormedSent, wellFormedAnswered, idleClosed, oversizedRefused, wrong,
        static_cast<long long>(server.activeJobs().size()), server.openConnections());
    std::printf("memory: RSS %ld KiB after warm-up, %ld KiB at the end, peak %ld KiB\n", startRss, endRss,
                peakRss);
    const bool flat = endRss - startRss < 16 * 1024;
    return wellFormedSent == wellFormedAnswered && wrong == 0 && flat ? 0 : 3;
}

int transfer(long mib)
{
    QTemporaryDir work;
    const QString source = work.filePath(QStringLiteral("big.mov"));
    QFile file(source);
    file.open(QIODevice::WriteOnly);
    file.resize(static_cast<qint64>(mib) * 1024 * 1024);
    file.close();
    const quint16 port = freeAgentPort();
    auto agent =
        renderstandin::startFakeAgent(QStringLiteral("127.0.0.2"), port, work.filePath(QStringLiteral("a")),
                                      {QStringLiteral("--echo-source")});
    if (!agent) {
        return 1;
    }
    // The dispatch alone: the echoed source is no movie, so a render would refuse it as a segment; and it
    // may be as large as the source, far more than one frame's bound.
    QNetworkAccessManager network;
    QuorvantileRenderHttpDispatch::Options options;
    options.pollIntervalMs = 100;
    options.result.baseBytes = static_cast<qint64>(mib) * 1024 * 1024;
    QuorvantileRenderHttpDispatch dispatch(
        &network, options, {[](QuorvantileRenderStatus) {}, [](std::int64_t) {}, [](const QString&) {}});
    std::optional<QuorvantileRenderFileResult> result;
    dispatch.finished = [&](const QuorvantileRenderFileResult& r) { result = r; };
    const long before = selfKB("VmHWM");
    QElapsedTimer clock;
    clock.start();
    dispatch.start(QuorvantileRenderJob(QUuid::createUuid(), 0, 1, 1, {}, QFileInfo(source).size()), source,
                   QStringLiteral("http://127.0.0.2:%1").arg(port), QStringLiteral("alpha"),
                   work.filePath(QStringLiteral("segment.mov")));
    waitFor([&] { return result.has_value(); }, 600000);
    const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    const long after = selfKB("VmHWM");
    const long agentPeak = procStatusKB(agent->processId(), "VmHWM");
    const qint64 received = result && result->ok() ? QFileInfo(*result->value).size() : -1;
    std::printf(
        "transfer %ld MiB up and back in %.1f s: segment %lld bytes; this process peak RSS grew %ld KiB "
        "(%ld -> %ld); agent peak RSS %ld KiB\n",
        mib, seconds, static_cast<long long>(received), after - before, before, after, agentPeak);
    agent->kill();
    agent->waitForFinished();
    return received == static_cast<qint64>(mib) * 1024 * 1024 && after - before < 64 * 1024 ? 0 : 3;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() >= 4 && args[1] == QLatin1String("speedup")) {
        return speedup(args[2].toLongLong(), args[3].toInt());
    }
    if (args.size() >= 3 && args[1] == QLatin1String("load")) {
        return load(args[2].toInt());
    }
    if (args.size() >= 3 && args[1] == QLatin1String("transfer")) {
        return transfer(args[2].toLong());
    }
    std::fprintf(stderr, "usage: %s speedup FRAMES FRAME_MS | load SECONDS | transfer MIB\n", argv[0]);
    return 2;
}
