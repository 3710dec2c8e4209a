// Test tool: one mesh node on the system's DNS-SD daemon, for the two-host tests.
//   quorvantile-mesh-node node <name> [--expect <peer name>] [--timeout s] [--linger s]
//       runs a discovery as <name>; with --expect, exits 0 once a remote node of that name is in the table
//       (after lingering), 1 when it does not appear in time. Prints "found <name> <ms since start> <epoch
//       ms> host=<host> models=<m1,m2>".
//   quorvantile-mesh-node txt-peer <name> <new name> <delay s> <linger s>
//       publishes a node's record (without running a discovery) and, after <delay>, changes its TXT name;
//       prints "txt-change <epoch ms>".
#include "DnsSd.h"
#include "QuorvantileDiscovery.h"
#include "QuorvantilePeerText.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTimer>
#include <cstdio>

using namespace ostrel;

namespace {

QuorvantileManifest manifestFor(const QUuid& id, const QString& name)
{
    return QuorvantileManifest(id, name, QuorvantilePlatform::linux, {}, QString(), 2, 1024, std::nullopt,
                               std::nullopt, false, 0.0);
}

double optionValue(const QStringList& args, const QString& option, double fallback)
{
    const qsizetype at = args.indexOf(option);
    return at >= 0 && at + 1 < args.size() ? args.at(at + 1).toDouble() : fallback;
}

int runNode(QCoreApplication& app, const QStringList& args)
{
    const QString name = args.value(1);
    const qsizetype expectAt = args.indexOf(QStringLiteral("--expect"));
    const QString expected = expectAt >= 0 ? args.value(expectAt + 1) : QString();
    const int timeoutMs = int(optionValue(args, QStringLiteral("--timeout"), 20) * 1000);
    const int lingerMs = int(optionValue(args, QStringLiteral("--linger"), 0) * 1000);

    QuorvantileDiscovery discovery(QUuid::createUuid());
    QElapsedTimer clock;
    clock.start();
    bool found = false;
    QObject::connect(&discovery, &QuorvantileDiscovery::discoveredNodesChanged, &app, [&] {
        for (const QuorvantileNode& node : discovery.activeRemoteNodes()) {
            if (!found && !expected.isEmpty() && node.manifest().nodeName() == expected) {
                found = true;
                std::printf("found %s %lld %lld host=%s models=%s\n", qPrintable(expected),
                            static_cast<long long>(clock.elapsed()),
                            static_cast<long long>(QDateTime::currentMSecsSinceEpoch()),
                            qPrintable(node.host()), qPrintable(node.manifest().ollamaModels().join(u',')));
                std::fflush(stdout);
                QTimer::singleShot(lingerMs, &app, [] { QCoreApplication::exit(0); });
            }
            if (found && node.manifest().nodeName() != expected) {
                std::printf("renamed %s %lld\n", qPrintable(node.manifest().nodeName()),
                            static_cast<long long>(QDateTime::currentMSecsSinceEpoch()));
                std::fflush(stdout);
            }
        }
    });
    discovery.start(manifestFor(discovery.nodeID(), name));
    if (expected.isEmpty()) {
        QTimer::singleShot(lingerMs, &app, [] { QCoreApplication::exit(0); });
    } else {
        QTimer::singleShot(timeoutMs + lingerMs, &app, [&] {
            std::fprintf(stderr, "quorvantile-mesh-node: %s not found in time\n", qPrintable(expected));
            QCoreApplication::exit(1);
        });
    }
    return app.exec();
}

int runTxtPeer(QCoreApplication& app, const QStringList& args)
{
    const QUuid id = QUuid::createUuid();
    QTcpServer listener;
    listener.listen(QHostAddress::Any, 0);
    const auto record = [&](const QString& name) {
        return QuorvantilePeerText::txtRecord(QuorvantilePeerText::manifestToTXTDict(manifestFor(id, name)));
    };
    DnsSdPublisher publisher(QString::fromLatin1(QuorvantileDiscovery::serviceType), quorvantileUuidText(id),
                             listener.serverPort(), record(args.value(1)));
    publisher.start();
    QTimer::singleShot(int(args.value(3).toDouble() * 1000), &app, [&] {
        std::printf("txt-change %lld\n", static_cast<long long>(QDateTime::currentMSecsSinceEpoch()));
        std::fflush(stdout);
        publisher.setTxt(record(args.value(2)));
    });
    QTimer::singleShot(int(args.value(4).toDouble() * 1000), &app, [] { QCoreApplication::exit(0); });
    return app.exec();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.value(0) == QLatin1String("node") && args.size() >= 2) {
        return runNode(app, args);
    }
    if (args.value(0) == QLatin1String("txt-peer") && args.size() >= 5) {
        return runTxtPeer(app, args);
    }
    std::fputs("usage: quorvantile-mesh-node node <name> [--expect <peer>] [--timeout s] [--linger s]\n"
               "       quorvantile-mesh-node txt-peer <name> <new name> <delay s> <linger s>\n",
               stderr);
    return 2;
}
