#include "DesktopAccessibilityReader.h"
#include "HangCeiling.h"

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

// A stand-in for the desktop's settings portal: answers Read for the animations and high-contrast keys.
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
    std::atomic<bool> highContrast{false};

public slots:
    QDBusVariant Read(const QString& settingsNamespace, const QString& key)
    {
        Q_UNUSED(settingsNamespace);
        const bool value = key == QLatin1String("high-contrast") ? bool(highContrast) : bool(animationsEnabled);
        // Portals wrap the value in a variant inside the variant reply.
        return QDBusVariant(QVariant::fromValue(QDBusVariant(value)));
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
        if (!m_process.waitForStarted(tovarine::test::kHangCeilingMs) ||
            !m_process.waitForReadyRead(tovarine::test::kHangCeilingMs)) {
            return;
        }
        m_address = QString::fromUtf8(m_process.readLine()).trimmed();
    }
    ~PrivateBus()
    {
        m_process.kill();
        m_process.waitForFinished(tovarine::test::kHangCeilingMs);
    }
    const QString& address() const { return m_address; }

private:
    QProcess m_process;
    QString m_address;
};

} // namespace

TEST(PortalAccessibilityReader, NoSessionBusLeavesEveryOptionFalse)
{
    const QDBusConnection none =
        QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"), QStringLiteral("none"));
    ASSERT_FALSE(none.isConnected());
    PortalAccessibilityReader reader(none);
    EXPECT_EQ(reader.options(), DesktopAccessibilityOptions{});
    EXPECT_TRUE(reader.firstReadDone());
}

TEST(PortalAccessibilityReader, ValueShapesFromThePortal)
{
    using R = PortalAccessibilityReader;
    EXPECT_EQ(R::booleanFromValue(QVariant(false)), false);
    EXPECT_EQ(R::booleanFromValue(QVariant(true)), true);
    EXPECT_EQ(R::booleanFromValue(QVariant::fromValue(QDBusVariant(false))), false);
    EXPECT_EQ(R::booleanFromValue(QVariant::fromValue(QDBusVariant(QVariant::fromValue(QDBusVariant(true))))),
              true);
    EXPECT_FALSE(R::booleanFromValue(QVariant(QStringLiteral("no"))).has_value());
    EXPECT_FALSE(R::booleanFromValue(QVariant()).has_value());
}

TEST(PortalAccessibilityReader, ReadsWithoutBlockingThenFollowsThePortal)
{
    PrivateBus bus;
    if (bus.address().isEmpty()) {
        GTEST_SKIP() << "dbus-daemon is not available";
    }
    auto portal = std::make_unique<FakePortalSettings>(nullptr); // outlives the thread it lives in
    QThread serviceThread;
    serviceThread.start();
    const auto stopThread = qScopeGuard([&serviceThread] {
        serviceThread.quit();
        serviceThread.wait();
    });
    QDBusConnection service = QDBusConnection::connectToBus(bus.address(), QStringLiteral("portal"));
    ASSERT_TRUE(service.isConnected());
    portal->animationsEnabled = false;
    portal->highContrast = true;
    portal->moveToThread(&serviceThread);
    ASSERT_TRUE(service.registerObject(QStringLiteral("/org/freedesktop/portal/desktop"), portal.get(),
                                       QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(service.registerService(QStringLiteral("org.freedesktop.portal.Desktop")));

    QDBusConnection connection = QDBusConnection::connectToBus(bus.address(), QStringLiteral("reader"));
    ASSERT_TRUE(connection.isConnected());
    PortalAccessibilityReader reader(connection);
    // Nothing is known until the asynchronous first reads answer.
    EXPECT_FALSE(reader.firstReadDone());
    EXPECT_EQ(reader.options(), DesktopAccessibilityOptions{});
    QSignalSpy first(&reader, &PortalAccessibilityReader::firstReadFinished);
    ASSERT_TRUE(first.wait(tovarine::test::kHangCeilingMs));
    EXPECT_EQ(reader.options(), (DesktopAccessibilityOptions{true, false, true}));

    QSignalSpy spy(&reader, &DesktopAccessibilityReader::optionsChanged);
    const auto emitChange = [&](const QString& ns, const QString& key, bool value) {
        QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/portal/desktop"),
                                                         QStringLiteral("org.freedesktop.portal.Settings"),
                                                         QStringLiteral("SettingChanged"));
        signal << ns << key << QVariant::fromValue(QDBusVariant(value));
        service.send(signal);
    };
    emitChange(QStringLiteral("org.gnome.desktop.interface"), QStringLiteral("font-name"), true); // ignored
    emitChange(QStringLiteral("org.gnome.desktop.interface"), QStringLiteral("enable-animations"), true);
    ASSERT_TRUE(spy.wait(tovarine::test::kHangCeilingMs));
    EXPECT_EQ(reader.options(), (DesktopAccessibilityOptions{true, false, false}));
    emitChange(QStringLiteral("org.gnome.desktop.a11y.interface"), QStringLiteral("high-contrast"), false);
    ASSERT_TRUE(spy.wait(tovarine::test::kHangCeilingMs));
    EXPECT_EQ(spy.count(), 2);
    EXPECT_EQ(reader.options(), DesktopAccessibilityOptions{});

    service.unregisterObject(QStringLiteral("/org/freedesktop/portal/desktop"));
    QDBusConnection::disconnectFromBus(QStringLiteral("portal"));
    QDBusConnection::disconnectFromBus(QStringLiteral("reader"));
}

#include "DesktopAccessibilityReaderTest.moc"
