#include "QuorvantileAvahiBackend.h"

#include "AvahiQtPoll.h"
#include "DnsSd.h"
#include "QuorvantileDiscovery.h"

#include <QPointer>
#include <QTimer>
#include <avahi-client/client.h>
#include <avahi-client/lookup.h>
#include <avahi-common/address.h>
#include <avahi-common/strlst.h>
#include <map>
#include <tuple>

namespace ostrel {

namespace {

// The type without the trailing "." of the mesh's domain notation, as Avahi expects it.
QByteArray avahiType()
{
    return QByteArray(QuorvantileDiscovery::serviceType);
}

class AvahiBackend : public QuorvantileServiceBackend
{
public:
    ~AvahiBackend() override
    {
        // Resolvers and the browser belong to the client and go with it.
        m_resolvers.clear();
        if (m_client) {
            avahi_client_free(m_client);
        }
    }

    void publish(const QString& name, quint16 port, const QMap<QByteArray, QByteArray>& txt) override
    {
        m_publisher = std::make_unique<DnsSdPublisher>(QString::fromLatin1(avahiType()), name, port, txt);
        connect(m_publisher.get(), &DnsSdPublisher::published, this,
                [this] { emit advertisingChanged(true); });
        connect(m_publisher.get(), &DnsSdPublisher::failed, this, [this] { emit advertisingChanged(false); });
        m_publisher->start();
    }

    void updateTxt(const QMap<QByteArray, QByteArray>& txt) override
    {
        if (m_publisher) {
            m_publisher->setTxt(txt);
        }
    }

    void startBrowsing() override
    {
        int error = 0;
        m_client = avahi_client_new(m_poll.poll(), static_cast<AvahiClientFlags>(0),
                                    &AvahiBackend::clientEvent, this, &error);
        if (!m_client) {
            later([this] { emit browsingChanged(false); });
            return;
        }
        m_browser = avahi_service_browser_new(
            m_client, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, avahiType().constData(), "local",
            static_cast<AvahiLookupFlags>(0), &AvahiBackend::browseEvent, this);
        if (!m_browser) {
            later([this] { emit browsingChanged(false); });
            return;
        }
        later([this] { emit browsingChanged(true); });
    }

private:
    using Key = std::tuple<QString, int, int>; // name, interface, protocol

    struct Instance
    {
        QHostAddress address;
        quint16 port = 0;
        QMap<QByteArray, QByteArray> txt;
        bool resolved = false;
    };

    // Avahi calls back from inside its own calls; state changes reach the discovery one turn later.
    void later(std::function<void()> work) { QTimer::singleShot(0, this, std::move(work)); }

    static void clientEvent(AvahiClient*, AvahiClientState state, void* userdata)
    {
        auto* self = static_cast<AvahiBackend*>(userdata);
        if (state == AVAHI_CLIENT_FAILURE) {
            self->later([self] { emit self->browsingChanged(false); });
        }
    }

    static void browseEvent(AvahiServiceBrowser*, AvahiIfIndex interface, AvahiProtocol protocol,
                            AvahiBrowserEvent event, const char* name, const char* type, const char* domain,
                            AvahiLookupResultFlags, void* userdata)
    {
        auto* self = static_cast<AvahiBackend*>(userdata);
        switch (event) {
        case AVAHI_BROWSER_NEW: {
            const Key key{QString::fromUtf8(name), interface, protocol};
            if (self->m_resolvers.count(key) > 0) {
                return;
            }
            AvahiServiceResolver* resolver = avahi_service_resolver_new(
                self->m_client, interface, protocol, name, type, domain, AVAHI_PROTO_UNSPEC,
                static_cast<AvahiLookupFlags>(0), &AvahiBackend::resolveEvent, self);
            if (resolver) {
                self->m_resolvers.emplace(key, ResolverPtr(resolver));
            }
            break;
        }
        case AVAHI_BROWSER_REMOVE: {
            const Key key{QString::fromUtf8(name), interface, protocol};
            self->m_resolvers.erase(key);
            const bool wasResolved = self->m_instances.count(key) > 0 && self->m_instances[key].resolved;
            self->m_instances.erase(key);
            if (wasResolved) {
                self->later([self, n = std::get<0>(key)] { self->merge(n); });
            }
            break;
        }
        case AVAHI_BROWSER_FAILURE:
            self->later([self] { emit self->browsingChanged(false); });
            break;
        case AVAHI_BROWSER_ALL_FOR_NOW:
        case AVAHI_BROWSER_CACHE_EXHAUSTED:
            break;
        }
    }

    // A resolver stays open and reports again whenever the instance's address or TXT record changes.
    static void resolveEvent(AvahiServiceResolver*, AvahiIfIndex interface, AvahiProtocol protocol,
                             AvahiResolverEvent event, const char* name, const char*, const char*,
                             const char*, const AvahiAddress* address, uint16_t port, AvahiStringList* txt,
                             AvahiLookupResultFlags, void* userdata)
    {
        auto* self = static_cast<AvahiBackend*>(userdata);
        if (event != AVAHI_RESOLVER_FOUND || !address) {
            return;
        }
        char text[AVAHI_ADDRESS_STR_MAX] = {};
        avahi_address_snprint(text, sizeof text, address);
        Instance instance;
        instance.address = QHostAddress(QString::fromLatin1(text));
        if (instance.address.protocol() == QAbstractSocket::IPv6Protocol && instance.address.isLinkLocal()) {
            instance.address.setScopeId(QString::number(interface));
        }
        instance.port = port;
        instance.txt = ostrel::txtRecord(txt);
        instance.resolved = true;
        const Key key{QString::fromUtf8(name), interface, protocol};
        self->m_instances[key] = instance;
        self->later([self, n = std::get<0>(key)] { self->merge(n); });
    }

    // Folds the per-interface instances of `name` into one result and reports what changed.
    void merge(const QString& name)
    {
        std::optional<QuorvantileServiceResult> merged;
        for (const auto& [key, instance] : m_instances) {
            if (std::get<0>(key) != name || !instance.resolved) {
                continue;
            }
            const bool isV4 = instance.address.protocol() == QAbstractSocket::IPv4Protocol;
            if (!merged || (isV4 && merged->address.protocol() != QAbstractSocket::IPv4Protocol)) {
                merged = QuorvantileServiceResult{name, instance.txt, instance.address, instance.port};
            }
        }
        const auto known = m_reported.find(name);
        if (!merged) {
            if (known != m_reported.end()) {
                m_reported.erase(known);
                emit serviceRemoved(name);
            }
            return;
        }
        if (known == m_reported.end()) {
            m_reported.emplace(name, *merged);
            emit serviceAdded(*merged);
        } else if (known->second.txt != merged->txt || known->second.address != merged->address ||
                   known->second.port != merged->port) {
            known->second = *merged;
            emit serviceChanged(*merged);
        }
    }

    struct ResolverDeleter
    {
        void operator()(AvahiServiceResolver* resolver) const { avahi_service_resolver_free(resolver); }
    };
    using ResolverPtr = std::unique_ptr<AvahiServiceResolver, ResolverDeleter>;

    AvahiQtPoll m_poll;
    AvahiClient* m_client = nullptr;
    AvahiServiceBrowser* m_browser = nullptr;
    std::map<Key, ResolverPtr> m_resolvers;
    std::map<Key, Instance> m_instances;
    std::map<QString, QuorvantileServiceResult> m_reported;
    std::unique_ptr<DnsSdPublisher> m_publisher;
};

} // namespace

std::unique_ptr<QuorvantileServiceBackend> makeQuorvantileAvahiBackend()
{
    return std::make_unique<AvahiBackend>();
}

} // namespace ostrel
