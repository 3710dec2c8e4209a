#include "QuorvantileLocalServiceBus.h"

#include <QTimer>
#include <functional>

namespace ostrel {

class QuorvantileLocalServiceBackend : public QuorvantileServiceBackend
{
public:
    QuorvantileLocalServiceBackend(QuorvantileLocalServiceBus* bus, QHostAddress address)
        : m_bus(bus), m_address(std::move(address))
    {
        m_bus->attach(this);
    }

    ~QuorvantileLocalServiceBackend() override
    {
        if (m_bus) {
            m_bus->detach(this);
        }
    }

    void publish(const QString& name, quint16 port, const QMap<QByteArray, QByteArray>& txt) override
    {
        m_name = name;
        m_bus->m_owners.insert(name, this);
        m_bus->publish({name, txt, m_address, port});
        QTimer::singleShot(0, this, [this] { emit advertisingChanged(true); });
    }

    void updateTxt(const QMap<QByteArray, QByteArray>& txt) override
    {
        if (m_name.isEmpty() || !m_bus->m_instances.contains(m_name)) {
            return;
        }
        QuorvantileServiceResult instance = m_bus->m_instances.value(m_name);
        instance.txt = txt;
        m_bus->publish(instance);
    }

    void startBrowsing() override
    {
        m_browsing = true;
        QTimer::singleShot(0, this, [this] { emit browsingChanged(true); });
        m_bus->browserStarted(this);
    }

    void deliver(std::function<void(QuorvantileLocalServiceBackend*)> event)
    {
        if (m_browsing) {
            QTimer::singleShot(0, this, [this, event] { event(this); });
        }
    }

    QString publishedName() const { return m_name; }

private:
    QPointer<QuorvantileLocalServiceBus> m_bus;
    QHostAddress m_address;
    QString m_name;
    bool m_browsing = false;
};

std::unique_ptr<QuorvantileServiceBackend>
QuorvantileLocalServiceBus::makeBackend(const QHostAddress& address)
{
    return std::make_unique<QuorvantileLocalServiceBackend>(this, address);
}

void QuorvantileLocalServiceBus::attach(QuorvantileLocalServiceBackend* backend)
{
    m_backends.append(backend);
}

void QuorvantileLocalServiceBus::detach(QuorvantileLocalServiceBackend* backend)
{
    m_backends.removeAll(backend);
    const QString name = backend->publishedName();
    if (!name.isEmpty() && m_owners.value(name) == backend) {
        m_owners.remove(name);
        withdraw(name);
    }
}

void QuorvantileLocalServiceBus::browserStarted(QuorvantileLocalServiceBackend* backend)
{
    for (const QuorvantileServiceResult& instance : std::as_const(m_instances)) {
        backend->deliver([instance](QuorvantileLocalServiceBackend* b) { emit b->serviceAdded(instance); });
    }
}

void QuorvantileLocalServiceBus::publish(const QuorvantileServiceResult& instance)
{
    const bool known = m_instances.contains(instance.name);
    m_instances.insert(instance.name, instance);
    for (const auto& backend : std::as_const(m_backends)) {
        if (!backend) {
            continue;
        }
        if (known) {
            backend->deliver(
                [instance](QuorvantileLocalServiceBackend* b) { emit b->serviceChanged(instance); });
        } else {
            backend->deliver(
                [instance](QuorvantileLocalServiceBackend* b) { emit b->serviceAdded(instance); });
        }
    }
}

void QuorvantileLocalServiceBus::withdraw(const QString& name)
{
    if (!m_instances.remove(name)) {
        return;
    }
    for (const auto& backend : std::as_const(m_backends)) {
        if (backend) {
            backend->deliver([name](QuorvantileLocalServiceBackend* b) { emit b->serviceRemoved(name); });
        }
    }
}

} // namespace ostrel
