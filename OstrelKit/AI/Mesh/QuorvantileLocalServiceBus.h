#pragma once

#include "QuorvantileServiceBackend.h"

#include <QList>
#include <QPointer>
#include <memory>

namespace ostrel {

class QuorvantileLocalServiceBackend;

// An in-process stand-in for DNS-SD: every backend made from one bus sees the instances the others publish,
// as if each were a machine at its own address. Used to run several discoveries in one process (tests,
// demos). Events reach browsers through the event loop. Thread of creation only.
class QuorvantileLocalServiceBus : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // A backend for one machine reachable at `address` (for example 127.0.0.2).
    std::unique_ptr<QuorvantileServiceBackend> makeBackend(const QHostAddress& address);

    // Publishes, changes or withdraws an instance directly, as a foreign publisher on the network would.
    void publish(const QuorvantileServiceResult& instance);
    void withdraw(const QString& name);

private:
    friend class QuorvantileLocalServiceBackend;
    void attach(QuorvantileLocalServiceBackend* backend);
    void detach(QuorvantileLocalServiceBackend* backend);
    void browserStarted(QuorvantileLocalServiceBackend* backend);

    QMap<QString, QuorvantileServiceResult> m_instances;
    QMap<QString, QuorvantileLocalServiceBackend*> m_owners;
    QList<QPointer<QuorvantileLocalServiceBackend>> m_backends;
};

} // namespace ostrel
