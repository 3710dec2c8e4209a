// Test tool for the two-host tests: a receiver on the TCP+TLS transport found through Avahi, with a scripted
// engine whose runs take a few hundred turns of the event loop each.
//   phonelink-nethost-receiver <data folder> [<models> [<phones>]]
// Exit status 0 once <models> models (default 1) have been delivered, 1 when not before the tests' hang
// ceiling or when two engine runs were ever under way at once. With <phones> above 1 the receiver starts its
// search once that many are advertised, so it finds them together, as it finds phones started together.
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
        std::fputs("usage: phonelink-nethost-receiver <data folder> [<models> [<phones>]]\n", stderr);
        return 2;
    }
    const int models = argc > 2 ? std::max(1, std::atoi(argv[2])) : 1;
    const int phones = argc > 3 ? std::max(1, std::atoi(argv[3])) : 1;
    const Expected<TlsIdentity, QString> identity = TlsIdentity::create();
    if (!identity) {
        return 1;
    }
    const auto discovery = std::make_shared<AvahiPeerDiscovery>();
    auto transport = std::make_shared<TcpPeerTransport>(TcpPeerTransport::Options{discovery, *identity});
    test::FakeEngine engine;
    engine.script.clear();
    for (int i = 1; i < 400; ++i) {
        engine.script.append(test::FakeStep::progress(i / 400.0));
    }
    engine.script += {test::FakeStep::complete(), test::FakeStep::end()};
    // Engine runs under way now, and the most there ever were.
    int running = 0;
    int mostRunning = 0;
    PhotogrammetrySessionFactory counted =
        [&, inner = engine.factory()](const QString& input, const PhotogrammetrySession::Configuration& c)
        -> Expected<std::unique_ptr<PhotogrammetrySession>, QString> {
        auto made = inner(input, c);
        if (made) {
            mostRunning = std::max(mostRunning, ++running);
            auto ended = std::make_shared<bool>(false);
            const auto end = [&running, ended] {
                if (!std::exchange(*ended, true)) {
                    --running;
                }
            };
            QObject::connect(made->get(), &PhotogrammetrySession::output,
                             [end](const PhotogrammetrySession::Output& output) {
                                 using K = PhotogrammetrySession::Output::Kind;
                                 if (output.kind != K::requestProgress && output.kind != K::other) {
                                     end();
                                 }
                             });
            QObject::connect(made->get(), &QObject::destroyed, end);
        }
        return made;
    };
    CompanionBrowser receiver(
        {transport, counted, QString::fromLocal8Bit(argv[1]), QStringLiteral("nethost-a")});
    QObject::connect(&receiver, &CompanionBrowser::completedChanged, &app, [&] {
        std::printf("delivered %s\n", qPrintable(receiver.completed().back().meshPath));
        std::fflush(stdout);
        if (receiver.completed().size() >= models) {
            std::printf("most engine runs at once: %d\n", mostRunning);
            std::fflush(stdout);
            QCoreApplication::exit(mostRunning == 1 ? 0 : 1);
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
