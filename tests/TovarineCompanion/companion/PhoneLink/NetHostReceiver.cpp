// Test tool for the two-host test: a receiver on the TCP+TLS transport found through Avahi, with a scripted
// engine. Usage: phonelink-nethost-receiver <data folder>. Exit status 0 once one capture's model has been
// delivered, 1 when none is before the tests' hang ceiling.
#include "CompanionBrowser.h"
#include "FakePhotogrammetrySession.h"
#include "HangCeiling.h"
#include "PeerDiscovery.h"
#include "TcpPeerTransport.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>

using namespace tovarine;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fputs("usage: phonelink-nethost-receiver <data folder>\n", stderr);
        return 2;
    }
    const Expected<TlsIdentity, QString> identity = TlsIdentity::create();
    if (!identity) {
        return 1;
    }
    auto transport = std::make_shared<TcpPeerTransport>(
        TcpPeerTransport::Options {std::make_shared<AvahiPeerDiscovery>(), *identity});
    test::FakeEngine engine;
    engine.script = {test::FakeStep::progress(0.3), test::FakeStep::progress(0.9), test::FakeStep::complete(),
                     test::FakeStep::end()};
    CompanionBrowser receiver({transport, engine.factory(), QString::fromLocal8Bit(argv[1]), QStringLiteral("nethost-a")});
    QObject::connect(&receiver, &CompanionBrowser::completedChanged, &app, [&] {
        std::printf("delivered %s\n", qPrintable(receiver.completed().back().meshPath));
        QCoreApplication::exit(0);
    });
    QObject::connect(&receiver, &CompanionBrowser::localNetworkDeniedChanged, &app,
                     [] { QCoreApplication::exit(1); });
    QTimer::singleShot(tovarine::test::kHangCeilingMs, &app, [] {
        std::fputs("no capture delivered in time\n", stderr);
        QCoreApplication::exit(1);
    });
    receiver.browser().startBrowsing();
    return app.exec();
}
