#include "DiskSpace.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <sys/statvfs.h>

namespace tovarine::DiskSpace {

QString formatBytes(qint64 bytes)
{
    if (bytes < 1000) {
        return QStringLiteral("%1 bytes").arg(bytes);
    }
    const char* units[] = {"KB", "MB", "GB", "TB"};
    double value = static_cast<double>(bytes);
    int unit = -1;
    while (value >= 1000.0 && unit < 3) {
        value /= 1000.0;
        ++unit;
    }
    return QStringLiteral("%1 %2").arg(QString::number(value, 'f', value < 10.0 ? 1 : 0),
                                       QLatin1String(units[unit]));
}

qint64 freeBytes(const QString& path)
{
    QString probe = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    while (!probe.isEmpty()) {
        struct statvfs info
        {
        };
        if (::statvfs(QFile::encodeName(probe).constData(), &info) == 0) {
            return static_cast<qint64>(info.f_bavail) * static_cast<qint64>(info.f_frsize);
        }
        if (errno != ENOENT || probe == QLatin1String("/")) {
            return -1;
        }
        probe = QFileInfo(probe).absolutePath();
    }
    return -1;
}

} // namespace tovarine::DiskSpace
