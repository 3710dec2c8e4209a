#include "PrivateTempFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QSet>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tovarine::PrivateTempFolder {

namespace {

const char* const kLockName = ".in-use";

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

Expected<QString, QString> ensure(const QString& tempDir)
{
    const QString path = QDir(tempDir).filePath(QStringLiteral("tovarine-%1").arg(::geteuid()));
    const QByteArray native = QFile::encodeName(path);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST) {
        return unexpected(
            QStringLiteral("The temporary folder %1 could not be created: %2").arg(path, systemError(errno)));
    }
    // Opened without following a link, then checked through the descriptor: nothing can be swapped between
    // the check and the use.
    const int fd = ::open(native.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return unexpected(QStringLiteral("The temporary folder %1 is not a usable folder: %2")
                              .arg(path, systemError(errno)));
    }
    struct stat info
    {
    };
    const bool statted = ::fstat(fd, &info) == 0;
    QString problem;
    if (!statted) {
        problem = systemError(errno);
    } else if (info.st_uid != ::geteuid()) {
        problem =
            QStringLiteral("The temporary folder %1 belongs to another user; remove it or ask its owner "
                           "to.")
                .arg(path);
    } else if ((info.st_mode & 077) != 0 && ::fchmod(fd, 0700) != 0) {
        problem = QStringLiteral("The temporary folder %1 is open to other users and could not be made "
                                 "private: %2")
                      .arg(path, systemError(errno));
    }
    ::close(fd);
    if (!problem.isEmpty()) {
        return unexpected(problem);
    }
    return path;
}

int sweepLeftovers(const QString& privateDir)
{
    static QMutex mutex;
    static QSet<QString> seen;
    const QMutexLocker locker(&mutex);
    if (seen.contains(privateDir)) {
        return 0;
    }
    seen.insert(privateDir);

    // Held for the life of the process (the descriptor is never closed): a later instance sees it and leaves
    // this one's folders alone; the kernel drops it when the process dies, however it dies.
    const QByteArray lockPath = QFile::encodeName(QDir(privateDir).filePath(QLatin1String(kLockName)));
    const int fd = ::open(lockPath.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        return 0;
    }
    const bool alone = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    int removed = 0;
    if (alone) {
        QDir dir(privateDir);
        QStringList leftovers;
        const QStringList entries =
            dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        for (const QString& entry : entries) {
            if (entry == QLatin1String("tovarine-drop")) {
                const QDir drops(dir.filePath(entry));
                for (const QString& unpacked :
                     drops.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
                    leftovers.append(drops.filePath(unpacked));
                }
            } else if (entry.startsWith(QLatin1String("tovarine-"))) {
                leftovers.append(dir.filePath(entry));
            }
        }
        for (const QString& leftover : leftovers) {
            const QFileInfo info(leftover);
            const bool gone = info.isDir() && !info.isSymLink() ? QDir(leftover).removeRecursively()
                                                                : QFile::remove(leftover);
            removed += gone ? 1 : 0;
        }
    }
    ::flock(fd, LOCK_SH);
    return removed;
}

} // namespace tovarine::PrivateTempFolder
