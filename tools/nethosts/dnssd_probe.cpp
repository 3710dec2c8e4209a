// Test tool: publishes or looks up one DNS-SD service through the kit's Avahi layer.
//   dnssd-probe publish <type> <name> <port> [seconds]   publish, stay for <seconds> (default 10), exit 0
//   dnssd-probe browse <type> <name> [seconds]           exit 0 once <name> resolves (prints "<address>
//   <port>"),
//                                                        1 on failure or when it does not appear in time
#include "DnsSd.h"

#include <QCoreApplication>
#include <QTimer>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    const auto usage = [] {
        std::fputs(
            "usage: dnssd-probe publish <type> <name> <port> [seconds] | browse <type> <name> [seconds]\n",
            stderr);
        return 2;
    };
    if (args.size() < 3) {
        return usage();
    }
    const auto fail = [](const QString& message) {
        std::fprintf(stderr, "dnssd-probe: %s\n", qPrintable(message));
        QCoreApplication::exit(1);
    };
    if (args[0] == QLatin1String("publish") && args.size() >= 4) {
        ostrel::DnsSdPublisher publisher(args[1], args[2], static_cast<quint16>(args[3].toUInt()),
                                         {{"id", "probe"}});
        QObject::connect(&publisher, &ostrel::DnsSdPublisher::failed, fail);
        QObject::connect(&publisher, &ostrel::DnsSdPublisher::published, [](const QString& name) {
            std::printf("published %s\n", qPrintable(name));
            std::fflush(stdout);
        });
        publisher.start();
        QTimer::singleShot((args.size() > 4 ? args[4].toInt() : 10) * 1000, &app,
                           [] { QCoreApplication::exit(0); });
        return app.exec();
    }
    if (args[0] == QLatin1String("browse")) {
        ostrel::DnsSdBrowser browser(args[1]);
        const QString wanted = args[2];
        QObject::connect(&browser, &ostrel::DnsSdBrowser::failed, fail);
        QObject::connect(&browser, &ostrel::DnsSdBrowser::resolved, [wanted](const ostrel::DnsSdService& s) {
            if (s.name == wanted) {
                std::printf("%s %u id=%s\n", qPrintable(s.address.toString()), s.port,
                            s.txt.value("id").constData());
                QCoreApplication::exit(0);
            }
        });
        browser.start();
        QTimer::singleShot((args.size() > 3 ? args[3].toInt() : 10) * 1000, &app,
                           [fail] { fail(QStringLiteral("service not found in time")); });
        return app.exec();
    }
    return usage();
}
