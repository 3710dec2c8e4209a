#include "DesktopWorkspace.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

namespace tovarine {

namespace {

// The folder itself, or the folder holding a file; true when the desktop opened it.
bool openFolderOf(const QString& path)
{
    const QFileInfo info(path);
    const QString folder = info.isDir() ? path : info.absolutePath();
    return QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

} // namespace

bool DesktopWorkspace::openFile(const QString& path)
{
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void DesktopWorkspace::revealInFileManager(const QString& path, RevealDone done)
{
    const QString cleanPath = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    const auto fallBack = [cleanPath, done] {
        const bool opened = openFolderOf(cleanPath);
        if (done) {
            done(opened ? RevealOutcome::folderOpened : RevealOutcome::failed);
        }
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
