#pragma once

#include "PeerIdentity.h"

#include <QHostAddress>
#include <QMutex>
#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>

namespace tovarine {

// How the TCP transport announces its listening port and finds other peers' ports. Called on the
// transport's thread; callbacks come on that thread. Destroying the returned handle withdraws or stops.
class PeerDiscovery
{
public:
    struct Endpoint
    {
        PeerIdentity peer;
        QHostAddress address;
        quint16 port = 0;
    };
    struct BrowseCallbacks
    {
        std::function<void(const Endpoint&)> found; // once per peer
        std::function<void(const PeerIdentity&)> lost;
        std::function<void(const PeerError&)> failed;
    };

    virtual ~PeerDiscovery() = default;
    virtual std::unique_ptr<QObject> publish(const QString& serviceType, const PeerIdentity& local,
                                             quint16 port, std::function<void(const PeerError&)> failed) = 0;
    virtual std::unique_ptr<QObject> browse(const QString& serviceType, BrowseCallbacks callbacks) = 0;
};

// DNS-SD through the local Avahi daemon: the service "tovarine-pair" is published as "_tovarine-pair._tcp"
// under the peer's display name, with the peer's identity in the TXT entries "id" and "nm".
class AvahiPeerDiscovery : public PeerDiscovery
{
public:
    std::unique_ptr<QObject> publish(const QString& serviceType, const PeerIdentity& local, quint16 port,
                                     std::function<void(const PeerError&)> failed) override;
    std::unique_ptr<QObject> browse(const QString& serviceType, BrowseCallbacks callbacks) override;
};

// An in-process directory shared by transports of one process (tests, benchmarks): every published port is
// on 127.0.0.1.
class LocalPeerDiscovery : public PeerDiscovery
{
public:
    std::unique_ptr<QObject> publish(const QString& serviceType, const PeerIdentity& local, quint16 port,
                                     std::function<void(const PeerError&)> failed) override;
    std::unique_ptr<QObject> browse(const QString& serviceType, BrowseCallbacks callbacks) override;

private:
    struct Browse
    {
        QString serviceType;
        QPointer<QObject> context; // on the browsing transport's thread
        BrowseCallbacks callbacks;
    };
    struct Published
    {
        QString serviceType;
        Endpoint endpoint;
    };
    void announce(const Browse& browse, const Endpoint& endpoint, bool found);

    QMutex m_mutex;
    QList<std::shared_ptr<Browse>> m_browses;
    QList<std::shared_ptr<Published>> m_published;
};

} // namespace tovarine
