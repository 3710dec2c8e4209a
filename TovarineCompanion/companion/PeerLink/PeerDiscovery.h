#pragma once

#include "DnsSd.h"
#include "PeerIdentity.h"

#include <QHash>
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

// Turns the DNS-SD events of one service type into found and lost peers: an instance is one of ours when its
// TXT entry "id" holds a UUID; the peer is found with its first resolved instance, named by its TXT entry
// "nm" (the instance name may be cut to 63 bytes or renamed by the daemon, "twin #2"), and lost, under the
// same identity and name, when the last of its instances (one per interface and protocol) goes. Pure; one
// thread.
class DnsSdPeerTracker
{
public:
    explicit DnsSdPeerTracker(PeerDiscovery::BrowseCallbacks callbacks) : m_callbacks(std::move(callbacks)) {}

    void resolved(const ostrel::DnsSdService& service);
    void removed(const QString& instanceName, int interfaceIndex, int protocol);

private:
    PeerDiscovery::BrowseCallbacks m_callbacks;
    QHash<QString, QUuid> m_instances;      // instance|interface|protocol -> peer
    QHash<QUuid, PeerIdentity> m_announced; // peers found and not lost, as they were announced
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
