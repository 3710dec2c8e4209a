#include "PeerDiscovery.h"

#include "DnsSd.h"

#include <QHash>
#include <QSet>

namespace tovarine {
namespace {

QString dnsSdType(const QString& serviceType)
{
    return QStringLiteral("_%1._tcp").arg(serviceType);
}

// Follows one service type: resolved instances become endpoints, once per peer identity; a peer is lost when
// the last of its instances (one per interface and protocol) goes.
class AvahiBrowse : public QObject
{
public:
    AvahiBrowse(const QString& serviceType, PeerDiscovery::BrowseCallbacks callbacks)
        : m_browser(dnsSdType(serviceType)), m_callbacks(std::move(callbacks))
    {
        QObject::connect(
            &m_browser, &ostrel::DnsSdBrowser::resolved, this, [this](const ostrel::DnsSdService& s) {
                const QUuid id(QString::fromUtf8(s.txt.value("id")));
                if (id.isNull()) {
                    return; // not one of ours
                }
                const QString key = instanceKey(s.name, s.interfaceIndex, s.protocol);
                m_instances.insert(key, id);
                if (!m_announced.contains(id)) {
                    m_announced.insert(id);
                    const QString name = s.txt.contains("nm") ? QString::fromUtf8(s.txt.value("nm")) : s.name;
                    m_callbacks.found({PeerIdentity(name, id), s.address, s.port});
                }
            });
        QObject::connect(&m_browser, &ostrel::DnsSdBrowser::removed, this,
                         [this](const QString& name, int interfaceIndex, int protocol) {
                             const QUuid id = m_instances.take(instanceKey(name, interfaceIndex, protocol));
                             if (id.isNull() || std::find(m_instances.cbegin(), m_instances.cend(), id) !=
                                                    m_instances.cend()) {
                                 return;
                             }
                             m_announced.remove(id);
                             m_callbacks.lost(PeerIdentity(name, id));
                         });
        QObject::connect(&m_browser, &ostrel::DnsSdBrowser::failed, this, [this](const QString& message) {
            m_callbacks.failed({QStringLiteral("DNS-SD"), -1, message});
        });
        m_browser.start();
    }

private:
    static QString instanceKey(const QString& name, int interfaceIndex, int protocol)
    {
        return QStringLiteral("%1|%2|%3").arg(name).arg(interfaceIndex).arg(protocol);
    }

    ostrel::DnsSdBrowser m_browser;
    PeerDiscovery::BrowseCallbacks m_callbacks;
    QHash<QString, QUuid> m_instances;
    QSet<QUuid> m_announced;
};

} // namespace

std::unique_ptr<QObject> AvahiPeerDiscovery::publish(const QString& serviceType, const PeerIdentity& local,
                                                     quint16 port,
                                                     std::function<void(const PeerError&)> failed)
{
    auto publisher = std::make_unique<ostrel::DnsSdPublisher>(
        dnsSdType(serviceType), local.displayName().left(63), port,
        QMap<QByteArray, QByteArray>{{"id", local.id().toString(QUuid::WithoutBraces).toUtf8()},
                                     {"nm", local.displayName().toUtf8().left(200)}});
    QObject::connect(publisher.get(), &ostrel::DnsSdPublisher::failed, publisher.get(),
                     [failed](const QString& message) {
                         failed({QStringLiteral("DNS-SD"), -1, message});
                     });
    publisher->start();
    return publisher;
}

std::unique_ptr<QObject> AvahiPeerDiscovery::browse(const QString& serviceType, BrowseCallbacks callbacks)
{
    return std::make_unique<AvahiBrowse>(serviceType, std::move(callbacks));
}

// ---------------------------------------------------------------------------------------------------------

namespace {

// Runs `onDestroy` when the handle goes.
class Handle : public QObject
{
public:
    explicit Handle(std::function<void()> onDestroy) : m_onDestroy(std::move(onDestroy)) {}
    ~Handle() override { m_onDestroy(); }

private:
    std::function<void()> m_onDestroy;
};

} // namespace

void LocalPeerDiscovery::announce(const Browse& browse, const Endpoint& endpoint, bool found)
{
    if (!browse.context) {
        return;
    }
    const BrowseCallbacks callbacks = browse.callbacks;
    QMetaObject::invokeMethod(
        browse.context.data(),
        [callbacks, endpoint, found] {
            if (found) {
                callbacks.found(endpoint);
            } else {
                callbacks.lost(endpoint.peer);
            }
        },
        Qt::QueuedConnection);
}

std::unique_ptr<QObject> LocalPeerDiscovery::publish(const QString& serviceType, const PeerIdentity& local,
                                                     quint16 port, std::function<void(const PeerError&)>)
{
    auto published =
        std::make_shared<Published>(Published{serviceType, {local, QHostAddress::LocalHost, port}});
    {
        QMutexLocker lock(&m_mutex);
        m_published.append(published);
        for (const auto& browse : std::as_const(m_browses)) {
            if (browse->serviceType == serviceType) {
                announce(*browse, published->endpoint, true);
            }
        }
    }
    return std::make_unique<Handle>([this, published] {
        QMutexLocker lock(&m_mutex);
        m_published.removeAll(published);
        for (const auto& browse : std::as_const(m_browses)) {
            if (browse->serviceType == published->serviceType) {
                announce(*browse, published->endpoint, false);
            }
        }
    });
}

std::unique_ptr<QObject> LocalPeerDiscovery::browse(const QString& serviceType, BrowseCallbacks callbacks)
{
    auto handle = std::make_unique<QObject>();
    auto browse = std::make_shared<Browse>(Browse{serviceType, handle.get(), std::move(callbacks)});
    QMutexLocker lock(&m_mutex);
    m_browses.append(browse);
    for (const auto& published : std::as_const(m_published)) {
        if (published->serviceType == serviceType) {
            announce(*browse, published->endpoint, true);
        }
    }
    QObject::connect(handle.get(), &QObject::destroyed, [this, browse] {
        QMutexLocker lock(&m_mutex);
        m_browses.removeAll(browse);
    });
    return handle;
}

} // namespace tovarine
