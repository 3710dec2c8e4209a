#include "HangCeiling.h"
#include "OstrelIconGenerator.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QUrl>
#include <gtest/gtest.h>

// Folder and application-file icons as the desktop's file managers find them: a program sets them over a
// private session bus on which GVfs's metadata daemon starts when asked (as on a desktop session), and the
// desktop's own `gio` tool reads the stored metadata back in another process; KDE's settings file is read
// with Qt's reader of the same syntax. Skipped where GVfs or the bus daemon is not installed.

using namespace ostrel;

namespace {

const QString kBusDaemon = QStringLiteral("/usr/bin/dbus-daemon");
const QString kGio = QStringLiteral("/usr/bin/gio");
const QString kMetadataDaemon = QStringLiteral("/usr/libexec/gvfsd-metadata");
const QString kGvfsModule = QStringLiteral(TOVARINE_GIO_MODULE_DIR "/libgvfsdbus.so");
const QString kEmoji = QStringLiteral("🦊");

// A bus that starts no service: no file metadata daemon on it.
const char kBareBusConfig[] =
    R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:tmpdir=/tmp</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";

QString missingTools()
{
    for (const QString& tool : {kBusDaemon, kGio, kMetadataDaemon, kGvfsModule}) {
        if (!QFileInfo::exists(tool)) {
            return tool +
                   QStringLiteral(" is not installed (dbus-daemon, libglib2.0-bin, gvfs-daemons, gvfs)");
        }
    }
    return {};
}

// A private session bus with a user data folder and runtime folder of its own, so the metadata it stores is
// not the user's; it, and the services it started, end with this object.
class PrivateSessionBus
{
public:
    // `bare`: a bus that starts no services; otherwise the desktop's session bus configuration.
    explicit PrivateSessionBus(bool bare)
    {
        QDir(m_root.path()).mkpath(QStringLiteral("data"));
        QDir(m_root.path()).mkpath(QStringLiteral("runtime"));
        QFile::setPermissions(m_root.filePath(QStringLiteral("runtime")),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_environment = QProcessEnvironment::systemEnvironment();
        m_environment.insert(QStringLiteral("XDG_DATA_HOME"), m_root.filePath(QStringLiteral("data")));
        m_environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_root.filePath(QStringLiteral("runtime")));
        m_environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        QStringList args{QStringLiteral("--nofork"), QStringLiteral("--print-address=1")};
        if (bare) {
            const QString config = m_root.filePath(QStringLiteral("bare-bus.conf"));
            QFile file(config);
            if (!file.open(QIODevice::WriteOnly) || file.write(kBareBusConfig) < 0) {
                m_problem = QStringLiteral("could not write ") + config;
                return;
            }
            file.close();
            args << QStringLiteral("--config-file=") + config;
        } else {
            args << QStringLiteral("--session");
        }
        m_daemon.setProcessEnvironment(m_environment);
        m_daemon.start(kBusDaemon, args);
        if (!m_daemon.waitForStarted(tovarine::test::kHangCeilingMs)) {
            m_problem = QStringLiteral("the private session bus did not start");
            return;
        }
        while (!m_daemon.canReadLine() && m_daemon.state() == QProcess::Running) {
            m_daemon.waitForReadyRead(tovarine::test::kHangCeilingMs);
        }
        if (!m_daemon.canReadLine()) {
            m_problem = QStringLiteral("the private session bus did not start: ") +
                        QString::fromLocal8Bit(m_daemon.readAllStandardError());
            return;
        }
        m_environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                             QString::fromLocal8Bit(m_daemon.readLine()).trimmed());
        m_environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    }
    ~PrivateSessionBus()
    {
        if (m_daemon.state() != QProcess::NotRunning) {
            m_daemon.terminate();
            if (!m_daemon.waitForFinished(tovarine::test::kHangCeilingMs)) {
                m_daemon.kill();
                m_daemon.waitForFinished();
            }
        }
    }

    const QString& problem() const { return m_problem; }
    QString dataFolder() const { return m_root.filePath(QStringLiteral("data")); }

    // Runs `program` on this bus; its standard output, or a failure naming its standard error.
    ::testing::AssertionResult run(const QString& program, const QStringList& args, QString& output) const
    {
        QProcess process;
        process.setProcessEnvironment(m_environment);
        process.start(program, args);
        process.closeWriteChannel();
        if (!process.waitForFinished(tovarine::test::kHangCeilingMs) ||
            process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
            return ::testing::AssertionFailure()
                   << program.toStdString() << " failed: " << process.readAllStandardError().toStdString();
        }
        output = QString::fromUtf8(process.readAllStandardOutput());
        return ::testing::AssertionSuccess();
    }

    // What the icon host says for "folder" and "application".
    ::testing::AssertionResult setIcons(const QString& folder, QString& folderResult,
                                        QString& applicationResult) const
    {
        QString output;
        auto ran = run(QStringLiteral(TOVARINE_FILE_ICON_HOST), {kEmoji, folder}, output);
        if (!ran) {
            return ran;
        }
        const auto field = [&](const QString& name) {
            const QRegularExpression line(QStringLiteral("^%1: (.*)$").arg(name),
                                          QRegularExpression::MultilineOption);
            return line.match(output).captured(1);
        };
        folderResult = field(QStringLiteral("folder"));
        applicationResult = field(QStringLiteral("application"));
        return ::testing::AssertionSuccess();
    }

    // The file's metadata::custom-icon as the desktop's `gio` tool reads it; empty when it has none.
    QString customIcon(const QString& path) const
    {
        QString output;
        if (!run(
                kGio,
                {QStringLiteral("info"), QStringLiteral("-a"), QStringLiteral("metadata::custom-icon"), path},
                output)) {
            return {};
        }
        return QRegularExpression(QStringLiteral("metadata::custom-icon: (\\S+)")).match(output).captured(1);
    }

private:
    QTemporaryDir m_root;
    QProcess m_daemon;
    QProcessEnvironment m_environment;
    QString m_problem;
};

// The image a custom-icon URI points at is the emoji drawn at 512 pixels.
void expectEmojiImage(const QString& uri, const QString& where)
{
    SCOPED_TRACE(uri.toStdString());
    const QUrl url(uri);
    ASSERT_TRUE(url.isLocalFile());
    const QString path = url.toLocalFile();
    EXPECT_EQ(path.toStdString(), where.toStdString());
    QImage image(path);
    ASSERT_FALSE(image.isNull()) << "not a readable image";
    EXPECT_EQ(image.size(), QSize(512, 512));
    EXPECT_EQ(image.convertToFormat(QImage::Format_ARGB32),
              OstrelIconGenerator::renderEmoji(kEmoji, 512).convertToFormat(QImage::Format_ARGB32));
}

} // namespace

TEST(FileIconBus, FolderAndApplicationFileShowTheEmojiInBothKindsOfFileManagers)
{
    if (const QString missing = missingTools(); !missing.isEmpty()) {
        GTEST_SKIP() << missing.toStdString();
    }
    PrivateSessionBus bus(false);
    if (!bus.problem().isEmpty()) {
        GTEST_SKIP() << "no private session bus: " << bus.problem().toStdString();
    }
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("My Photos"));
    ASSERT_TRUE(QDir().mkpath(folder));
    // A settings file the user's file manager already keeps for the folder.
    {
        QFile settings(folder + QStringLiteral("/.directory"));
        ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
        settings.write("[Dolphin]\nViewMode=1\n");
    }

    QString folderResult;
    QString applicationResult;
    ASSERT_TRUE(bus.setIcons(folder, folderResult, applicationResult));
    EXPECT_EQ(folderResult.toStdString(), "");
    EXPECT_EQ(applicationResult.toStdString(), "");

    const QString folderImage = folder + QStringLiteral("/.folder-icon.png");
    expectEmojiImage(bus.customIcon(folder), folderImage);
    QSettings settings(folder + QStringLiteral("/.directory"), QSettings::IniFormat);
    EXPECT_EQ(settings.value(QStringLiteral("Desktop Entry/Icon")).toString().toStdString(),
              folderImage.toStdString());
    EXPECT_EQ(settings.value(QStringLiteral("Dolphin/ViewMode")).toInt(), 1);

    // The application's file keeps its image in the application's own data folder.
    expectEmojiImage(bus.customIcon(QStringLiteral(TOVARINE_FILE_ICON_HOST)),
                     bus.dataFolder() +
                         QStringLiteral("/tovarine-tests/ostrel-file-icon-host/application-file-icon.png"));
}

// Without a metadata daemon on the session bus: the result says GVfs's file managers will not show the icon,
// and KDE's settings file still gets it.
TEST(FileIconBus, SaysWhichFileManagersWillNotShowTheIcon)
{
    if (const QString missing = missingTools(); !missing.isEmpty()) {
        GTEST_SKIP() << missing.toStdString();
    }
    PrivateSessionBus bus(true);
    if (!bus.problem().isEmpty()) {
        GTEST_SKIP() << "no private session bus: " << bus.problem().toStdString();
    }
    QTemporaryDir dir;
    QString folderResult;
    QString applicationResult;
    ASSERT_TRUE(bus.setIcons(dir.path(), folderResult, applicationResult));
    for (const QString& result : {folderResult, applicationResult}) {
        EXPECT_TRUE(result.contains(QStringLiteral("GVfs file managers will not show the icon")))
            << result.toStdString();
        EXPECT_TRUE(result.contains(QStringLiteral("metadata daemon on the session bus")))
            << result.toStdString();
        EXPECT_FALSE(result.contains(QStringLiteral("KDE"))) << result.toStdString();
    }
    EXPECT_TRUE(folderResult.contains(dir.path()));
    const QString folderImage = dir.filePath(QStringLiteral(".folder-icon.png"));
    EXPECT_EQ(QImage(folderImage).size(), QSize(512, 512));
    EXPECT_EQ(QSettings(dir.filePath(QStringLiteral(".directory")), QSettings::IniFormat)
                  .value(QStringLiteral("Desktop Entry/Icon"))
                  .toString()
                  .toStdString(),
              folderImage.toStdString());
}
