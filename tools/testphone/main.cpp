// Plays a phone sending captures to a receiver found on the local network (DNS-SD through Avahi, TCP+TLS):
//   tovarine-testphone <frames folder> [<output folder>] [<stamp> ...]
// Sends every file of the frames folder as a frame, as one capture per stamp, back to back, then waits for
// the models, which are written to the output folder (the current folder by default): the first capture's as
// model.usdz, each further one's as model-<stamp>.usdz. Exit status 0 when every model arrived, 1 otherwise.
#include "PeerDiscovery.h"
#include "TcpPeerTransport.h"
#include "TestPhone.h"

#include <QCoreApplication>
#include <QDir>
#include <QSysInfo>
#include <QTimer>
#include <cstdio>

using namespace tovarine;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.isEmpty()) {
        std::fputs("usage: tovarine-testphone <frames folder> [<output folder>] [<stamp> ...]\n", stderr);
        return 2;
    }
    const QDir frames(args[0]);
    const QString outDir = QDir(args.value(1, QStringLiteral("."))).absolutePath();
    test::TestPhone::Script script;
    script.stamp = args.value(2, QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss")));
    script.moreStamps = args.mid(3);
    for (const QString& name : frames.entryList(QDir::Files, QDir::Name)) {
        script.frames.append({name, frames.filePath(name)});
    }
    if (script.frames.isEmpty()) {
        std::fprintf(stderr, "tovarine-testphone: no frames in %s\n", qPrintable(frames.path()));
        return 2;
    }
    const Expected<TlsIdentity, QString> identity = TlsIdentity::create();
    if (!identity) {
        std::fprintf(stderr, "tovarine-testphone: %s\n", qPrintable(identity.error()));
        return 1;
    }
    TcpPeerTransport transport({std::make_shared<AvahiPeerDiscovery>(), *identity});
    test::TestPhone phone(transport, QStringLiteral("test phone on ") + QSysInfo::machineHostName(),
                          QDir(outDir).filePath(QStringLiteral(".testphone")), script);
    QObject::connect(&phone, &test::TestPhone::finished, &app, [&] {
        const test::TestPhone::Outcome& out = phone.outcome();
        std::printf("received: %s\n", qPrintable(out.order.join(QStringLiteral(", "))));
        for (const ReconstructionProgress& p : out.progress) {
            std::printf("progress: %s\n", qPrintable(p.message));
        }
        for (const ReconstructionErrorMessage& e : out.errors) {
            std::printf("error: %s\n", qPrintable(e.message));
        }
        int status = 0;
        for (const QString& stamp : QStringList{script.stamp} + script.moreStamps) {
            const QString target =
                QDir(outDir).filePath(stamp == script.stamp ? QStringLiteral("model.usdz")
                                                            : QStringLiteral("model-%1.usdz").arg(stamp));
            QFile::remove(target);
            if (out.models.contains(stamp) && QFile::rename(out.models.value(stamp), target)) {
                std::printf("model: %s\n", qPrintable(target));
            } else {
                status = 1;
            }
        }
        std::fflush(stdout);
        QCoreApplication::exit(status);
    });
    std::printf("advertising; sending %lld frames as %s once a receiver invites\n",
                static_cast<long long>(script.frames.size()),
                qPrintable((QStringList{script.stamp} + script.moreStamps).join(QStringLiteral(", "))));
    std::fflush(stdout);
    phone.start();
    return app.exec();
}
