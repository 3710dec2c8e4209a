#include "IntakeTestSupport.h"

#include "PendingModelSet.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <csignal>
#include <functional>
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

namespace {

// Runs `work` in a child process that is killed just before the `killAtStep`th step (counted from 0) that
// PendingModelSet takes within it. `work` returns false when it could not be set up.
KillOutcome killedAtStep(int killAtStep,
                         const std::function<bool(const std::function<void()>& countSteps)>& work)
{
    const pid_t child = ::fork();
    if (child < 0) {
        return KillOutcome::failed;
    }
    if (child == 0) {
        // The child never returns into the test: it dies of the kill, or leaves at once without running
        // destructors that would touch the parent's temporary folders.
        const auto countSteps = [killAtStep] {
            int steps = 0;
            PendingModelSet::setBeforeStepHookForTests([steps, killAtStep]() mutable {
                if (steps++ == killAtStep) {
                    ::raise(SIGKILL);
                }
            });
        };
        ::_exit(work(countSteps) ? 0 : 2);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            return KillOutcome::failed;
        }
    }
    if (WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) {
        return KillOutcome::killed;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? KillOutcome::finished : KillOutcome::failed;
}

} // namespace

KillOutcome commitKilledAtStep(const QString& resultDir, const QMap<QString, QByteArray>& files,
                               int killAtStep)
{
    return killedAtStep(killAtStep, [&](const std::function<void()>& countSteps) {
        auto models = PendingModelSet::create(resultDir);
        if (!models) {
            return false;
        }
        for (auto it = files.begin(); it != files.end(); ++it) {
            if (!writeFile(models->filePath(it.key()), it.value())) {
                return false;
            }
        }
        // Only the commit's own steps are counted.
        countSteps();
        (void)models->commit();
        return true;
    });
}

KillOutcome repairKilledAtStep(const QString& resultRoot, int killAtStep)
{
    return killedAtStep(killAtStep, [&](const std::function<void()>& countSteps) {
        countSteps();
        PendingModelSet::recoverResultFolders(resultRoot);
        return true;
    });
}

QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

} // namespace tovarine::test
