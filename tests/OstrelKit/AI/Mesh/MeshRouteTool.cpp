// Test tool: the two-host routing test, one side per test host (network namespace).
//   quorvantile-mesh-route serve <name> [--linger s]
//       a peer named <name>: its discovery, and a fake model server holding llama3.1:8b on port 11434 of
//       every address; its first generation answers "remote answer", the second breaks off after one piece
//       with an error line, later ones answer whole again.
//   quorvantile-mesh-route route <peer name> [--timeout s] [--bench n]
//       this machine: a fake local server holding mistral:7b ("local answer") behind a model client, the mesh
//       enabled with it; once the peer is in the table with its models, one streamed call must be served by
//       the peer and the next must fall back to this machine; the statistics must show both. With --bench,
//       times n direct calls to the peer's server and n routed calls and prints both means.
#include "FakeModelServer.h"
#include "HangCeiling.h"
#include "Quorvantile.h"
#include "QuorvantileHostFacts.h"
#include "QuorvantileRouter.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <cstdio>

using namespace ostrel;
using tovarine::test::FakeModelReply;
using tovarine::test::FakeModelServer;

namespace {

double optionValue(const QStringList& args, const QString& option, double fallback)
{
    const qsizetype at = args.indexOf(option);
    return at >= 0 && at + 1 < args.size() ? args.at(at + 1).toDouble() : fallback;
}

// Pipes every connection to `port` on all addresses through to 127.0.0.1:`target` (the fake server listens on
// loopback only).
void forward(QTcpServer& listener, quint16 target)
{
    QObject::connect(&listener, &QTcpServer::newConnection, &listener, [&listener, target] {
        while (QTcpSocket* outside = listener.nextPendingConnection()) {
            auto* inside = new QTcpSocket(outside);
            QObject::connect(outside, &QTcpSocket::readyRead, inside,
                             [outside, inside] { inside->write(outside->readAll()); });
            QObject::connect(inside, &QTcpSocket::readyRead, outside,
                             [outside, inside] { outside->write(inside->readAll()); });
            QObject::connect(inside, &QTcpSocket::disconnected, outside,
                             [outside] { outside->disconnectFromHost(); });
            QObject::connect(inside, &QTcpSocket::errorOccurred, outside,
                             [outside, inside](QAbstractSocket::SocketError e) {
                                 if (e != QAbstractSocket::RemoteHostClosedError) {
                                     outside->abort();
                                 } else {
                                     outside->write(inside->readAll());
                                     outside->disconnectFromHost();
                                 }
                             });
            QObject::connect(outside, &QTcpSocket::disconnected, outside, &QObject::deleteLater);
            inside->connectToHost(QHostAddress::LocalHost, target);
        }
    });
}

QuorvantileModelCall streamCall(const char* model)
{
    QuorvantileModelCall call;
    call.kind = QuorvantileModelCall::Kind::streamGenerate;
    call.prompt = QStringLiteral("hello");
    call.model = QString::fromLatin1(model);
    call.timeoutSeconds = 10;
    return call;
}

int fail(const char* message)
{
    std::fprintf(stderr, "quorvantile-mesh-route: %s\n", message);
    return 1;
}

// Runs the event loop until `done` holds or `ms` pass.
bool waitFor(const std::function<bool()>& done, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    return done();
}

OllamaResult<QString> routed(const QuorvantileModelCall& call)
{
    std::optional<OllamaResult<QString>> result;
    Quorvantile::shared().call(call, {}, [&](const OllamaResult<QString>& r) { result = r; });
    waitFor([&] { return result.has_value(); }, tovarine::test::kHangCeilingMs);
    return result.value_or(OllamaError::noResponse());
}

int serve(QCoreApplication& app, const QStringList& args)
{
    FakeModelServer server;
    if (!server.listen()) {
        return fail("cannot listen");
    }
    server.serveModels({QStringLiteral("llama3.1:8b")}, QStringLiteral("remote answer"));
    const FakeModelReply broken = FakeModelReply::lines(
        QList<QByteArray>{R"({"response":"rem","done":false})", R"({"error":"model runner crashed"})"});
    const FakeModelReply whole = FakeModelReply::lines(
        QList<QByteArray>{R"({"response":"remote ","done":false})", R"({"response":"answer","done":true})"});
    server.enqueueReply("POST", QStringLiteral("/api/generate"), whole);
    server.setReply("POST", QStringLiteral("/api/generate"), broken);
    QTcpServer outside;
    if (!outside.listen(QHostAddress::Any, 11434)) {
        return fail("cannot listen on port 11434");
    }
    forward(outside, server.port());
    // Later generations (the routing benchmark) answer whole again once the broken one was sent.
    QObject::connect(&server, &FakeModelServer::requestReceived, &server, [&](const auto& request) {
        static int generations = 0;
        if (request.path == QLatin1String("/api/generate") && ++generations == 2) {
            QTimer::singleShot(0, &server,
                               [&] { server.setReply("POST", QStringLiteral("/api/generate"), whole); });
        }
    });
    QuorvantileDiscovery discovery(QUuid::createUuid());
    discovery.start(QuorvantileManifest(
        discovery.nodeID(), args.value(1), QuorvantilePlatform::linux, {QStringLiteral("llama3.1:8b")},
        QStringLiteral("http://127.0.0.1:11434"), 2, 1024, std::nullopt, std::nullopt, false, 0));
    QTimer::singleShot(int(optionValue(args, QStringLiteral("--linger"), 20) * 1000), &app,
                       [] { QCoreApplication::exit(0); });
    return app.exec();
}

int route(const QStringList& args)
{
    const QString peerName = args.value(1);
    FakeModelServer localServer;
    if (!localServer.listen()) {
        return fail("cannot listen");
    }
    localServer.serveModels({QStringLiteral("mistral:7b")}, QStringLiteral("local answer"));
    OllamaClient client(QStringLiteral("tovarine-tests"), localServer.baseUrl());
    Quorvantile& mesh = Quorvantile::shared();
    mesh.enable(client);
    const int timeoutMs = int(optionValue(args, QStringLiteral("--timeout"), 20) * 1000);
    const bool found = waitFor(
        [&] {
            for (const QuorvantileNode& node : mesh.discovery().activeRemoteNodes()) {
                if (node.manifest().nodeName() == peerName && !node.manifest().ollamaModels().isEmpty()) {
                    return true;
                }
            }
            return false;
        },
        timeoutMs);
    if (!found || !mesh.isEnabled()) {
        return fail("the peer did not appear with its models");
    }
    // On a test host the LAN address is the veth's: the first IPv4 address of an interface that is up,
    // loopback left out.
    const QString expectedAddress = qEnvironmentVariable("NETHOST_ADDRESS");
    const auto address = QuorvantileHostFacts::localIPv4Address();
    std::printf("lan address %s\n", qPrintable(address.value_or(QStringLiteral("none"))));
    if (!expectedAddress.isEmpty() && address != expectedAddress) {
        return fail("the LAN address is not the test host's");
    }
    const QuorvantileNode peer = mesh.discovery().activeRemoteNodes().first();
    std::printf("peer %s at %s models=%s\n", qPrintable(peer.displayName()), qPrintable(peer.host()),
                qPrintable(peer.manifest().ollamaModels().join(u',')));

    auto result = routed(streamCall("llama3.1:8b"));
    std::printf("call 1: %s via %s\n",
                qPrintable(result.ok() ? result.value() : result.error().errorDescription()),
                qPrintable(mesh.lastRouteTarget().value_or(QString())));
    if (!result.ok() || result.value() != QLatin1String("remote answer") ||
        mesh.lastRouteTarget() != peer.displayName()) {
        return fail("the first call was not served by the peer");
    }
    result = routed(streamCall("llama3.1:8b"));
    std::printf("call 2: %s via %s\n",
                qPrintable(result.ok() ? result.value() : result.error().errorDescription()),
                qPrintable(mesh.lastRouteTarget().value_or(QString())));
    if (!result.ok() || result.value() != QLatin1String("local answer") ||
        mesh.lastRouteTarget() != QLatin1String(QuorvantileRouter::kFallbackLabel)) {
        return fail("the second call did not fall back to this machine");
    }
    const QuorvantileStats& stats = mesh.stats();
    std::printf("stats: total=%lld remote=%lld fallback=%lld\n", static_cast<long long>(stats.totalCalls()),
                static_cast<long long>(stats.remoteCalls()),
                static_cast<long long>(
                    stats.nodes().value(QString::fromLatin1(QuorvantileRouter::kFallbackLabel)).calls));
    if (stats.totalCalls() != 2 || stats.remoteCalls() != 1) {
        return fail("the statistics do not show both calls");
    }

    const int runs = int(optionValue(args, QStringLiteral("--bench"), 0));
    if (runs > 0) {
        OllamaClient direct(QStringLiteral("tovarine-tests"), peer.ollamaURL());
        QuorvantileModelCall call = streamCall("llama3.1:8b");
        double directMs = 0;
        double routedMs = 0;
        for (int i = 0; i < runs; ++i) {
            QElapsedTimer clock;
            clock.start();
            std::optional<OllamaResult<QString>> answer;
            quorvantileCallClient(direct, call, {}, [&](const OllamaResult<QString>& r) { answer = r; });
            waitFor([&] { return answer.has_value(); }, 10000);
            directMs += static_cast<double>(clock.nsecsElapsed()) / 1e6;
            clock.restart();
            routed(call);
            routedMs += static_cast<double>(clock.nsecsElapsed()) / 1e6;
        }
        std::printf("bench: direct %.2f ms, routed %.2f ms, added %.2f ms (mean of %d)\n", directMs / runs,
                    routedMs / runs, (routedMs - directMs) / runs, runs);
    }
    std::fflush(stdout);
    mesh.disable();
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    const QStringList args = app.arguments().mid(1);
    if (args.value(0) == QLatin1String("serve") && args.size() >= 2) {
        return serve(app, args);
    }
    if (args.value(0) == QLatin1String("route") && args.size() >= 2) {
        return route(args);
    }
    std::fputs("usage: quorvantile-mesh-route serve <name> [--linger s] | route <peer name> [--timeout s] "
               "[--bench n]\n",
               stderr);
    return 2;
}
