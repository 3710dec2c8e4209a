#include "DesktopMotionSetting.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QThread>

#include <memory>

#include <gtest/gtest.h>

using namespace ostrel;

namespace {

// A stand-in for the desktop's settings portal: answers Read for the animations key with a set value.
class FakePortalSettings : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Settings")
public:
    explicit FakePortalSettings(QObject* parent)
        : QObject(parent)
    {
    }
    std::atomic<bool> animationsEnabled{true};

public slots:
    QDBusVariant Read(const QString& settingsNamespace, const QString& key)
    {
        Q_UNUSED(settingsNamespace);
        Q_UNUSED(key);
        // Portals wrap the value in a variant inside the variant reply.
        return QDBusVariant(QVariant::fromValue(QDBusVariant(bool(animationsEnabled))));
    }
};

// A private session bus for one test: a dbus-daemon child process.
class PrivateBus
{
public:
    PrivateBus()
    {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty()) {
            return;
        }
        m_process.start(daemon, {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                 QStringLiteral("--print-address=1")});
        if (!m_process.waitForStarted(5000) || !m_process.waitForReadyRead(5000)) {
            return;
        }
        m_address = QString::fromUtf8(m_process.readLine()).trimmed();
    }
    ~PrivateBus()
    {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    const QString& address() const { return m_address; }

private:
    QProcess m_process;
    QString m_address;
};

} // namespace

TEST(DesktopMotionSetting, NoSessionBusMeansUnknownAndMotionAllowed)
{
    const QDBusConnection none =
        QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"), QStringLiteral("none"));
    ASSERT_FALSE(none.isConnected());
    DesktopMotionSetting setting(none);
    EXPECT_FALSE(setting.readReduceMotion().has_value());
}

TEST(DesktopMotionSetting, ValueShapesFromThePortal)
{
    EXPECT_EQ(DesktopMotionSetting::reduceMotionFromValue(QVariant(false)), true);
    EXPECT_EQ(DesktopMotionSetting::reduceMotionFromValue(QVariant(true)), false);
    EXPECT_EQ(DesktopMotionSetting::reduceMotionFromValue(QVariant::fromValue(QDBusVariant(false))), true);
    EXPECT_EQ(DesktopMotionSetting::reduceMotionFromValue(
                  QVariant::fromValue(QDBusVariant(QVariant::fromValue(QDBusVariant(true))))),
              false);
    EXPECT_FALSE(DesktopMotionSetting::reduceMotionFromValue(QVariant(QStringLiteral("no"))).has_value());
    EXPECT_FALSE(DesktopMotionSetting::reduceMotionFromValue(QVariant()).has_value());
}

TEST(DesktopMotionSetting, ReadsAndFollowsThePortalOnASessionBus)
{
    PrivateBus bus;
    if (bus.address().isEmpty()) {
        GTEST_SKIP() << "dbus-daemon is not available";
    }
    // The portal side lives on its own thread so the reader's blocking call can be answered.
    auto portal = std::make_unique<FakePortalSettings>(nullptr); // outlives the thread it lives in
    QThread serviceThread;
    serviceThread.start();
    const auto stopThread = qScopeGuard([&serviceThread] {
        serviceThread.quit();
        serviceThread.wait();
    });
    QDBusConnection service = QDBusConnection::connectToBus(bus.address(), QStringLiteral("portal"));
    ASSERT_TRUE(service.isConnected());
    portal->moveToThread(&serviceThread);
    ASSERT_TRUE(service.registerObject(QStringLiteral("/org/freedesktop/portal/desktop"), portal.get(),
                                       QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(service.registerService(QStringLiteral("org.freedesktop.portal.Desktop")));

    QDBusConnection reader = QDBusConnection::connectToBus(bus.address(), QStringLiteral("reader"));
    ASSERT_TRUE(reader.isConnected());
    DesktopMotionSetting setting(reader);
    EXPECT_EQ(setting.readReduceMotion(), false);
    portal->animationsEnabled = false;
    EXPECT_EQ(setting.readReduceMotion(), true);

    QSignalSpy spy(&setting, &DesktopMotionSetting::reduceMotionChanged);
    const auto emitChange = [&](const QString& ns, const QString& key, bool enabled) {
        QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/portal/desktop"),
                                                         QStringLiteral("org.freedesktop.portal.Settings"),
                                                         QStringLiteral("SettingChanged"));
        signal << ns << key << QVariant::fromValue(QDBusVariant(enabled));
        service.send(signal);
    };
    emitChange(QStringLiteral("org.gnome.desktop.interface"), QStringLiteral("font-name"), true); // ignored
    emitChange(QStringLiteral("org.gnome.desktop.interface"), QStringLiteral("enable-animations"), true);
    ASSERT_TRUE(spy.wait(5000));
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(0).toBool(), false);

    service.unregisterObject(QStringLiteral("/org/freedesktop/portal/desktop"));
    QDBusConnection::disconnectFromBus(QStringLiteral("portal"));
    QDBusConnection::disconnectFromBus(QStringLiteral("reader"));
}

#include "DesktopMotionSettingTest.moc"
