#pragma once

#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <QString>

namespace tovarine {

// Keeps the machine from idle sleep while an engine runs: a logind "idle" inhibitor lock taken over the
// system D-Bus. Where there is no system bus (or logind refuses), it does nothing and reports nothing. GUI
// thread only.
class IdleInhibitor : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~IdleInhibitor() override;

    // Asks for the lock without blocking; a second begin() while held does nothing.
    void begin(const QString& why);
    // Releases the lock; a reply that arrives after end() is dropped.
    void end();

private:
    QDBusUnixFileDescriptor m_lock;
    quint64 m_request = 0;
    bool m_active = false;
};

} // namespace tovarine
