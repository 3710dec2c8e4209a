#include "PeerDiscovery.h"

#include "DnsSd.h"

#include <QHash>
#include <algorithm>

namespace tovarine {
namespace {

QString dnsSdType(const QString& serviceType)
{
    return QStringLiteral("_%1._tcp").arg(serviceType);
}

// Follows one service type through the daemon.
class AvahiBrowse : public QObject
{
public:
    AvahiBrowse(const QString& serviceType, PeerDiscovery::BrowseCallbacks callbacks)
        : m_browser(dnsSdType(serviceType)), m_tracker(callbacks)
    {
        QObject::connect(&m_browser, &ostrel::DnsSdBrowser::resolved, this,
                         [this](const ostrel::DnsSdService& s) { m_tracker.resolved(s); });
        QObject::connect(&m_browser, &ostrel::DnsSdBrowser::removed, this,
                         [this](const QString& name, int interfaceIndex, int protocol) {
                             m_tracker.removed(name, interfaceIndex, protocol);
                         });
        QObject::connect(&m_browser, &ostrel::DnsSdBrowser::failed, this,
                         [failed = callbacks.failed](const QString& message) {
                             failed({QStringLiteral("DNS-SD"), -1, message});
                         });
        m_browser.start();
    }

private:
    ostrel::DnsSdBrowser m_browser;
    DnsSdPeerTracker m_tracker;
};

QString instanceKey(const QString& name, int interfaceIndex, int protocol)
{
    return QStringLiteral("%1|%2|%3").arg(name).arg(interfaceIndex).arg(protocol);
}

// The longest start of `text` that fits `maxBytes` of UTF-8 without cutting a character.
QByteArray utf8Prefix(const QString& text, qsizetype maxBytes)
{
    QByteArray bytes = text.toUtf8();
    if (bytes.size() <= maxBytes) {
        return bytes;
    }
    qsizetype end = maxBytes;
    while (end > 0 && (static_cast<unsigned char>(bytes[end]) & 0xC0) == 0x80) {
        --end; // bytes[end] continues a character that started before it
    }
    bytes.truncate(end);
    return bytes;
}

} // namespace

void DnsSdPeerTracker::resolved(const ostrel::DnsSdService& service)
{
    const QUuid id(QString::fromUtf8(service.txt.value("id")));
    if (id.isNull()) {
        return; // not one of ours
    }
    m_instances.insert(instanceKey(service.name, service.interfaceIndex, service.protocol), id);
    if (m_announced.contains(id)) {
        return;
    }
    const QString name =
        service.txt.contains("nm") ? QString::fromUtf8(service.txt.value("nm")) : service.name;
    const PeerIdentity peer(name, id);
    m_announced.insert(id, peer);
    if (m_callbacks.found) {
        m_callbacks.found({peer, service.address, service.port});
    }
}

void DnsSdPeerTracker::removed(const QString& instanceName, int interfaceIndex, int protocol)
{
    const QUuid id = m_instances.take(instanceKey(instanceName, interfaceIndex, protocol));
    if (id.isNull() || std::find(m_instances.cbegin(), m_instances.cend(), id) != m_instances.cend()) {
        return;
    }
    const auto announced = m_announced.constFind(id);
    if (announced == m_announced.cend()) {
        return;
    }
    const PeerIdentity peer = *announced; // the name it was found under, not the instance's
    m_announced.erase(announced);
    if (m_callbacks.lost) {
        m_callbacks.lost(peer);
    }
}

std::unique_ptr<QObject> AvahiPeerDiscovery::publish(const QString& serviceType, const PeerIdentity& local,
                                                     quint16 port,
                                                     std::function<void(const PeerError&)> failed)
{
    auto publisher = std::make_unique<ostrel::DnsSdPublisher>(
        dnsSdType(serviceType), QString::fromUtf8(utf8Prefix(local.displayName(), 63)), port,
        QMap<QByteArray, QByteArray>{{"id", local.id().toString(QUuid::WithoutBraces).toUtf8()},
                                     {"nm", utf8Prefix(local.displayName(), 200)}});
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
