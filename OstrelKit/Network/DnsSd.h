#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QMap>
#include <QObject>
#include <QString>
#include <memory>

struct AvahiStringList;

namespace ostrel {

// The entries of an Avahi TXT list; a key without "=" maps to an empty value.
QMap<QByteArray, QByteArray> txtRecord(AvahiStringList* list);

class AvahiQtPoll;

// One service instance found on the local network, resolved to an address and port.
struct DnsSdService
{
    QString name;   // the instance name, e.g. "studio"
    QString type;   // e.g. "_tovarine-pair._tcp"
    QString domain; // e.g. "local"
    QString hostName;
    QHostAddress address; // an IPv6 link-local address carries the interface as its scope id
    quint16 port = 0;
    QMap<QByteArray, QByteArray> txt; // TXT entries; a key without "=" maps to an empty value
    int interfaceIndex = -1;
    int protocol = -1; // Avahi's protocol number (IPv4 or IPv6) the instance was seen on
};

// Publishes one service through the local Avahi daemon. The instance name may change on a name conflict; the
// name in use is given by published(). Thread of creation only; it needs that thread's event loop.
class DnsSdPublisher : public QObject
{
    Q_OBJECT
public:
    DnsSdPublisher(const QString& type, const QString& name, quint16 port,
                   const QMap<QByteArray, QByteArray>& txt = {}, QObject* parent = nullptr);
    ~DnsSdPublisher() override;

    // Connects to the daemon and publishes; failures come as failed(). Calling it again restarts.
    void start();
    // Withdraws the service. Safe to call at any time.
    void stop();
    // Replaces the TXT entries of a published service (and of the next start()).
    void setTxt(const QMap<QByteArray, QByteArray>& txt);

    QString name() const { return m_name; }

signals:
    void published(const QString& name);
    void failed(const QString& message);

private:
    struct Impl;
    void publish();
    void fail(const QString& message);

    QString m_type;
    QString m_name;
    quint16 m_port = 0;
    QMap<QByteArray, QByteArray> m_txt;
    std::unique_ptr<Impl> m_impl;
};

// Browses for one service type and resolves every instance it finds (a few at a time, in the order found;
// one that does not answer in the time a LAN needs is tried once more after the others), keeping the
// resolution open while the instance is there so changes of its address, port or TXT record are reported too,
// for up to 64 instances at once and 8 of one host, shared out between hosts so that a host with fewer takes
// a place from the host with the most: whatever one machine publishes, the cost stays bounded and other
// machines' instances still resolve and are followed. An instance left without a place is followed again once
// one is free. At most maxInstances() instances are known at once; a newly found one always gets in, taking
// the place of one of the host that publishes the most names (where none publishes more than one, of one that
// went unanswered, or has no followed place, or was not tried yet), which the browser forgets without
// reporting it removed: only its later changes go unreported. Thread of creation only; it needs that thread's
// event loop.
class DnsSdBrowser : public QObject
{
    Q_OBJECT
public:
    static constexpr int kMaxInstances = 4096; // instances known at once, by default

    explicit DnsSdBrowser(const QString& type, QObject* parent = nullptr);
    ~DnsSdBrowser() override;

    // The number of instances known at once (at least 1); for tests, which fill the browser with a few.
    void setMaxInstances(int count) { m_maxInstances = count < 1 ? 1 : count; }
    int maxInstances() const { return m_maxInstances; }

    // Connects to the daemon and starts browsing; failures come as failed(). Calling it again restarts.
    void start();
    void stop();

signals:
    // An instance was found and resolved, once per interface and protocol it is seen on (and again when its
    // data changes, while it is followed).
    void resolved(const ostrel::DnsSdService& service);
    // An instance went away on one interface and protocol.
    void removed(const QString& name, int interfaceIndex, int protocol);
    void failed(const QString& message);

private:
    struct Impl;
    void fail(const QString& message);

    QString m_type;
    int m_maxInstances = kMaxInstances;
    std::unique_ptr<Impl> m_impl;
};

} // namespace ostrel
