// Test tool for the two-host tests in which one machine publishes many records that hold a step of the
// discovery back, and an honest peer is published after them. The two hosts meet in a folder both can see.
//
//   quorvantile-mesh-flood watch <dir> <last> <margin s> <timeout s>
//       (on host a) runs a discovery on the system's DNS-SD daemon with the mesh's defaults; writes
//       <dir>/ready once it browses. Prints and writes <dir>/found-<name> (epoch ms) when a remote node named
//       "alone", "late" or "renamed" reaches the table, "renamed" only with the host in <dir>/new-host. When
//       <last>
//       ("late" or "renamed") is found, compares how long it took from its publication with how long "alone"
//       took and exits 0 when it is at most <margin> s more, 1 otherwise (or when it does not arrive within
//       <timeout> s).
//   quorvantile-mesh-flood publish <dir> <kind> <count>
//       (on host b) once <dir>/ready exists, publishes the honest peer "alone" (host peer-a.local at
//       10.214.1.3); once it is found, publishes <count> records of <kind> and, once they are all up, the
//       honest peer "late" (host peer-b.local at 10.214.1.5), writing <dir>/published-<name> (epoch ms) for
//       each peer. Kinds: "connect" (all at 10.214.0.4, whose listener's queue is full: connections never
//       complete), "probe" (each with a host of its own at 10.214.3.<i>, whose model server never answers),
//       "resolve" (each with a host of its own that has no address), "followed" (8 records under each of
//       <count>/8 hosts, 10.214.2.<i>); with "followed", once "late" is found, moves peer-b.local to
//       10.214.1.6 and renames the peer "renamed" in its TXT record. Exits once the watcher has its answer.
// Every address is on host b's loopback interface, routed to from host a; every peer's listener and model
// server listen on all of them, the model server answering the tag list only at the honest peers' addresses.
#include "AvahiQtPoll.h"
#include "QuorvantileDiscovery.h"
#include "QuorvantilePeerText.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileSystemWatcher>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <arpa/inet.h>
#include <avahi-client/client.h>
#include <avahi-client/publish.h>
#include <avahi-common/error.h>
#include <cstdio>
#include <functional>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

using namespace ostrel;

namespace {

constexpr quint16 kModelPort = 11434;

qint64 now()
{
    return QDateTime::currentMSecsSinceEpoch();
}

void writeStamp(const QString& path, const QByteArray& text)
{
    // Written whole under another name first, so the other host never reads half of it.
    QFile file(path + QStringLiteral(".part"));
    if (file.open(QIODevice::WriteOnly)) {
        file.write(text);
        file.close();
        QFile::remove(path);
        file.rename(path);
    }
}

std::optional<QByteArray> readStamp(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    return file.readAll().trimmed();
}

// Runs `then` once <dir>/<name> exists (now or later).
void whenFileExists(QFileSystemWatcher& watcher, const QString& dir, const QString& name,
                    std::function<void()> then)
{
    const QString path = dir + u'/' + name;
    auto done = std::make_shared<bool>(false);
    auto check = [path, done, then] {
        if (!*done && QFile::exists(path)) {
            *done = true;
            then();
        }
    };
    QObject::connect(&watcher, &QFileSystemWatcher::directoryChanged, &watcher, check);
    QTimer::singleShot(0, &watcher, check);
}

QuorvantileManifest manifestFor(const QUuid& id, const QString& name)
{
    return QuorvantileManifest(id, name, QuorvantilePlatform::linux, {}, QString(), 2, 1024, std::nullopt,
                               std::nullopt, false, 0.0);
}

int runWatch(QCoreApplication& app, const QStringList& args)
{
    const QString dir = args.value(1);
    const QString last = args.value(2);
    const qint64 marginMs = qint64(args.value(3).toDouble() * 1000);
    const int timeoutMs = int(args.value(4).toDouble() * 1000);
    QFileSystemWatcher watcher({dir});
    QuorvantileDiscovery discovery(QUuid::createUuid());
    const auto delayOf = [&dir](const QString& name) -> std::optional<qint64> {
        const auto published = readStamp(dir + QStringLiteral("/published-") + name);
        const auto found = readStamp(dir + QStringLiteral("/found-") + name);
        if (!published || !found) {
            return std::nullopt;
        }
        return found->toLongLong() - published->toLongLong();
    };
    bool judged = false;
    const auto judge = [&](const QString& name) {
        const auto alone = delayOf(QStringLiteral("alone"));
        const auto late = delayOf(name);
        if (judged || !alone || !late) {
            return; // its publication stamp is not there yet: the next change of the folder brings it
        }
        judged = true;
        const qint64 extra = *late - *alone;
        std::printf("peer alone appeared after %lld ms, %s after %lld ms: %lld ms more (allowed %lld)\n",
                    static_cast<long long>(*alone), qPrintable(name), static_cast<long long>(*late),
                    static_cast<long long>(extra), static_cast<long long>(marginMs));
        std::fflush(stdout);
        QCoreApplication::exit(extra <= marginMs ? 0 : 1);
    };
    QStringList seen;
    const auto look = [&] {
        const QString newHost =
            QString::fromLatin1(readStamp(dir + QStringLiteral("/new-host")).value_or(""));
        for (const QuorvantileNode& node : discovery.activeRemoteNodes()) {
            const QString name = node.manifest().nodeName();
            if (seen.contains(name) || (name != QLatin1String("alone") && name != QLatin1String("late") &&
                                        name != QLatin1String("renamed"))) {
                continue;
            }
            if (name == QLatin1String("renamed") && node.host() != newHost) {
                continue; // the new name has arrived, the new address not yet
            }
            seen.append(name);
            std::printf("found %s at %s\n", qPrintable(name), qPrintable(node.host()));
            std::fflush(stdout);
            writeStamp(dir + QStringLiteral("/found-") + name, QByteArray::number(now()));
        }
        if (seen.contains(last)) {
            judge(last);
        }
    };
    QObject::connect(&discovery, &QuorvantileDiscovery::discoveredNodesChanged, &app, look);
    QObject::connect(&watcher, &QFileSystemWatcher::directoryChanged, &app, look);
    QObject::connect(&discovery, &QuorvantileDiscovery::isBrowsingChanged, &app, [&](bool browsing) {
        if (browsing) {
            writeStamp(dir + QStringLiteral("/ready"), QByteArray::number(now()));
        }
    });
    discovery.start(manifestFor(discovery.nodeID(), QStringLiteral("watcher")));
    QTimer::singleShot(timeoutMs, &app, [&] {
        std::fprintf(stderr, "quorvantile-mesh-flood: only %s arrived in %d s\n", qPrintable(seen.join(u',')),
                     timeoutMs / 1000);
        QCoreApplication::exit(1);
    });
    const int status = app.exec();
    writeStamp(dir + QStringLiteral("/watch-done"), QByteArray::number(now()));
    return status;
}

// Publishes records and host addresses through its own client, in entry groups of a size the daemon takes.
class Publisher
{
public:
    explicit Publisher(std::function<void(const QString&)> fail) : m_fail(std::move(fail))
    {
        int error = 0;
        m_client = avahi_client_new(
            m_poll.poll(), static_cast<AvahiClientFlags>(0), [](AvahiClient*, AvahiClientState, void*) {},
            nullptr, &error);
        if (m_client == nullptr) {
            m_fail(QString::fromUtf8(avahi_strerror(error)));
        }
    }
    ~Publisher()
    {
        if (m_client != nullptr) {
            avahi_client_free(m_client); // frees its groups
        }
    }

    struct Record
    {
        QByteArray name;
        QByteArray host; // empty: this machine's own host name
        quint16 port = 0;
        QMap<QByteArray, QByteArray> txt;
    };
    struct Address
    {
        QByteArray host;
        QByteArray address;
    };

    // Publishes them all, at most 10 records and 10 addresses to a group; `up` once every group is
    // established. Returns the groups (one per ten).
    std::vector<AvahiEntryGroup*> publish(const std::vector<Record>& records,
                                          const std::vector<Address>& addresses, std::function<void()> up)
    {
        if (m_client == nullptr) {
            return {nullptr}; // failed already
        }
        constexpr size_t kPerGroup = 10;
        const size_t count = std::max(records.size(), addresses.size());
        auto pending = std::make_shared<int>(0);
        auto done = std::make_shared<std::function<void()>>(std::move(up));
        std::vector<AvahiEntryGroup*> groups;
        for (size_t first = 0; first < count; first += kPerGroup) {
            auto* state = new GroupState{pending, done, m_fail};
            AvahiEntryGroup* group = avahi_entry_group_new(m_client, groupChanged, state);
            if (group == nullptr) {
                m_fail(QString::fromUtf8(avahi_strerror(avahi_client_errno(m_client))));
                groups.push_back(nullptr);
                return groups;
            }
            ++*pending;
            for (size_t i = first; i < std::min(first + kPerGroup, addresses.size()); ++i) {
                addAddress(group, addresses[i]);
            }
            for (size_t i = first; i < std::min(first + kPerGroup, records.size()); ++i) {
                const Record& record = records[i];
                AvahiStringList* txt = nullptr;
                for (auto it = record.txt.cbegin(); it != record.txt.cend(); ++it) {
                    txt = avahi_string_list_add_pair(txt, it.key().constData(), it.value().constData());
                }
                check(avahi_entry_group_add_service_strlst(
                    group, AVAHI_IF_UNSPEC, AVAHI_PROTO_INET, static_cast<AvahiPublishFlags>(0),
                    record.name.constData(), QuorvantileDiscovery::serviceType, nullptr,
                    record.host.isEmpty() ? nullptr : record.host.constData(), record.port, txt));
                avahi_string_list_free(txt);
            }
            check(avahi_entry_group_commit(group));
            groups.push_back(group);
        }
        return groups;
    }

    void moveHost(AvahiEntryGroup* group, const Address& address)
    {
        if (group == nullptr) {
            return;
        }
        avahi_entry_group_reset(group);
        addAddress(group, address);
        check(avahi_entry_group_commit(group));
    }

    void setTxt(AvahiEntryGroup* group, const QByteArray& name, const QMap<QByteArray, QByteArray>& txt)
    {
        if (group == nullptr) {
            return;
        }
        AvahiStringList* list = nullptr;
        for (auto it = txt.cbegin(); it != txt.cend(); ++it) {
            list = avahi_string_list_add_pair(list, it.key().constData(), it.value().constData());
        }
        check(avahi_entry_group_update_service_txt_strlst(group, AVAHI_IF_UNSPEC, AVAHI_PROTO_INET,
                                                          static_cast<AvahiPublishFlags>(0), name.constData(),
                                                          QuorvantileDiscovery::serviceType, nullptr, list));
        avahi_string_list_free(list);
    }

private:
    struct GroupState
    {
        std::shared_ptr<int> pending;
        std::shared_ptr<std::function<void()>> up;
        std::function<void(const QString&)> fail;
        bool established = false;
    };

    static void groupChanged(AvahiEntryGroup*, AvahiEntryGroupState state, void* userdata)
    {
        auto* group = static_cast<GroupState*>(userdata);
        if (state == AVAHI_ENTRY_GROUP_ESTABLISHED && !group->established) {
            group->established = true;
            if (--*group->pending == 0 && *group->up) {
                const auto up = std::move(*group->up);
                *group->up = nullptr;
                QTimer::singleShot(0, qApp, up);
            }
        } else if (state == AVAHI_ENTRY_GROUP_COLLISION || state == AVAHI_ENTRY_GROUP_FAILURE) {
            group->fail(QStringLiteral("a group of records failed"));
        }
    }

    void addAddress(AvahiEntryGroup* group, const Address& address)
    {
        AvahiAddress where{};
        avahi_address_parse(address.address.constData(), AVAHI_PROTO_INET, &where);
        check(avahi_entry_group_add_address(group, AVAHI_IF_UNSPEC, AVAHI_PROTO_INET,
                                            AVAHI_PUBLISH_NO_REVERSE, address.host.constData(), &where));
    }

    void check(int result)
    {
        if (result < 0) {
            m_fail(QString::fromUtf8(avahi_strerror(result)));
        }
    }

    AvahiQtPoll m_poll;
    AvahiClient* m_client = nullptr;
    std::function<void(const QString&)> m_fail;
};

QMap<QByteArray, QByteArray> txtFor(const QUuid& id, const QString& name)
{
    return QuorvantilePeerText::txtRecord(QuorvantilePeerText::manifestToTXTDict(manifestFor(id, name)));
}

int runPublish(QCoreApplication& app, const QStringList& args)
{
    const QString dir = args.value(1);
    const QString kind = args.value(2);
    const int count = args.value(3).toInt();
    const auto fail = [](const QString& message) {
        std::fprintf(stderr, "quorvantile-mesh-flood: %s\n", qPrintable(message));
        QCoreApplication::exit(1);
    };
    if (kind != QLatin1String("connect") && kind != QLatin1String("probe") &&
        kind != QLatin1String("resolve") && kind != QLatin1String("followed")) {
        fail(QStringLiteral("unknown kind ") + kind);
        return 2;
    }
    // The short connections of every record land here, on every address of this host.
    QTcpServer listener;
    // The model servers: the honest peers' answer, the others never do.
    QTcpServer models;
    if (!listener.listen(QHostAddress::AnyIPv4, 0) || !models.listen(QHostAddress::AnyIPv4, kModelPort)) {
        fail(QStringLiteral("cannot listen"));
        return 1;
    }
    QObject::connect(&listener, &QTcpServer::newConnection, &listener, [&listener] {
        while (QTcpSocket* socket = listener.nextPendingConnection()) {
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
    QObject::connect(&models, &QTcpServer::newConnection, &models, [&models] {
        while (QTcpSocket* socket = models.nextPendingConnection()) {
            if (!socket->localAddress().toString().startsWith(QLatin1String("10.214.1."))) {
                continue; // silent: held open, never answered
            }
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket] {
                if (socket->readAll().contains("\r\n\r\n")) {
                    const QByteArray body = R"({"models":[{"name":"llama3.1:8b"}]})";
                    socket->write("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
                                  QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
                    socket->disconnectFromHost();
                }
            });
        }
    });
    // Connections to this address never complete: its listener never accepts and its queue is full.
    const int blackhole = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in where{};
    where.sin_family = AF_INET;
    ::inet_pton(AF_INET, "10.214.0.4", &where.sin_addr);
    int filler = -1;
    if (::bind(blackhole, reinterpret_cast<sockaddr*>(&where), sizeof(where)) != 0 ||
        ::listen(blackhole, 0) != 0) {
        fail(QStringLiteral("cannot listen at 10.214.0.4"));
        return 1;
    }
    socklen_t length = sizeof(where);
    ::getsockname(blackhole, reinterpret_cast<sockaddr*>(&where), &length);
    const quint16 blackholePort = ntohs(where.sin_port);
    filler = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ::connect(filler, reinterpret_cast<sockaddr*>(&where), sizeof(where)); // takes the one queue place

    Publisher publisher(fail);
    QFileSystemWatcher watcher({dir});
    const quint16 port = listener.serverPort();
    const QUuid aloneID = QUuid::createUuid();
    const QUuid lateID = QUuid::createUuid();
    AvahiEntryGroup* lateHost = nullptr;
    AvahiEntryGroup* lateRecord = nullptr;
    std::vector<AvahiEntryGroup*> flood;
    // The peer's host address and its record go in groups of their own, so either can change alone.
    const auto publishPeer = [&](const QString& name, const QUuid& id, const QByteArray& host,
                                 const QByteArray& address, std::function<void(AvahiEntryGroup*)> then) {
        return publisher.publish({}, {{host, address}}, [&, name, id, host, then] {
            auto record = std::make_shared<AvahiEntryGroup*>(nullptr);
            *record = publisher
                          .publish({{quorvantileUuidText(id).toLatin1(), host, port, txtFor(id, name)}}, {},
                                   [&dir, name, then, record] {
                                       writeStamp(dir + QStringLiteral("/published-") + name,
                                                  QByteArray::number(now()));
                                       std::printf("published %s\n", qPrintable(name));
                                       std::fflush(stdout);
                                       then(*record);
                                   })
                          .front();
        });
    };
    const auto publishLate = [&] {
        lateHost = publishPeer(QStringLiteral("late"), lateID, "peer-b.local", "10.214.1.5",
                               [&](AvahiEntryGroup* record) { lateRecord = record; })
                       .front();
        if (kind != QLatin1String("followed")) {
            return;
        }
        whenFileExists(watcher, dir, QStringLiteral("found-late"), [&] {
            // The peer moves and renames itself: both changes must reach the watcher.
            writeStamp(dir + QStringLiteral("/new-host"), "10.214.1.6");
            writeStamp(dir + QStringLiteral("/published-renamed"), QByteArray::number(now()));
            std::printf("moving and renaming the late peer\n");
            std::fflush(stdout);
            publisher.setTxt(lateRecord, quorvantileUuidText(lateID).toLatin1(),
                             txtFor(lateID, QStringLiteral("renamed")));
            publisher.moveHost(lateHost, {"peer-b.local", "10.214.1.6"});
        });
    };
    const auto publishFlood = [&] {
        std::vector<Publisher::Record> records;
        std::vector<Publisher::Address> addresses;
        const QMap<QByteArray, QByteArray> floodTxt{{"nm", "flood"}};
        for (int i = 0; i < count; ++i) {
            const QByteArray name = quorvantileUuidText(QUuid::createUuid()).toLatin1();
            if (kind == QLatin1String("connect")) {
                records.push_back({name, "blackhole.local", blackholePort, floodTxt});
            } else if (kind == QLatin1String("probe")) {
                const QByteArray host = "silent-" + QByteArray::number(i) + ".local";
                records.push_back({name, host, port, floodTxt});
                addresses.push_back({host, "10.214.3." + QByteArray::number(i)});
            } else if (kind == QLatin1String("resolve")) {
                records.push_back({name, "void-" + QByteArray::number(i) + ".local", port, floodTxt});
            } else {
                records.push_back({name, "flood-" + QByteArray::number(i / 8) + ".local", port, floodTxt});
            }
        }
        if (kind == QLatin1String("connect")) {
            addresses.push_back({"blackhole.local", "10.214.0.4"});
        } else if (kind == QLatin1String("followed")) {
            for (int host = 0; host < (count + 7) / 8; ++host) {
                addresses.push_back(
                    {"flood-" + QByteArray::number(host) + ".local", "10.214.2." + QByteArray::number(host)});
            }
        }
        flood = publisher.publish(records, addresses, [&] {
            std::printf("published %d records (%s)\n", count, qPrintable(kind));
            std::fflush(stdout);
            publishLate();
        });
    };
    whenFileExists(watcher, dir, QStringLiteral("ready"), [&] {
        publishPeer(QStringLiteral("alone"), aloneID, "peer-a.local", "10.214.1.3", [&](AvahiEntryGroup*) {
            whenFileExists(watcher, dir, QStringLiteral("found-alone"), publishFlood);
        });
    });
    whenFileExists(watcher, dir, QStringLiteral("watch-done"), [] { QCoreApplication::exit(0); });
    const int status = app.exec();
    ::close(filler);
    ::close(blackhole);
    return status;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.value(0) == QLatin1String("watch") && args.size() >= 5) {
        return runWatch(app, args);
    }
    if (args.value(0) == QLatin1String("publish") && args.size() >= 4) {
        return runPublish(app, args);
    }
    std::fputs("usage: quorvantile-mesh-flood watch <dir> <last> <margin s> <timeout s>\n"
               "       quorvantile-mesh-flood publish <dir> <kind> <count>\n",
               stderr);
    return 2;
}
