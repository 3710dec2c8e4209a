#include "IntakeTestSupport.h"

#include "PendingModelSet.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace tovarine::test {

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

void makeFolderWithFiles(const QString& path, const QStringList& names)
{
    QDir().mkpath(path);
    for (const QString& name : names) {
        writeFile(QDir(path).filePath(name), name.toUtf8());
    }
}

QStringList numberedNames(const QString& prefix, int count, const QString& extension)
{
    QStringList names;
    for (int i = 0; i < count; ++i) {
        names.append(QStringLiteral("%1%2.%3").arg(prefix).arg(i, 5, 10, QLatin1Char('0')).arg(extension));
    }
    return names;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool commitKilledAtRename(const QString& resultDir, const QMap<QString, QByteArray>& files, int killAtRename)
{
    const pid_t child = ::fork();
    if (child < 0) {
        return false;
    }
    if (child == 0) {
        // The child never returns into the test: it dies of the kill, or leaves at once without running
        // destructors that would touch the parent's temporary folders.
        auto models = PendingModelSet::create(resultDir);
        if (!models) {
            ::_exit(2);
        }
        for (auto it = files.begin(); it != files.end(); ++it) {
            if (!writeFile(models->filePath(it.key()), it.value())) {
                ::_exit(3);
            }
        }
        PendingModelSet::setBeforeRenameHookForTests([killAtRename](int renameIndex) {
            if (renameIndex == killAtRename) {
                ::raise(SIGKILL);
            }
        });
        (void)models->commit();
        ::_exit(0);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            return false;
        }
    }
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

} // namespace tovarine::test
