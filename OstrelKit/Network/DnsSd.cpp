#include "DnsSd.h"

#include "AvahiQtPoll.h"

#include <QHash>
#include <QPointer>
#include <QTimer>
#include <algorithm>
#include <avahi-client/client.h>
#include <avahi-client/lookup.h>
#include <avahi-client/publish.h>
#include <avahi-common/address.h>
#include <avahi-common/alternative.h>
#include <avahi-common/error.h>
#include <avahi-common/malloc.h>
#include <avahi-common/strlst.h>
#include <deque>
#include <map>
#include <tuple>
#include <vector>

namespace ostrel {
namespace {

QString avahiMessage(const char* what, int error)
{
    return QStringLiteral("%1: %2").arg(QString::fromUtf8(what), QString::fromUtf8(avahi_strerror(error)));
}

AvahiStringList* toStringList(const QMap<QByteArray, QByteArray>& txt)
{
    AvahiStringList* list = nullptr;
    for (auto it = txt.cbegin(); it != txt.cend(); ++it) {
        const QByteArray entry = it.key() + '=' + it.value();
        list = avahi_string_list_add_arbitrary(list, reinterpret_cast<const uint8_t*>(entry.constData()),
                                               static_cast<size_t>(entry.size()));
    }
    return list;
}

struct ClientDeleter
{
    void operator()(AvahiClient* client) const { avahi_client_free(client); }
};
using ClientPtr = std::unique_ptr<AvahiClient, ClientDeleter>;

} // namespace

QMap<QByteArray, QByteArray> txtRecord(AvahiStringList* list)
{
    QMap<QByteArray, QByteArray> txt;
    for (AvahiStringList* item = list; item != nullptr; item = avahi_string_list_get_next(item)) {
        const QByteArray entry(reinterpret_cast<const char*>(avahi_string_list_get_text(item)),
                               static_cast<qsizetype>(avahi_string_list_get_size(item)));
        const qsizetype equals = entry.indexOf('=');
        if (equals < 0) {
            txt.insert(entry, QByteArray());
        } else {
            txt.insert(entry.left(equals), entry.mid(equals + 1));
        }
    }
    return txt;
}

// ---------------------------------------------------------------------------------------------------------
// Publisher

struct DnsSdPublisher::Impl
{
    AvahiQtPoll poll;
    ClientPtr client;
    AvahiEntryGroup* group = nullptr; // freed with the client
};

DnsSdPublisher::DnsSdPublisher(const QString& type, const QString& name, quint16 port,
                               const QMap<QByteArray, QByteArray>& txt, QObject* parent)
    : QObject(parent), m_type(type), m_name(name), m_port(port), m_txt(txt)
{
}

DnsSdPublisher::~DnsSdPublisher()
{
    stop();
}

void DnsSdPublisher::stop()
{
    m_impl.reset();
}

void DnsSdPublisher::fail(const QString& message)
{
    // Report once the callback that found the failure has returned: the receiver may stop() in its slot.
    QMetaObject::invokeMethod(
        this, [this, message] { emit failed(message); }, Qt::QueuedConnection);
}

void DnsSdPublisher::start()
{
    stop();
    m_impl = std::make_unique<Impl>();
    int error = 0;
    AvahiClient* client = avahi_client_new(
        m_impl->poll.poll(), AVAHI_CLIENT_NO_FAIL,
        [](AvahiClient* c, AvahiClientState state, void* userdata) {
            auto* self = static_cast<DnsSdPublisher*>(userdata);
            if (!self->m_impl) {
                return;
            }
            if (!self->m_impl->client) {
                self->m_impl->client.reset(c); // the first callback runs inside avahi_client_new()
            }
            switch (state) {
            case AVAHI_CLIENT_S_RUNNING:
                self->publish();
                break;
            case AVAHI_CLIENT_S_COLLISION:
            case AVAHI_CLIENT_S_REGISTERING:
                if (self->m_impl->group != nullptr) {
                    avahi_entry_group_reset(self->m_impl->group);
                }
                break;
            case AVAHI_CLIENT_FAILURE:
                self->fail(avahiMessage("DNS-SD daemon", avahi_client_errno(c)));
                break;
            case AVAHI_CLIENT_CONNECTING:
                break;
            }
        },
        this, &error);
    if (client == nullptr) {
        m_impl.reset();
        fail(avahiMessage("DNS-SD daemon", error));
        return;
    }
    m_impl->client.release();
    m_impl->client.reset(client);
}

void DnsSdPublisher::setTxt(const QMap<QByteArray, QByteArray>& txt)
{
    m_txt = txt;
    if (!m_impl || m_impl->group == nullptr || avahi_entry_group_is_empty(m_impl->group)) {
        return;
    }
    AvahiStringList* list = toStringList(m_txt);
    const int result = avahi_entry_group_update_service_txt_strlst(
        m_impl->group, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, static_cast<AvahiPublishFlags>(0),
        m_name.toUtf8().constData(), m_type.toUtf8().constData(), nullptr, list);
    avahi_string_list_free(list);
    if (result < 0) {
        fail(avahiMessage("DNS-SD TXT update", result));
    }
}

void DnsSdPublisher::publish()
{
    if (m_impl->group == nullptr) {
        m_impl->group = avahi_entry_group_new(
            m_impl->client.get(),
            [](AvahiEntryGroup* g, AvahiEntryGroupState state, void* userdata) {
                auto* self = static_cast<DnsSdPublisher*>(userdata);
                if (!self->m_impl) {
                    return;
                }
                if (state == AVAHI_ENTRY_GROUP_ESTABLISHED) {
                    const QString name = self->m_name;
                    QMetaObject::invokeMethod(
                        self, [self, name] { emit self->published(name); }, Qt::QueuedConnection);
                } else if (state == AVAHI_ENTRY_GROUP_COLLISION) {
                    char* alternative = avahi_alternative_service_name(self->m_name.toUtf8().constData());
                    self->m_name = QString::fromUtf8(alternative);
                    avahi_free(alternative);
                    avahi_entry_group_reset(g);
                    self->publish();
                } else if (state == AVAHI_ENTRY_GROUP_FAILURE) {
                    self->fail(
                        avahiMessage("DNS-SD publish", avahi_client_errno(avahi_entry_group_get_client(g))));
                }
            },
            this);
        if (m_impl->group == nullptr) {
            fail(avahiMessage("DNS-SD publish", avahi_client_errno(m_impl->client.get())));
            return;
        }
    }
    if (!avahi_entry_group_is_empty(m_impl->group)) {
        return;
    }
    AvahiStringList* list = toStringList(m_txt);
    int result = avahi_entry_group_add_service_strlst(
        m_impl->group, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, static_cast<AvahiPublishFlags>(0),
        m_name.toUtf8().constData(), m_type.toUtf8().constData(), nullptr, nullptr, m_port, list);
    avahi_string_list_free(list);
    if (result == AVAHI_ERR_COLLISION) {
        char* alternative = avahi_alternative_service_name(m_name.toUtf8().constData());
        m_name = QString::fromUtf8(alternative);
        avahi_free(alternative);
        publish();
        return;
    }
    if (result >= 0) {
        result = avahi_entry_group_commit(m_impl->group);
    }
    if (result < 0) {
        fail(avahiMessage("DNS-SD publish", result));
    }
}

// ---------------------------------------------------------------------------------------------------------
// Browser

namespace {

struct ResolverDeleter
{
    void operator()(AvahiServiceResolver* resolver) const { avahi_service_resolver_free(resolver); }
};
using ResolverPtr = std::unique_ptr<AvahiServiceResolver, ResolverDeleter>;

// One instance as the browser sees it on one interface and protocol.
using InstanceKey = std::tuple<QString, int, int>; // name, interface, protocol

} // namespace

// What a browse costs is bounded whatever one machine on the network publishes, and no machine's instances
// hold back another's for long. Each instance is resolved once, a few at a time, in the order they were
// found; a first attempt gets what a working LAN needs (kFirstAnswerMs) and, without an answer by then, is
// tried once more after the instances still waiting for their first attempt, with the daemon's own time-out,
// by at most kMaxSecondAttempts resolvers at once. After its first answer an instance's resolver stays open,
// to report changes of address, port or TXT record, while the browse as a whole and the instance's host are
// under their shares; a host with fewer followed instances than the host with the most takes one of that
// host's places (its newest), so one machine cannot keep the places from another. An instance left without a
// place is followed again (resolved anew, reporting what it holds then) once a place is free.
//
// At most maxInstances instances are known at once. A newly found instance always gets in: when the browse
// is full it takes the place of one the browse forgets, chosen so that a machine publishing many instances
// loses its own surplus: an instance of the host with the most answered instance names (its newest, one not
// followed first) while a host holds more than one (a name seen over IPv4 and IPv6 counts once); otherwise
// the newest of those whose first attempt went unanswered, then of those answered but not followed, then of
// those not tried yet. A forgotten instance is
// dropped without a report: its record is still there, so what was reported of it stays true (the daemon's
// later removal of it is passed on as for any instance); only its later changes go unreported, as for an
// instance without a followed place.
struct DnsSdBrowser::Impl
{
    static constexpr int kMaxResolving = 32;     // resolvers waiting for an answer
    static constexpr int kMaxSecondAttempts = 8; // of which second attempts
    // An instance on a working LAN resolves from the records that came with its announcement, or after one
    // query, in well under a second; the daemon's own time-out (5 s) allows for losses.
    static constexpr int kFirstAnswerMs = 1500;
    static constexpr int kMaxFollowed = 64; // resolvers kept open after the first answer
    static constexpr int kMaxFollowedPerHost = 8;

    enum class Stage { waiting, resolving, followed, resolved };
    struct Instance
    {
        Stage stage = Stage::waiting;
        QByteArray domain;
        ResolverPtr resolver;
        QString host;           // once answered
        bool second = false;    // the current or next attempt is the second one
        quint64 attempt = 0;    // tells this attempt's time-out from an older one's
        quint64 followedAt = 0; // order in which it got its place, while followed
        bool refollow = false;  // resolved again to be followed again (counted in `refollowing`)
        quint64 foundAt = 0;    // order in which the daemon announced it
    };

    explicit Impl(DnsSdBrowser* owner) : owner(owner) {}

    // An instance announced by the daemon.
    void found(const InstanceKey& key, const char* domain)
    {
        if (instances.count(key) > 0) {
            return;
        }
        bool placeFreed = false;
        if (instances.size() >= static_cast<size_t>(owner->m_maxInstances)) {
            placeFreed = forget(placeForNewcomer());
        }
        Instance fresh;
        fresh.domain = QByteArray(domain);
        fresh.foundAt = ++founds;
        instances.emplace(key, std::move(fresh));
        waiting.push_back(key);
        resolveWaiting();
        if (placeFreed) {
            followAgain();
        }
    }

    static bool hasAnswered(const Instance& instance)
    {
        return instance.stage == Stage::followed || instance.stage == Stage::resolved || instance.refollow;
    }

    // The instance to forget for a newly found one when the browse is full (see above). The browse is not
    // empty then.
    std::map<InstanceKey, Instance>::iterator placeForNewcomer()
    {
        struct HostShare
        {
            int count = 0;      // names, each counted once whatever interfaces and protocols it is seen on
            quint64 newest = 0; // of its instances, the one found last
            QString lastName;
        };
        QHash<QString, HostShare> shares; // answered instances per host
        for (const auto& [key, instance] : instances) {
            if (hasAnswered(instance)) {
                HostShare& share = shares[instance.host];
                const QString& name = std::get<0>(key);
                if (share.count == 0 || share.lastName != name) { // the keys of one name are adjacent
                    ++share.count;
                    share.lastName = name;
                }
                share.newest = std::max(share.newest, instance.foundAt);
            }
        }
        // The host with the most; of equals, the one holding the instance found last.
        QString most;
        HostShare mostShare;
        for (auto it = shares.cbegin(); it != shares.cend(); ++it) {
            if (std::tie(it->count, it->newest) > std::tie(mostShare.count, mostShare.newest)) {
                most = it.key();
                mostShare = *it;
            }
        }
        // The rank of an instance as the one to forget; of equal ranks, the one found last goes.
        const auto rank = [&](const Instance& instance) {
            if (mostShare.count > 1) {
                if (!hasAnswered(instance) || instance.host != most) {
                    return 0;
                }
                return instance.stage == Stage::resolved && !instance.refollow ? 2 : 1;
            }
            if (!hasAnswered(instance) && instance.second) {
                return 4; // its first attempt went unanswered
            }
            if (instance.stage == Stage::resolved && !instance.refollow) {
                return 3; // reported, and without a followed place
            }
            if (instance.stage == Stage::waiting && !instance.refollow) {
                return 2; // not tried yet
            }
            return 1;
        };
        auto victim = instances.begin();
        for (auto it = instances.begin(); it != instances.end(); ++it) {
            const int itRank = rank(it->second);
            const int victimRank = rank(victim->second);
            if (itRank > victimRank ||
                (itRank == victimRank && it->second.foundAt > victim->second.foundAt)) {
                victim = it;
            }
        }
        return victim;
    }

    // Forgets an instance, ending its resolver; whether a followed place came free. Keys of it left in the
    // queues are skipped as gone.
    bool forget(std::map<InstanceKey, Instance>::iterator instance)
    {
        Instance& gone = instance->second;
        bool placeFreed = gone.refollow;
        if (gone.refollow) {
            --refollowing;
        }
        if (gone.stage == Stage::resolving) {
            endResolving(gone, true);
        } else if (gone.stage == Stage::followed) {
            dropOutOfFollowed(gone);
            byResolver.erase(gone.resolver.get());
            releaseLater(std::move(gone.resolver));
            placeFreed = true;
        }
        instances.erase(instance);
        return placeFreed;
    }

    // Starts resolvers while fewer than kMaxResolving are out: first attempts first, then second ones.
    void resolveWaiting()
    {
        while (resolving < kMaxResolving) {
            InstanceKey key;
            if (!waiting.empty()) {
                key = waiting.front();
                waiting.pop_front();
            } else if (!secondWaiting.empty() && resolvingSecond < kMaxSecondAttempts) {
                key = secondWaiting.front();
                secondWaiting.pop_front();
            } else {
                break;
            }
            const auto instance = instances.find(key);
            if (instance == instances.end() || instance->second.stage != Stage::waiting) {
                continue; // removed meanwhile
            }
            const auto& [name, interface, protocol] = key;
            AvahiServiceResolver* resolver = avahi_service_resolver_new(
                client.get(), interface, protocol, name.toUtf8().constData(),
                owner->m_type.toUtf8().constData(), instance->second.domain.constData(), AVAHI_PROTO_UNSPEC,
                static_cast<AvahiLookupFlags>(0), onResolved, this);
            if (resolver == nullptr) {
                instances.erase(instance); // the daemon refused; a later announcement may try again
                continue;
            }
            Instance& started = instance->second;
            started.stage = Stage::resolving;
            started.resolver.reset(resolver);
            started.attempt = ++attempts;
            byResolver.emplace(resolver, key);
            ++resolving;
            if (started.second) {
                ++resolvingSecond;
            } else {
                QTimer::singleShot(kFirstAnswerMs, &context, [this, key, attempt = started.attempt] {
                    firstAttemptTimedOut(key, attempt);
                });
            }
        }
    }

    // Ends a resolver that is waiting for its answer: `release` frees it once control is back in the event
    // loop (for a resolver whose callback is running).
    void endResolving(Instance& instance, bool release)
    {
        --resolving;
        if (instance.second) {
            --resolvingSecond;
        }
        byResolver.erase(instance.resolver.get());
        if (release) {
            releaseLater(std::move(instance.resolver));
        } else {
            instance.resolver.reset();
        }
    }

    void releaseLater(ResolverPtr resolver)
    {
        released.push_back(std::move(resolver));
        QMetaObject::invokeMethod(
            &context, [this] { released.clear(); }, Qt::QueuedConnection);
    }

    // No answer in the time a LAN needs: the instance waits for a second attempt.
    void firstAttemptTimedOut(const InstanceKey& key, quint64 attempt)
    {
        const auto instance = instances.find(key);
        if (instance == instances.end() || instance->second.stage != Stage::resolving ||
            instance->second.attempt != attempt) {
            return;
        }
        endResolving(instance->second, false);
        instance->second.stage = Stage::waiting;
        instance->second.second = true;
        secondWaiting.push_back(key);
        resolveWaiting();
    }

    int followedOf(const QString& host) const { return followedPerHost.value(host); }

    // Whether an instance of `host` gets a followed place, taking one from the host with the most when the
    // browse's share is used up and that host holds more than `host`.
    bool takePlace(const QString& host)
    {
        if (followedOf(host) >= kMaxFollowedPerHost) {
            return false;
        }
        if (followed < kMaxFollowed) {
            return true;
        }
        // The host holding the most; of equals, the one given a place last.
        std::map<InstanceKey, Instance>::iterator victim = instances.end();
        for (auto it = instances.begin(); it != instances.end(); ++it) {
            if (it->second.stage != Stage::followed) {
                continue;
            }
            if (victim == instances.end()) {
                victim = it;
                continue;
            }
            const int count = followedOf(it->second.host);
            const int most = followedOf(victim->second.host);
            if (count > most || (count == most && it->second.followedAt > victim->second.followedAt)) {
                victim = it;
            }
        }
        if (victim == instances.end() || followedOf(victim->second.host) <= followedOf(host)) {
            return false;
        }
        unfollow(victim);
        return true;
    }

    // The instance keeps its data as last reported but reports no more changes until it is followed again.
    void unfollow(std::map<InstanceKey, Instance>::iterator instance)
    {
        Instance& dropped = instance->second;
        dropOutOfFollowed(dropped);
        byResolver.erase(dropped.resolver.get());
        releaseLater(std::move(dropped.resolver));
        dropped.stage = Stage::resolved;
        unfollowed.push_back(instance->first);
    }

    void dropOutOfFollowed(Instance& instance)
    {
        --followed;
        if (--followedPerHost[instance.host] <= 0) {
            followedPerHost.remove(instance.host);
        }
    }

    // A followed place is free: an instance that is without one is resolved again to take it, the one whose
    // host holds the fewest places first (of equals, the one that waited longest).
    void followAgain()
    {
        if (followed + refollowing >= kMaxFollowed) {
            return;
        }
        auto best = unfollowed.end();
        for (auto it = unfollowed.begin(); it != unfollowed.end();) {
            const auto instance = instances.find(*it);
            if (instance == instances.end() || instance->second.stage != Stage::resolved) {
                it = unfollowed.erase(it); // gone, or on its way meanwhile
                continue;
            }
            const int count = followedOf(instance->second.host);
            if (count < kMaxFollowedPerHost &&
                (best == unfollowed.end() || count < followedOf(instances.at(*best).host))) {
                best = it;
            }
            ++it;
        }
        if (best == unfollowed.end()) {
            return;
        }
        Instance& again = instances.at(*best);
        again.stage = Stage::waiting;
        again.second = false;
        again.refollow = true;
        ++refollowing;
        waiting.push_front(*best); // it answered before: ahead of instances never heard from
        unfollowed.erase(best);
        resolveWaiting();
    }

    // A resolver's answer: its first decides whether the instance is followed or its resolver let go.
    void answered(AvahiServiceResolver* resolver, bool found, const QString& host)
    {
        const auto key = byResolver.find(resolver);
        if (key == byResolver.end()) {
            return;
        }
        const auto instance = instances.find(key->second);
        if (instance == instances.end() || instance->second.stage != Stage::resolving) {
            return;
        }
        Instance& answering = instance->second;
        if (answering.refollow) {
            answering.refollow = false;
            --refollowing;
        }
        if (found && takePlace(host)) {
            --resolving;
            if (answering.second) {
                --resolvingSecond;
            }
            answering.stage = Stage::followed;
            answering.host = host;
            answering.followedAt = ++attempts;
            ++followed;
            ++followedPerHost[host];
        } else if (found) {
            endResolving(answering, true);
            answering.stage = Stage::resolved;
            answering.host = host;
            unfollowed.push_back(instance->first);
        } else if (!answering.second) {
            // The daemon gave up before the first attempt's time: once more, after the others.
            endResolving(answering, true);
            answering.stage = Stage::waiting;
            answering.second = true;
            secondWaiting.push_back(instance->first);
        } else {
            endResolving(answering, true);
            instances.erase(instance); // no answer: a later announcement may try again
        }
        resolveWaiting();
        followAgain();
    }

    // The instance went away.
    void removed(const InstanceKey& key)
    {
        const auto instance = instances.find(key);
        if (instance == instances.end()) {
            return;
        }
        const bool placeFreed = forget(instance);
        resolveWaiting();
        if (placeFreed) {
            followAgain();
        }
    }

    // The daemon's answers to one resolver, first and later.
    static void onResolved(AvahiServiceResolver* resolver, AvahiIfIndex interface, AvahiProtocol protocol,
                           AvahiResolverEvent event, const char* name, const char* type, const char* domain,
                           const char* hostName, const AvahiAddress* address, uint16_t port,
                           AvahiStringList* txt, AvahiLookupResultFlags, void* userdata)
    {
        auto* impl = static_cast<Impl*>(userdata);
        // A failed resolution (the instance vanished or did not answer) is not an error of the browse.
        const bool found = event == AVAHI_RESOLVER_FOUND && address != nullptr;
        // A resolver let go (its instance forgotten or left without a followed place) reports nothing more.
        if (found && impl->byResolver.count(resolver) > 0) {
            char text[AVAHI_ADDRESS_STR_MAX] = {};
            avahi_address_snprint(text, sizeof text, address);
            DnsSdService service;
            service.name = QString::fromUtf8(name);
            service.type = QString::fromUtf8(type);
            service.domain = QString::fromUtf8(domain);
            service.hostName = QString::fromUtf8(hostName);
            service.address = QHostAddress(QString::fromLatin1(text));
            if (service.address.protocol() == QAbstractSocket::IPv6Protocol &&
                service.address.isLinkLocal()) {
                service.address.setScopeId(QString::number(interface));
            }
            service.port = port;
            service.txt = txtRecord(txt);
            service.interfaceIndex = interface;
            service.protocol = protocol;
            QPointer<DnsSdBrowser> guard(impl->owner);
            QMetaObject::invokeMethod(
                impl->owner,
                [guard, service] {
                    if (guard) {
                        emit guard->resolved(service);
                    }
                },
                Qt::QueuedConnection);
        }
        impl->answered(resolver, found, found ? QString::fromUtf8(hostName) : QString());
    }

    DnsSdBrowser* owner;
    AvahiQtPoll poll;
    ClientPtr client;
    AvahiServiceBrowser* browser = nullptr; // freed with the client
    // Everything below holds resolvers, freed before the client (declared after it).
    std::map<InstanceKey, Instance> instances;
    std::map<AvahiServiceResolver*, InstanceKey> byResolver;
    std::deque<InstanceKey> waiting;       // waiting for a first attempt, oldest first
    std::deque<InstanceKey> secondWaiting; // waiting for a second attempt, oldest first
    std::deque<InstanceKey> unfollowed;    // answered, waiting for a followed place, oldest first
    int resolving = 0;                     // resolvers waiting for an answer
    int resolvingSecond = 0;               // of which second attempts
    int refollowing = 0;                   // of which instances being followed again
    int followed = 0;
    quint64 attempts = 0;
    quint64 founds = 0;
    QHash<QString, int> followedPerHost;
    std::vector<ResolverPtr> released;
    QObject context; // for calls queued to later; they go with it
};

DnsSdBrowser::DnsSdBrowser(const QString& type, QObject* parent) : QObject(parent), m_type(type) {}

DnsSdBrowser::~DnsSdBrowser()
{
    stop();
}

void DnsSdBrowser::stop()
{
    m_impl.reset();
}

void DnsSdBrowser::fail(const QString& message)
{
    QMetaObject::invokeMethod(
        this, [this, message] { emit failed(message); }, Qt::QueuedConnection);
}

void DnsSdBrowser::start()
{
    stop();
    m_impl = std::make_unique<Impl>(this);
    int error = 0;
    AvahiClient* client = avahi_client_new(
        m_impl->poll.poll(), static_cast<AvahiClientFlags>(0),
        [](AvahiClient*, AvahiClientState state, void* userdata) {
            auto* self = static_cast<DnsSdBrowser*>(userdata);
            if (state == AVAHI_CLIENT_FAILURE && self->m_impl && self->m_impl->client) {
                self->fail(avahiMessage("DNS-SD daemon", avahi_client_errno(self->m_impl->client.get())));
            }
        },
        this, &error);
    if (client == nullptr) {
        m_impl.reset();
        fail(avahiMessage("DNS-SD daemon", error));
        return;
    }
    m_impl->client.reset(client);

    m_impl->browser = avahi_service_browser_new(
        client, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, m_type.toUtf8().constData(), nullptr,
        static_cast<AvahiLookupFlags>(0),
        [](AvahiServiceBrowser* b, AvahiIfIndex interface, AvahiProtocol protocol, AvahiBrowserEvent event,
           const char* name, const char*, const char* domain, AvahiLookupResultFlags, void* userdata) {
            auto* self = static_cast<DnsSdBrowser*>(userdata);
            AvahiClient* c = avahi_service_browser_get_client(b);
            switch (event) {
            case AVAHI_BROWSER_NEW: {
                self->m_impl->found(InstanceKey{QString::fromUtf8(name), interface, protocol}, domain);
                break;
            }
            case AVAHI_BROWSER_REMOVE: {
                self->m_impl->removed(InstanceKey{QString::fromUtf8(name), interface, protocol});
                const QString lostName = QString::fromUtf8(name);
                const int lostInterface = interface;
                const int lostProtocol = protocol;
                QMetaObject::invokeMethod(
                    self,
                    [self, lostName, lostInterface, lostProtocol] {
                        emit self->removed(lostName, lostInterface, lostProtocol);
                    },
                    Qt::QueuedConnection);
                break;
            }
            case AVAHI_BROWSER_FAILURE:
                self->fail(avahiMessage("DNS-SD browse", avahi_client_errno(c)));
                break;
            case AVAHI_BROWSER_ALL_FOR_NOW:
            case AVAHI_BROWSER_CACHE_EXHAUSTED:
                break;
            }
        },
        this);
    if (m_impl->browser == nullptr) {
        const QString message = avahiMessage("DNS-SD browse", avahi_client_errno(client));
        m_impl.reset();
        fail(message);
    }
}

} // namespace ostrel
