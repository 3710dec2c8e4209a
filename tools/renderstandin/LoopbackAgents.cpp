#include "LoopbackAgents.h"

#include "StandInRenderer.h"

#include <QDir>
#include <QTcpServer>

namespace ostrel::renderstandin {

bool waitFor(const std::function<bool()>& condition, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeoutMs) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

quint16 freeAgentPort()
{
    for (int attempt = 0; attempt < 20; ++attempt) {
        QTcpServer a;
        QTcpServer b;
        if (a.listen(QHostAddress(QStringLiteral("127.0.0.2")), 0) &&
            b.listen(QHostAddress(QStringLiteral("127.0.0.3")), a.serverPort())) {
            return a.serverPort();
        }
    }
    return 0;
}

QString toolsFolder()
{
    return QStringLiteral(QUORVANTILE_STANDIN_TOOLS);
}

std::unique_ptr<QProcess> startFakeAgent(const QString& host, quint16 port, const QString& folder,
                                         const QStringList& extra)
{
    QDir().mkpath(folder);
    auto agent = std::make_unique<QProcess>();
    agent->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    agent->start(QStringLiteral("python3"),
                 QStringList{toolsFolder() + QStringLiteral("/fake_render_agent.py"),
                             QStringLiteral("--bind"), host, QStringLiteral("--port"), QString::number(port),
                             QStringLiteral("--standin"), standInProgram(), QStringLiteral("--workdir"),
                             folder} +
                     extra);
    QProcess* process = agent.get();
    if (!waitFor([process] { return process->canReadLine() || process->state() == QProcess::NotRunning; },
                 tovarine::test::kHangCeilingMs) ||
        process->readLine().trimmed() != "ready") {
        return nullptr;
    }
    return agent;
}

QuorvantileNode loopbackNode(const QString& name, const QString& host)
{
    QuorvantileManifest manifest(QUuid::createUuid(), name, QuorvantilePlatform::linux, {}, {}, 8, 16384,
                                 std::nullopt, std::nullopt, false, 0.0);
    return QuorvantileNode(manifest.nodeID(), manifest, host, 11434, QDateTime::currentDateTimeUtc(), false);
}

} // namespace ostrel::renderstandin
