#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QMap>
#include <QObject>
#include <QString>
#include <optional>

namespace ostrel {

// One service instance as a DNS-SD browser reports it, merged over the interfaces and protocols it is seen
// on.
struct QuorvantileServiceResult
{
    QString name;                                    // instance name
    std::optional<QMap<QByteArray, QByteArray>> txt; // the TXT record, when the instance carries one
    QHostAddress address; // where a connection reaches the instance (IPv4 preferred)
    quint16 port = 0;
};

// The DNS-SD facilities the discovery needs: publish one instance of a service type (and replace its TXT
// record), and browse for the instances of that type. The discovery creates one backend per run and deletes
// it on stop; a backend reports through its signals, from the event loop, never from inside a call. Thread of
// creation only.
class QuorvantileServiceBackend : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~QuorvantileServiceBackend() override = default;

    // Starts publishing `name` on `port` with `txt`; advertisingChanged(true) follows once it is live.
    virtual void publish(const QString& name, quint16 port, const QMap<QByteArray, QByteArray>& txt) = 0;
    // Replaces the published instance's TXT record; nothing when nothing is published.
    virtual void updateTxt(const QMap<QByteArray, QByteArray>& txt) = 0;
    // Starts browsing; browsingChanged(true) follows once it is live.
    virtual void startBrowsing() = 0;

signals:
    // The advertisement (browser) became live, or failed or ended.
    void advertisingChanged(bool live);
    void browsingChanged(bool live);
    // An instance appeared, went away, or changed its TXT record or address.
    void serviceAdded(const ostrel::QuorvantileServiceResult& result);
    void serviceRemoved(const QString& name);
    void serviceChanged(const ostrel::QuorvantileServiceResult& result);
};

} // namespace ostrel
