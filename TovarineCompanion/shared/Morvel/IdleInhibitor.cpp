#include "IdleInhibitor.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace tovarine {

IdleInhibitor::~IdleInhibitor()
{
    end();
}

void IdleInhibitor::begin(const QString& why)
{
    if (m_active) {
        return;
    }
    m_active = true;
    const quint64 request = ++m_request;
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
    call << QStringLiteral("idle") << QStringLiteral("tovarine companion") << why << QStringLiteral("block");
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, request](QDBusPendingCallWatcher* done) {
                done->deleteLater();
                const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *done;
                if (reply.isValid() && m_active && request == m_request) {
                    m_lock = reply.value();
                }
            });
}

void IdleInhibitor::end()
{
    m_active = false;
    ++m_request;
    // Dropping the descriptor closes it, which releases the lock.
    m_lock = QDBusUnixFileDescriptor();
}

} // namespace tovarine
