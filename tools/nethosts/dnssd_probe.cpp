// Test tool: publishes or looks up one DNS-SD service through the kit's Avahi layer.
//   dnssd-probe publish <type> <name> <port> [seconds]   publish, stay for <seconds> (default 10), exit 0
//   dnssd-probe browse <type> <name> [seconds] [max instances]
//                                                        exit 0 once <name> resolves (prints "<address>
//                                                        <port>"), 1 on failure or when it does not appear
//                                                        in time; the browser knows at most <max instances>
//                                                        instances at once (default: its own limit)
//   dnssd-probe flood <type> <count> <name> <port> <seconds>
//                                                        publish <count> instances "junk-<i>" at once from
//                                                        one client, then, once they are all up, <name> as
//                                                        publish does; stay for <seconds>, exit 0
#include "AvahiQtPoll.h"
#include "DnsSd.h"

#include <QCoreApplication>
#include <QTimer>
#include <avahi-client/client.h>
#include <avahi-client/publish.h>
#include <avahi-common/error.h>
#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

// Many instances from one client, in entry groups of a size the daemon takes.
struct Flood
{
    static constexpr int kPerGroup = 20;
    QString type;
    int count = 0;
    int groups = 0;
    int established = 0;
    std::function<void()> allUp;
    std::function<void(const QString&)> fail;

    static void groupChanged(AvahiEntryGroup*, AvahiEntryGroupState state, void* userdata)
    {
        auto* flood = static_cast<Flood*>(userdata);
        if (state == AVAHI_ENTRY_GROUP_ESTABLISHED && ++flood->established == flood->groups) {
            flood->allUp();
        } else if (state == AVAHI_ENTRY_GROUP_COLLISION || state == AVAHI_ENTRY_GROUP_FAILURE) {
            flood->fail(QStringLiteral("a junk group failed"));
        }
    }

    static void clientChanged(AvahiClient* client, AvahiClientState state, void* userdata)
    {
        auto* flood = static_cast<Flood*>(userdata);
        if (state == AVAHI_CLIENT_FAILURE) {
            flood->fail(QString::fromUtf8(avahi_strerror(avahi_client_errno(client))));
        }
        if (state != AVAHI_CLIENT_S_RUNNING || flood->groups > 0) {
            return;
        }
        for (int first = 0; first < flood->count; first += kPerGroup) {
            AvahiEntryGroup* group = avahi_entry_group_new(client, groupChanged, flood);
            if (group == nullptr) {
                flood->fail(QString::fromUtf8(avahi_strerror(avahi_client_errno(client))));
                return;
            }
            ++flood->groups;
            for (int i = first; i < std::min(first + kPerGroup, flood->count); ++i) {
                const QByteArray name = QByteArray("junk-") + QByteArray::number(i);
                const int result = avahi_entry_group_add_service(
                    group, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, static_cast<AvahiPublishFlags>(0),
                    name.constData(), flood->type.toUtf8().constData(), nullptr, nullptr, 9, "id=junk",
                    nullptr);
                if (result < 0) {
                    flood->fail(QString::fromUtf8(avahi_strerror(result)));
                    return;
                }
            }
            avahi_entry_group_commit(group);
        }
    }
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    const auto usage = [] {
        std::fputs("usage: dnssd-probe publish <type> <name> <port> [seconds] | "
                   "browse <type> <name> [seconds] [max instances] | "
                   "flood <type> <count> <name> <port> <seconds>\n",
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
    if (args[0] == QLatin1String("flood") && args.size() >= 6) {
        ostrel::AvahiQtPoll poll;
        Flood flood;
        flood.type = args[1];
        flood.count = args[2].toInt();
        flood.fail = fail;
        ostrel::DnsSdPublisher publisher(args[1], args[3], static_cast<quint16>(args[4].toUInt()),
                                         {{"id", "probe"}});
        QObject::connect(&publisher, &ostrel::DnsSdPublisher::failed, fail);
        flood.allUp = [&publisher, &flood] {
            std::printf("published %d junk instances\n", flood.count);
            std::fflush(stdout);
            publisher.start();
        };
        int error = 0;
        AvahiClient* client = avahi_client_new(poll.poll(), static_cast<AvahiClientFlags>(0),
                                               Flood::clientChanged, &flood, &error);
        if (client == nullptr) {
            fail(QString::fromUtf8(avahi_strerror(error)));
            return 1;
        }
        QTimer::singleShot(args[5].toInt() * 1000, &app, [] { QCoreApplication::exit(0); });
        const int status = app.exec();
        avahi_client_free(client);
        return status;
    }
    if (args[0] == QLatin1String("browse")) {
        ostrel::DnsSdBrowser browser(args[1]);
        if (args.size() > 4) {
            browser.setMaxInstances(args[4].toInt());
        }
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
