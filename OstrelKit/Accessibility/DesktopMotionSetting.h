#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QVariant>

#include <optional>

namespace ostrel {

// The desktop's reduce-motion option, read through the settings portal (org.freedesktop.portal.Settings on
// the session bus) as GNOME's "enable-animations" key of "org.gnome.desktop.interface": animations disabled
// means reduce motion. Where there is no session bus, no portal or no such key, the answer is "unknown",
// which callers treat as motion allowed.
// GUI thread only (the change signal is delivered on the thread that owns the object).
class DesktopMotionSetting : public QObject
{
    Q_OBJECT
public:
    // Watches `bus` (the session bus by default). Reading is a blocking call with a short timeout.
    explicit DesktopMotionSetting(QDBusConnection bus = QDBusConnection::sessionBus(), QObject* parent = nullptr);

    // The desktop's current answer: true when animations are disabled; absent when it cannot be read.
    std::optional<bool> readReduceMotion() const;

    // The reduce-motion value of a portal reply or change-signal value for "enable-animations" (a boolean,
    // possibly wrapped in one or two D-Bus variants); absent for any other shape.
    static std::optional<bool> reduceMotionFromValue(const QVariant& value);

    static constexpr int kReadTimeoutMs = 500;

signals:
    // Emitted when the desktop reports a new value of the key.
    void reduceMotionChanged(bool reduceMotion);

private slots:
    void settingChanged(const QDBusMessage& message);

private:
    QDBusConnection m_bus;
};

} // namespace ostrel
