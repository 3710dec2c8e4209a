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

std::optional<NamespaceRun> runInNamespaces(const QStringList& unshareOptions, const QString& setup,
                                            const QString& testFilter, const QString& roleVariable)
{
    // A setup that fails exits 77, which tells "not possible here" apart from a test that failed.
    constexpr int kRefused = 77;
    QProcess inner;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(roleVariable, QStringLiteral("1"));
    inner.setProcessEnvironment(env);
    inner.setProcessChannelMode(QProcess::MergedChannels);
    inner.start(QStringLiteral("unshare"),
                unshareOptions +
                    QStringList{QStringLiteral("/bin/sh"), QStringLiteral("-c"),
                                QStringLiteral("{ %1; } || exit %2; exec \"$0\" --gtest_filter=%3")
                                    .arg(setup, QString::number(kRefused), testFilter),
                                QCoreApplication::applicationFilePath()});
    if (!inner.waitForStarted(kHangCeilingMs)) {
        return std::nullopt;
    }
    const bool finished = inner.waitForFinished(kHangCeilingMs);
    NamespaceRun run{finished && inner.exitStatus() == QProcess::NormalExit && inner.exitCode() == 0,
                     inner.readAll()};
    // unshare itself refused (no namespaces here), or the setup was.
    if (finished && !run.passed &&
        (inner.exitCode() == kRefused ||
         !run.output.contains(testFilter.section(QLatin1Char('.'), 0, 0).toUtf8()))) {
        return std::nullopt;
    }
    return run;
}

QByteArray jpegFrameHeader(int width, int height)
{
    QByteArray bytes("\xFF\xD8\xFF\xC0\x00\x11\x08", 7);
    bytes.append(char(height >> 8))
        .append(char(height & 0xFF))
        .append(char(width >> 8))
        .append(char(width & 0xFF));
    bytes.append(QByteArray(10, '\x01'));
    bytes.append("\xFF\xD9", 2);
    return bytes;
}

} // namespace tovarine::test
