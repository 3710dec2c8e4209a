#include "AppInstallation.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>

namespace tovarine::AppInstallation {

QIcon applicationIcon(const QString& executableDir)
{
    const QDir dir(executableDir);
    QIcon icon;
    for (int size : {16, 32, 64, 128, 256, 512}) {
        const QString n = QString::number(size);
        const QString installed =
            dir.filePath(QStringLiteral("../share/icons/hicolor/%1x%1/apps/%2.png").arg(n, kDesktopId));
        const QString built = dir.filePath(QStringLiteral("icons/%1_%2.png").arg(kDesktopId, n));
        for (const QString& path : {installed, built}) {
            if (QFileInfo::exists(path)) {
                icon.addFile(QDir::cleanPath(path), QSize(size, size));
                break;
            }
        }
    }
    return icon;
}

void applyIdentity()
{
    QGuiApplication::setDesktopFileName(kDesktopId);
    const QIcon icon = applicationIcon(QCoreApplication::applicationDirPath());
    if (!icon.isNull()) {
        QGuiApplication::setWindowIcon(icon);
    }
}

} // namespace tovarine::AppInstallation
