#include "QuorvantileAvahiBackend.h"

#include "DnsSd.h"
#include "QuorvantileDiscovery.h"

#include <map>
#include <tuple>

namespace ostrel {

namespace {

class AvahiBackend : public QuorvantileServiceBackend
{
public:
    void publish(const QString& name, quint16 port, const QMap<QByteArray, QByteArray>& txt) override
    {
        m_publisher = std::make_unique<DnsSdPublisher>(QString::fromLatin1(QuorvantileDiscovery::serviceType),
                                                       name, port, txt);
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
        m_browser = std::make_unique<DnsSdBrowser>(QString::fromLatin1(QuorvantileDiscovery::serviceType));
        connect(m_browser.get(), &DnsSdBrowser::resolved, this, [this](const DnsSdService& service) {
            m_instances[Key{service.name, service.interfaceIndex, service.protocol}] = service;
            merge(service.name);
        });
        connect(m_browser.get(), &DnsSdBrowser::removed, this,
                [this](const QString& name, int interfaceIndex, int protocol) {
                    if (m_instances.erase(Key{name, interfaceIndex, protocol}) > 0) {
                        merge(name);
                    }
                });
        connect(m_browser.get(), &DnsSdBrowser::failed, this, [this] {
            m_live = false;
            emit browsingChanged(false);
        });
        m_live = true;
        m_browser->start();
        // The browser reports failures later, from the event loop; it is live until it does.
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (m_live) {
                    emit browsingChanged(true);
                }
            },
            Qt::QueuedConnection);
    }

private:
    using Key = std::tuple<QString, int, int>; // name, interface, protocol

    // Folds the per-interface sightings of `name` into one result and reports what changed.
    void merge(const QString& name)
    {
        std::optional<QuorvantileServiceResult> merged;
        for (const auto& [key, service] : m_instances) {
            if (std::get<0>(key) != name) {
                continue;
            }
            const bool isV4 = service.address.protocol() == QAbstractSocket::IPv4Protocol;
            if (!merged || (isV4 && merged->address.protocol() != QAbstractSocket::IPv4Protocol)) {
                merged = QuorvantileServiceResult{name, service.txt, service.address, service.port};
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

    std::unique_ptr<DnsSdPublisher> m_publisher;
    std::unique_ptr<DnsSdBrowser> m_browser;
    bool m_live = false;
    std::map<Key, DnsSdService> m_instances;
    std::map<QString, QuorvantileServiceResult> m_reported;
};

} // namespace

std::unique_ptr<QuorvantileServiceBackend> makeQuorvantileAvahiBackend()
{
    return std::make_unique<AvahiBackend>();
}

} // namespace ostrel
