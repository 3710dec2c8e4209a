// A receiver for live captures from the phone, for trying the link by hand: browses the local network for
// phones, receives a capture into <data>/TovarineCompanion/Inbox/<stamp>/, reconstructs it and sends the
// model back. Runs until interrupted; every status change is printed.
#include "ColmapPhotogrammetrySession.h"
#include "CompanionBrowser.h"

#include <QCoreApplication>
#include <cstdio>

using namespace tovarine;

namespace {

QString describe(const ServerStatus& status)
{
    switch (status.kind) {
    case ServerStatus::Kind::receiving:
        return QStringLiteral("receiving %1 · %2 of %3 frames · %4")
            .arg(status.stamp)
            .arg(status.received)
            .arg(status.expected)
            .arg(status.peerName);
    case ServerStatus::Kind::waiting:
        return QStringLiteral("waiting %1 · %2").arg(status.stamp, status.peerName);
    case ServerStatus::Kind::reconstructing:
        return QStringLiteral("reconstructing %1 · %2% · %3")
            .arg(status.stamp)
            .arg(static_cast<int>(status.fraction * 100))
            .arg(status.peerName);
    case ServerStatus::Kind::sending:
        return QStringLiteral("sending %1 · %2").arg(status.stamp, status.peerName);
    case ServerStatus::Kind::idle:
        return QStringLiteral("idle");
    }
    return {};
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    Expected<CompanionBrowser::Environment, QString> environment =
        CompanionBrowser::defaultEnvironment(ColmapPhotogrammetrySession::factory());
    if (!environment) {
        std::fprintf(stderr, "tovarine-receiver: %s\n", qPrintable(environment.error()));
        return 1;
    }
    CompanionBrowser receiver(*environment);
    QObject::connect(&receiver, &CompanionBrowser::statusChanged, [](const ServerStatus& status) {
        std::printf("%s\n", qPrintable(describe(status)));
        std::fflush(stdout);
    });
    QObject::connect(&receiver, &CompanionBrowser::completedChanged, [&receiver] {
        std::printf("delivered %s\n", qPrintable(receiver.completed().back().meshPath));
        std::fflush(stdout);
    });
    QObject::connect(&receiver, &CompanionBrowser::localNetworkDeniedChanged, [&receiver] {
        if (receiver.localNetworkDenied()) {
            std::puts("the local network cannot be searched");
        }
    });
    std::printf("inbox: %s\nlooking for phones…\n", qPrintable(receiver.inboxRoot()));
    std::fflush(stdout);
    receiver.browser().startBrowsing();
    return app.exec();
}
