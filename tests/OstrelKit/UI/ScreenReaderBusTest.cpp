#include "HangCeiling.h"
#include "ScreenReaderNumbers.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QUuid>
#include <functional>
#include <string>
#include <gtest/gtest.h>

// The kit's sliders as a screen reader on this desktop meets them: a program showing them joins a private
// accessibility bus (a private session bus with the AT-SPI bus launcher) through Qt's AT-SPI bridge, and the
// test reads over that bus what the screen reader reads. Skipped where the buses cannot start.

namespace {

const QString kSessionDaemon = QStringLiteral("/usr/bin/dbus-daemon");
const QString kBusLauncher = QStringLiteral("/usr/libexec/at-spi-bus-launcher");
const QString kAccessible = QStringLiteral("org.a11y.atspi.Accessible");
const QString kRoot = QStringLiteral("/org/a11y/atspi/accessible/root");
constexpr uint kSliderRole = 51; // ATSPI_ROLE_SLIDER

// Runs the event loop until `done` holds or the hang ceiling passes; whether it held.
bool waitUntil(const std::function<bool()>& done)
{
    QDeadlineTimer deadline(tovarine::test::kHangCeilingMs);
    while (!done()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

// A private session bus and the accessibility bus its launcher starts; both end with this object.
class PrivateAccessibilityBus
{
public:
    PrivateAccessibilityBus()
    {
        if (!QFileInfo(kSessionDaemon).isExecutable() || !QFileInfo(kBusLauncher).isExecutable()) {
            m_problem = QStringLiteral("dbus-daemon or at-spi-bus-launcher (at-spi2-core) is not installed");
            return;
        }
        m_session.start(kSessionDaemon, {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                         QStringLiteral("--print-address=1")});
        if (!m_session.waitForStarted(tovarine::test::kHangCeilingMs) || !waitUntil([this] {
                return m_session.canReadLine() || m_session.state() != QProcess::Running;
            }) ||
            !m_session.canReadLine()) {
            m_problem = QStringLiteral("the private session bus did not start: ") +
                        QString::fromLocal8Bit(m_session.readAllStandardError());
            return;
        }
        m_sessionAddress = QString::fromLocal8Bit(m_session.readLine()).trimmed();
        // Its own runtime folder, so its socket is not the user's; no display, so it leaves the display's
        // root window (and every other program on it) alone.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_sessionAddress);
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
        environment.remove(QStringLiteral("DISPLAY"));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        m_launcher.setProcessEnvironment(environment);
        m_launcher.start(kBusLauncher, {QStringLiteral("--launch-immediately")});
        m_connectionName = QUuid::createUuid().toString();
        QDBusConnection session = QDBusConnection::connectToBus(m_sessionAddress, m_connectionName + "s");
        if (!session.isConnected() || !waitUntil([&] {
                return session.interface()->isServiceRegistered(QStringLiteral("org.a11y.Bus")).value() ||
                       m_launcher.state() == QProcess::NotRunning;
            }) ||
            m_launcher.state() == QProcess::NotRunning) {
            m_problem = QStringLiteral("the AT-SPI bus launcher did not start: ") +
                        QString::fromLocal8Bit(m_launcher.readAllStandardError());
            return;
        }
        const QDBusMessage reply = session.call(
            QDBusMessage::createMethodCall(QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
                                           QStringLiteral("org.a11y.Bus"), QStringLiteral("GetAddress")));
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
            m_problem = QStringLiteral("the accessibility bus has no address: ") + reply.errorMessage();
            return;
        }
        m_bus = QDBusConnection::connectToBus(reply.arguments().first().toString(), m_connectionName + "a");
        if (!m_bus.isConnected()) {
            m_problem =
                QStringLiteral("the accessibility bus did not answer: ") + m_bus.lastError().message();
        }
    }
    ~PrivateAccessibilityBus()
    {
        QDBusConnection::disconnectFromBus(m_connectionName + "a");
        QDBusConnection::disconnectFromBus(m_connectionName + "s");
        for (QProcess* process : {&m_launcher, &m_session}) {
            if (process->state() != QProcess::NotRunning) {
                process->terminate();
                if (!process->waitForFinished(tovarine::test::kHangCeilingMs)) {
                    process->kill();
                    process->waitForFinished();
                }
            }
        }
    }

    // Why the buses could not start; empty when they did.
    const QString& problem() const { return m_problem; }
    const QString& sessionAddress() const { return m_sessionAddress; }
    QString runtimeFolder() const { return m_runtime.path(); }
    QDBusConnection& bus() { return m_bus; }

private:
    QTemporaryDir m_runtime;
    QProcess m_session;
    QProcess m_launcher;
    QString m_connectionName;
    QString m_sessionAddress;
    QDBusConnection m_bus{QString()};
    QString m_problem;
};

QVariant property(QDBusConnection& bus, const QString& service, const QString& path, const QString& interface,
                  const QString& name)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        service, path, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    call << interface << name;
    const QDBusMessage reply = bus.call(call);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        return {};
    }
    return reply.arguments().first().value<QDBusVariant>().variant();
}

QDBusMessage callAccessible(QDBusConnection& bus, const QString& service, const QString& path,
                            const QString& method)
{
    return bus.call(QDBusMessage::createMethodCall(service, path, kAccessible, method));
}

// The object paths of the sliders under `path` in the application `service`, by accessible name.
void collectSliders(QDBusConnection& bus, const QString& service, const QString& path, int depth,
                    QMap<QString, QString>& sliders)
{
    const QDBusMessage role = callAccessible(bus, service, path, QStringLiteral("GetRole"));
    if (!role.arguments().isEmpty() && role.arguments().first().toUInt() == kSliderRole) {
        sliders.insert(property(bus, service, path, kAccessible, QStringLiteral("Name")).toString(), path);
    }
    if (depth > 16) {
        return;
    }
    const QDBusMessage children = callAccessible(bus, service, path, QStringLiteral("GetChildren"));
    if (children.arguments().isEmpty()) {
        return;
    }
    const QDBusArgument list = children.arguments().first().value<QDBusArgument>();
    QStringList paths;
    list.beginArray();
    while (!list.atEnd()) {
        QString childService;
        QDBusObjectPath childPath;
        list.beginStructure();
        list >> childService >> childPath;
        list.endStructure();
        paths << childPath.path();
    }
    list.endArray();
    for (const QString& child : paths) {
        collectSliders(bus, service, child, depth + 1, sliders);
    }
}

// Carries out the accessible action named `name` ("Increase", "Decrease") as an assistive tool does: by its
// index among the object's actions. Whether the object has it and took it.
bool doAction(QDBusConnection& bus, const QString& service, const QString& path, const QString& name)
{
    const QString action = QStringLiteral("org.a11y.atspi.Action");
    const int count = property(bus, service, path, action, QStringLiteral("NActions")).toInt();
    for (int i = 0; i < count; ++i) {
        QDBusMessage call = QDBusMessage::createMethodCall(service, path, action, QStringLiteral("GetName"));
        call << i;
        const QDBusMessage reply = bus.call(call);
        if (reply.arguments().isEmpty() || reply.arguments().first().toString() != name) {
            continue;
        }
        QDBusMessage run = QDBusMessage::createMethodCall(service, path, action, QStringLiteral("DoAction"));
        run << i;
        const QDBusMessage done = bus.call(run);
        return !done.arguments().isEmpty() && done.arguments().first().toBool();
    }
    return false;
}

} // namespace

TEST(ScreenReaderBus, SlidersGiveAScreenReaderTheDigitsTheyShowAndSwitchesWarnOfNothing)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        GTEST_SKIP() << "Qt's AT-SPI bridge runs on an X display only (run the tests under xvfb-run)";
    }
    PrivateAccessibilityBus buses;
    if (!buses.problem().isEmpty()) {
        GTEST_SKIP() << "no private accessibility bus: " << buses.problem().toStdString();
    }
    // A listener for every object event, as a screen reader registers: the bridge then announces changes
    // (and warns of a change it cannot announce).
    QDBusMessage listen = QDBusMessage::createMethodCall(
        QStringLiteral("org.a11y.atspi.Registry"), QStringLiteral("/org/a11y/atspi/registry"),
        QStringLiteral("org.a11y.atspi.Registry"), QStringLiteral("RegisterEvent"));
    listen << QStringLiteral("Object:") << QStringList() << QString();
    const QDBusMessage listening = buses.bus().call(listen);
    ASSERT_EQ(listening.type(), QDBusMessage::ReplyMessage) << listening.errorMessage().toStdString();

    QProcess host;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), buses.sessionAddress());
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), buses.runtimeFolder());
    environment.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    host.setProcessEnvironment(environment);
    host.start(QString::fromUtf8(TOVARINE_SPOKEN_SLIDER_HOST), {});
    ASSERT_TRUE(host.waitForStarted(tovarine::test::kHangCeilingMs));
    ASSERT_TRUE(waitUntil([&] { return host.canReadLine() || host.state() != QProcess::Running; }));
    ASSERT_EQ(host.readLine().trimmed(), QByteArray("ready")) << host.readAllStandardError().toStdString();

    // The host's connection on the accessibility bus, found by its process.
    QString service;
    const auto findHost = [&] {
        const QStringList names = buses.bus().interface()->registeredServiceNames().value();
        for (const QString& name : names) {
            if (name.startsWith(QLatin1Char(':')) &&
                buses.bus().interface()->servicePid(name).value() == uint(host.processId())) {
                service = name;
                return true;
            }
        }
        return false;
    };
    ASSERT_TRUE(waitUntil(findHost)) << "the host never joined the accessibility bus";
    QMap<QString, QString> sliders;
    ASSERT_TRUE(waitUntil([&] {
        sliders.clear();
        collectSliders(buses.bus(), service, kRoot, 0, sliders);
        return sliders.size() >= 6;
    })) << QStringList(sliders.keys()).join(", ").toStdString();

    struct Row
    {
        const char* name;
        double current; // the number shown
        const char* says;
    };
    // Shown "0.75 pt", "5000001.0 frames", "299pt", "1.0" (1.007 after one key), "0.75, Glossy".
    const Row rows[] = {{"Level", 0.75, "0.75"},
                        {"Frame", 5000001, "5000001.0"},
                        {"Sidebar Width", 299, "299"},
                        {"UI Scale", 1.0, "1.0"},
                        {"Surface shininess", 0.75, "0.75"}};
    const QString value = QStringLiteral("org.a11y.atspi.Value");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(sliders.contains(QString::fromLatin1(row.name)));
        const QString path = sliders.value(QString::fromLatin1(row.name));
        const QVariant current = property(buses.bus(), service, path, value, QStringLiteral("CurrentValue"));
        const QVariant increment =
            property(buses.bus(), service, path, value, QStringLiteral("MinimumIncrement"));
        ASSERT_TRUE(current.isValid());
        ASSERT_TRUE(increment.isValid());
        EXPECT_NEAR(current.toDouble(), row.current, 1e-9);
        EXPECT_EQ(tovarine::test::readerSays(current.toDouble(), increment.toDouble()),
                  QString::fromLatin1(row.says))
            << "increment " << increment.toDouble();
    }

    // Increase and Decrease, as switch access and voice control send them, one after another: a stepped
    // slider moves one step (as one arrow key), also where it has more steps than positions (Frame), and
    // stays at its end; a continuous one moves one unit of the digit it shows last. The reader still hears
    // the digits shown.
    struct Move
    {
        const char* name;
        const char* action;
        double after;
        const char* says;
    };
    const Move moves[] = {{"Level", "Increase", 1.0, "1.00"},
                          {"Level", "Increase", 1.0, "1.00"},
                          {"Level", "Decrease", 0.75, "0.75"},
                          {"Level", "Decrease", 0.5, "0.50"},
                          {"Frame", "Increase", 5000002, "5000002.0"},
                          {"Frame", "Decrease", 5000001, "5000001.0"},
                          {"Frame", "Decrease", 5000000, "5000000.0"},
                          {"Surface shininess", "Decrease", 0.74, "0.74"},
                          {"Sidebar Width", "Decrease", 298, "298"}};
    for (const Move& move : moves) {
        SCOPED_TRACE(std::string(move.name) + " " + move.action);
        const QString path = sliders.value(QString::fromLatin1(move.name));
        ASSERT_TRUE(doAction(buses.bus(), service, path, QString::fromLatin1(move.action)));
        const QVariant current = property(buses.bus(), service, path, value, QStringLiteral("CurrentValue"));
        const QVariant increment =
            property(buses.bus(), service, path, value, QStringLiteral("MinimumIncrement"));
        EXPECT_NEAR(current.toDouble(), move.after, 1e-9);
        EXPECT_EQ(tovarine::test::readerSays(current.toDouble(), increment.toDouble()).toStdString(), move.says);
    }

    // A switch changed while the screen reader listens: Qt warns of nothing.
    host.write("toggle\n");
    ASSERT_TRUE(waitUntil([&] { return host.canReadLine() || host.state() != QProcess::Running; }));
    ASSERT_EQ(host.readLine().trimmed(), QByteArray("toggled"));
    host.closeWriteChannel();
    ASSERT_TRUE(host.waitForFinished(tovarine::test::kHangCeilingMs));
    const QString said = QString::fromLocal8Bit(host.readAllStandardError());
    EXPECT_FALSE(said.contains(QStringLiteral("ValueChanged event and no ValueInterface")))
        << said.toStdString();
}
