#include "TestSupport.h"

#include <QCoreApplication>
#include <QProcess>
#include <QSettings>

namespace tovarine::test {

QString testdataPath(const QString& relative)
{
    return QStringLiteral(TOVARINE_TESTDATA_DIR "/") + relative;
}

void useTemporarySettings(const QTemporaryDir& dir)
{
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.path());
}

std::optional<bool> runInMountNamespace(const QString& testName, const QString& setup, const QString& folder,
                                        const QString& roleVariable)
{
    QProcess probe;
    probe.start(QStringLiteral("unshare"), {QStringLiteral("-rm"), QStringLiteral("true")});
    if (!probe.waitForFinished(kHangCeilingMs) || probe.exitStatus() != QProcess::NormalExit ||
        probe.exitCode() != 0) {
        return std::nullopt;
    }
    QProcess role;
    role.setProcessChannelMode(QProcess::ForwardedChannels);
    role.start(QStringLiteral("unshare"),
               {QStringLiteral("-rm"), QStringLiteral("/bin/sh"), QStringLiteral("-c"),
                QStringLiteral("set -e; %1; %2=\"$1\" exec \"$2\" --gtest_filter=%3")
                    .arg(setup, roleVariable, testName),
                QStringLiteral("sh"), folder, QCoreApplication::applicationFilePath()});
    return role.waitForFinished(kHangCeilingMs) && role.exitStatus() == QProcess::NormalExit &&
           role.exitCode() == 0;
}

} // namespace tovarine::test
