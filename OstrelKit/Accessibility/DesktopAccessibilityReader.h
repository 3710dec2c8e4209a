#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QVariant>

#include <memory>
#include <optional>

namespace ostrel {

// The desktop's three accessibility display options.
struct DesktopAccessibilityOptions
{
    bool increaseContrast = false;
    bool reduceTransparency = false; // no Linux desktop publishes this: always false
    bool reduceMotion = false;

    friend bool operator==(const DesktopAccessibilityOptions&, const DesktopAccessibilityOptions&) = default;
};

// The one reader of the desktop's accessibility options that the kit's motion switch and accessibility
// settings both follow. The shared reader is the settings-portal reader below unless a test installed another
// (FakeAccessibilityReader) before the first use. Options start all false and change only through publish(),
// which emits optionsChanged() once per real change.
// GUI thread only (the signal is delivered on the thread that owns the reader).
class DesktopAccessibilityReader : public QObject
{
    Q_OBJECT
public:
    // The process's reader, created on first use and never released.
    static DesktopAccessibilityReader& shared();
    // Makes `reader` the shared reader (taking ownership). Objects that follow the shared reader bind to it
    // when they are created, so this must run before them; a second install replaces the first.
    static void install(std::unique_ptr<DesktopAccessibilityReader> reader);

    DesktopAccessibilityOptions options() const { return m_options; }

signals:
    void optionsChanged();

protected:
    explicit DesktopAccessibilityReader(QObject* parent = nullptr);
    void publish(const DesktopAccessibilityOptions& options);

private:
    DesktopAccessibilityOptions m_options;
};

// Reads the options through the settings portal (org.freedesktop.portal.Settings on the session bus) as
// GNOME's keys: "enable-animations" of "org.gnome.desktop.interface" (off means reduce motion) and
// "high-contrast" of "org.gnome.desktop.a11y.interface" (on means increase contrast). The first read is
// asynchronous, so creating the reader never waits on the bus; the portal's SettingChanged signal is followed
// after that. With no session bus, no portal or no such key an option stays false.
class PortalAccessibilityReader final : public DesktopAccessibilityReader
{
    Q_OBJECT
public:
    explicit PortalAccessibilityReader(QDBusConnection bus = QDBusConnection::sessionBus(),
                                       QObject* parent = nullptr);

    // The boolean of a portal reply or change-signal value (possibly wrapped in one or two D-Bus variants);
    // absent for any other shape.
    static std::optional<bool> booleanFromValue(const QVariant& value);

    // True once both first reads have answered (or failed).
    bool firstReadDone() const { return m_pendingReads == 0; }

signals:
    void firstReadFinished();

private slots:
    void settingChanged(const QDBusMessage& message);

private:
    void read(const QString& settingsNamespace, const QString& key);
    void apply(const QString& settingsNamespace, const QString& key, const QVariant& value);

    QDBusConnection m_bus;
    int m_pendingReads = 0;
};

// A reader whose options a test sets by hand.
class FakeAccessibilityReader final : public DesktopAccessibilityReader
{
    Q_OBJECT
public:
    using DesktopAccessibilityReader::DesktopAccessibilityReader;
    void set(const DesktopAccessibilityOptions& options) { publish(options); }
};

} // namespace ostrel
