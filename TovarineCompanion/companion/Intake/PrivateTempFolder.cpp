#include "PrivateTempFolder.h"

#include "OstrelFileNames.h"

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

namespace {

// Opens the folder's lock file the first time this process asks for `privateDir`; -1 when it was asked for
// before or the file cannot be opened. The descriptor is never closed: its lock lasts for the life of the
// process, and the kernel drops it when the process dies, however it dies.
int openLockOnce(const QString& privateDir)
{
    static QMutex mutex;
    static QSet<QString> seen;
    const QMutexLocker locker(&mutex);
    if (seen.contains(privateDir)) {
        return -1;
    }
    seen.insert(privateDir);
    const QByteArray lockPath = QFile::encodeName(QDir(privateDir).filePath(QLatin1String(kLockName)));
    return ::open(lockPath.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
}

} // namespace

void holdInUse(const QString& privateDir)
{
    const int fd = openLockOnce(privateDir);
    if (fd >= 0) {
        ::flock(fd, LOCK_SH);
    }
}

int sweepLeftovers(const QString& privateDir)
{
    // Held for the life of the process: a later instance sees it and leaves this one's folders alone.
    const int fd = openLockOnce(privateDir);
    if (fd < 0) {
        return 0;
    }
    const bool alone = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    int removed = 0;
    if (alone) {
        // Listed names are removed: joined as text, none is taken for a resource path.
        using ostrel::OstrelFileNames::childPath;
        QDir dir(privateDir);
        QStringList leftovers;
        const QStringList entries =
            dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        for (const QString& entry : entries) {
            if (entry == QLatin1String("tovarine-drop")) {
                const QString dropsPath = childPath(privateDir, entry);
                const QDir drops(dropsPath);
                for (const QString& unpacked :
                     drops.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
                    leftovers.append(childPath(dropsPath, unpacked));
                }
            } else if (entry.startsWith(QLatin1String("tovarine-"))) {
                leftovers.append(childPath(privateDir, entry));
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
