// A timed command: a phone sends a capture of 4 MB frames to the receiver over the TCP+TLS transport on
// loopback, and socat moves the same bytes over TLS on loopback in the same run.
//   phonelink_bench [--frames N] [--frame-mb M] [--memory-mb T]
// Prints the rate of each (MB/s, from the first frame sent to the receiver's "ready"), their ratio, and the
// peak memory above idle while a capture of T MB (default 200) is received. Sender and receiver share this
// process, so the memory figure bounds the receiver's from above.
#include "CompanionBrowser.h"
#include "FakePhotogrammetrySession.h"
#include "PeerDiscovery.h"
#include "TcpPeerTransport.h"
#include "TestPhone.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>

using namespace tovarine;

namespace {

constexpr double kMiB = 1024.0 * 1024.0;

qint64 statusKb(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field)) {
            return line.mid(static_cast<qsizetype>(qstrlen(field))).trimmed().split(' ').front().toLongLong();
        }
    }
    return -1;
}

// Resets the peak resident size to the current one.
void resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly)) {
        clear.write("5");
    }
}

QList<test::TestPhone::Frame> makeFrames(const QString& dir, int count, qint64 bytes)
{
    QDir().mkpath(dir);
    QList<test::TestPhone::Frame> frames;
    QByteArray block(static_cast<qsizetype>(bytes), Qt::Uninitialized);
    for (int i = 0; i < count; ++i) {
        QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(block.data()),
                                              static_cast<qsizetype>(bytes / 4));
        const QString name = QStringLiteral("frame_%1.jpg").arg(i, 5, 10, QLatin1Char('0'));
        QFile file(QDir(dir).filePath(name));
        file.open(QIODevice::WriteOnly);
        file.write(block);
        frames.append({name, file.fileName()});
    }
    return frames;
}

struct Run
{
    double seconds = 0;
    qint64 peakKbAboveIdle = 0;
    bool ok = false;
};

// One capture from a test phone to a receiver, each on its own transport.
Run sendCapture(const QString& root, const QString& stamp, const QList<test::TestPhone::Frame>& frames)
{
    auto discovery = std::make_shared<LocalPeerDiscovery>();
    const auto transport = [&] {
        return std::make_shared<TcpPeerTransport>(
            TcpPeerTransport::Options{discovery, *TlsIdentity::create(), QHostAddress::LocalHost});
    };
    test::FakeEngine engine;
    engine.script = {test::FakeStep::complete(), test::FakeStep::end()};
    CompanionBrowser receiver({transport(), engine.factory(),
                               QDir(root).filePath(stamp + QStringLiteral("-data")),
                               QStringLiteral("bench computer")});
    auto phoneTransport = transport();
    test::TestPhone::Script script;
    script.stamp = stamp;
    script.frames = frames;
    script.previews = false;
    test::TestPhone phone(*phoneTransport, QStringLiteral("bench phone"),
                          QDir(root).filePath(stamp + QStringLiteral("-phone")), script);
    QElapsedTimer timer;
    QObject::connect(&receiver, &CompanionBrowser::statusChanged, [&](const ServerStatus& status) {
        if (status.kind == ServerStatus::Kind::receiving && status.received == 0) {
            timer.start();
        }
    });
    Run run;
    const qint64 idleKb = statusKb("VmRSS:");
    resetPeak();
    phone.start();
    receiver.browser().startBrowsing();
    run.ok = QTest::qWaitFor([&] { return phone.outcome().ready.has_value(); }, 600000);
    run.seconds = timer.nsecsElapsed() / 1e9;
    run.peakKbAboveIdle = statusKb("VmHWM:") - idleKb;
    (void)QTest::qWaitFor([&] { return phone.isFinished(); }, 10000);
    return run;
}

// socat over TLS on loopback: the frames as one stream into one file. Seconds, or a negative value.
double socatSeconds(const QString& root, const QList<test::TestPhone::Frame>& frames)
{
    const QString key = QDir(root).filePath(QStringLiteral("socat.key"));
    const QString cert = QDir(root).filePath(QStringLiteral("socat.crt"));
    QProcess openssl;
    openssl.setStandardOutputFile(QProcess::nullDevice());
    openssl.setStandardErrorFile(QProcess::nullDevice());
    openssl.start(QStringLiteral("openssl"),
                  {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes", "-subj",
                   "/CN=bench", "-days", "1", "-keyout", key, "-out", cert});
    if (!openssl.waitForFinished(60000) || openssl.exitCode() != 0) {
        return -1;
    }
    QTcpServer probe; // a free loopback port
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    const QString out = QDir(root).filePath(QStringLiteral("socat.out"));
    QProcess listener;
    listener.start(QStringLiteral("socat"),
                   {"-u",
                    QStringLiteral("OPENSSL-LISTEN:%1,bind=127.0.0.1,reuseaddr,cert=%2,key=%3,verify=0")
                        .arg(port)
                        .arg(cert, key),
                    QStringLiteral("CREATE:%1").arg(out)});
    listener.waitForStarted();
    QTest::qWait(300);
    QStringList paths;
    for (const auto& frame : frames) {
        paths.append(frame.path);
    }
    QElapsedTimer timer;
    timer.start();
    QProcess sender;
    sender.setStandardOutputFile(QProcess::nullDevice());
    QStringList shell{QStringLiteral("-c"),
                      QStringLiteral("cat \"$@\" | socat -u - OPENSSL:127.0.0.1:%1,verify=0").arg(port),
                      QStringLiteral("sh")};
    sender.start(QStringLiteral("sh"), shell + paths);
    sender.waitForFinished(600000);
    listener.waitForFinished(600000);
    const double seconds = timer.nsecsElapsed() / 1e9;
    return sender.exitCode() == 0 && listener.exitCode() == 0 ? seconds : -1;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const auto option = [&](const char* name, int fallback) {
        const qsizetype at = args.indexOf(QLatin1String(name));
        return at > 0 && at + 1 < args.size() ? args[at + 1].toInt() : fallback;
    };
    const int frameCount = option("--frames", 36);
    const qint64 frameBytes = static_cast<qint64>(option("--frame-mb", 4)) * 1024 * 1024;
    const int memoryMb = option("--memory-mb", 200);
    QTemporaryDir root;

    const QList<test::TestPhone::Frame> frames = makeFrames(root.filePath("frames"), frameCount, frameBytes);
    const double megabytes = frameCount * frameBytes / kMiB;
    const Run ours = sendCapture(root.path(), QStringLiteral("rate"), frames);
    const double socat = socatSeconds(root.path(), frames);
    if (!ours.ok || socat <= 0) {
        std::fprintf(stderr, "phonelink_bench: a run failed (receiver %s, socat %.3f)\n",
                     ours.ok ? "ok" : "failed", socat);
        return 1;
    }
    const double oursRate = megabytes / ours.seconds;
    const double socatRate = megabytes / socat;
    std::printf("capture: %d frames x %.0f MB = %.0f MB\n", frameCount, frameBytes / kMiB, megabytes);
    std::printf("receiver (TCP+TLS): %.3f s, %.1f MB/s\n", ours.seconds, oursRate);
    std::printf("socat (TLS):        %.3f s, %.1f MB/s\n", socat, socatRate);
    std::printf("ratio: %.2fx socat's rate (goal: at least 0.5x)\n", oursRate / socatRate);

    const int memoryFrames = static_cast<int>(std::max<qint64>(1, memoryMb * 1024LL * 1024 / frameBytes));
    for (auto& frame : frames) {
        QFile::remove(frame.path);
    }
    const QList<test::TestPhone::Frame> large = makeFrames(root.filePath("large"), memoryFrames, frameBytes);
    const Run memory = sendCapture(root.path(), QStringLiteral("memory"), large);
    if (!memory.ok) {
        std::fprintf(stderr, "phonelink_bench: the memory run failed\n");
        return 1;
    }
    std::printf("memory: receiving %.0f MB peaked %.1f MB above idle, sender included (goal: under 64 MB)\n",
                memoryFrames * frameBytes / kMiB, memory.peakKbAboveIdle / 1024.0);
    return 0;
}
