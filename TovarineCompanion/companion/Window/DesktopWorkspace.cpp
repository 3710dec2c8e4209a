#include "DesktopWorkspace.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>
#include <QUrl>
#include <memory>

namespace tovarine {

namespace {

// xdg-open hands the path to the desktop's own launcher and exits with its answer at once (0 opened, 3 no
// application or launcher, 4 the launch failed). Only where it knows no desktop does it run the application
// itself and return when that ends: one still running after this long has started it.
constexpr int kStillRunningMeansOpenedMs = 10000;

using OpenOutcome = Workspace::OpenOutcome;

void openWith(const QString& opener, const QString& path, const Workspace::OpenDone& done)
{
    // No parent and no time limit: the opener may be the user's application itself, which must outlive
    // this window. The object is deleted once its process ends.
    auto* process = new QProcess;
    process->setProgram(opener);
    process->setArguments({QFileInfo(path).absoluteFilePath()});
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    auto answered = std::make_shared<bool>(false);
    const auto answer = [answered, done](OpenOutcome outcome) {
        if (*answered) {
            return;
        }
        *answered = true;
        if (done) {
            done(outcome);
        }
    };
    QObject::connect(process, &QProcess::finished, process,
                     [process, answer](int exitCode, QProcess::ExitStatus status) {
                         answer(status == QProcess::NormalExit && exitCode == 0 ? OpenOutcome::opened
                                                                                : OpenOutcome::failed);
                         process->deleteLater();
                     });
    QObject::connect(process, &QProcess::errorOccurred, process,
                     [process, answer](QProcess::ProcessError error) {
                         if (error == QProcess::FailedToStart) {
                             answer(OpenOutcome::failed);
                             process->deleteLater();
                         }
                     });
    QTimer::singleShot(kStillRunningMeansOpenedMs, process, [answer] { answer(OpenOutcome::opened); });
    process->start();
}

} // namespace

DesktopWorkspace::DesktopWorkspace(QString opener) : m_opener(std::move(opener)) {}

void DesktopWorkspace::openFile(const QString& path, OpenDone done)
{
    openWith(m_opener, path, done);
}

void DesktopWorkspace::revealInFileManager(const QString& path, RevealDone done)
{
    const QString cleanPath = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    const auto fallBack = [opener = m_opener, cleanPath, done] {
        const QFileInfo info(cleanPath);
        openWith(opener, info.isDir() ? cleanPath : info.absolutePath(), [done](OpenOutcome outcome) {
            if (done) {
                done(outcome == OpenOutcome::opened ? RevealOutcome::folderOpened : RevealOutcome::failed);
            }
        });
    };
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        fallBack();
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(cleanPath).toString()} << QString();
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished,
                     [fallBack, done](QDBusPendingCallWatcher* call) {
                         if (call->isError()) {
                             fallBack();
                         } else if (done) {
                             done(RevealOutcome::shown);
                         }
                         call->deleteLater();
                     });
}

} // namespace tovarine
