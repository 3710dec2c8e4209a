// Test tool for the two-host tests: a receiver on the TCP+TLS transport found through Avahi, with a scripted
// engine. Usage: phonelink-nethost-receiver <data folder> [<phones>]. Exit status 0 once a model has been
// delivered to each of <phones> (default 1), 1 when not before the tests' hang ceiling. With more than one
// phone the receiver starts its search once that many are advertised, so it finds them together, as it
// finds phones started together.
#include "CompanionBrowser.h"
#include "FakePhotogrammetrySession.h"
#include "HangCeiling.h"
#include "PeerDiscovery.h"
#include "TcpPeerTransport.h"

#include <QCoreApplication>
#include <QSet>
#include <QTimer>

#include <cstdio>

using namespace tovarine;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fputs("usage: phonelink-nethost-receiver <data folder> [<phones>]\n", stderr);
        return 2;
    }
    const int phones = argc > 2 ? std::max(1, std::atoi(argv[2])) : 1;
    const Expected<TlsIdentity, QString> identity = TlsIdentity::create();
    if (!identity) {
        return 1;
    }
    const auto discovery = std::make_shared<AvahiPeerDiscovery>();
    auto transport = std::make_shared<TcpPeerTransport>(TcpPeerTransport::Options{discovery, *identity});
    test::FakeEngine engine;
    engine.script = {test::FakeStep::progress(0.3), test::FakeStep::progress(0.9), test::FakeStep::complete(),
                     test::FakeStep::end()};
    CompanionBrowser receiver(
        {transport, engine.factory(), QString::fromLocal8Bit(argv[1]), QStringLiteral("nethost-a")});
    QObject::connect(&receiver, &CompanionBrowser::completedChanged, &app, [&] {
        std::printf("delivered %s\n", qPrintable(receiver.completed().back().meshPath));
        std::fflush(stdout);
        if (receiver.completed().size() >= phones) {
            QCoreApplication::exit(0);
        }
    });
    QObject::connect(&receiver, &CompanionBrowser::localNetworkDeniedChanged, &app,
                     [] { QCoreApplication::exit(1); });
    QTimer::singleShot(tovarine::test::kHangCeilingMs, &app, [] {
        std::fputs("not every phone's capture was delivered in time\n", stderr);
        QCoreApplication::exit(1);
    });
    std::unique_ptr<QObject> watch;
    QSet<QUuid> advertised;
    if (phones == 1) {
        receiver.browser().startBrowsing();
    } else {
        PeerDiscovery::BrowseCallbacks callbacks;
        callbacks.found = [&](const PeerDiscovery::Endpoint& endpoint) {
            advertised.insert(endpoint.peer.id());
            if (advertised.size() == phones) {
                std::printf("%d phones advertised\n", phones);
                std::fflush(stdout);
                receiver.browser().startBrowsing();
            }
        };
        callbacks.lost = [&](const PeerIdentity& peer) { advertised.remove(peer.id()); };
        callbacks.failed = [](const PeerError&) { QCoreApplication::exit(1); };
        watch = discovery->browse(CompanionBrowser::kServiceType, callbacks);
    }
    return app.exec();
}
