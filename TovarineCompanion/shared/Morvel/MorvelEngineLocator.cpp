#include "MorvelEngineLocator.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>

namespace tovarine::MorvelEngineLocator {

namespace {

QMutex& overrideMutex()
{
    static QMutex mutex;
    return mutex;
}

std::optional<QString>& injectedFolder()
{
    static std::optional<QString> folder;
    return folder;
}

QString existingFolder(const QString& path)
{
    if (path.isEmpty()) {
        return {};
    }
    const QFileInfo info(path);
    return info.isDir() ? QDir::cleanPath(info.absoluteFilePath()) : QString();
}

} // namespace

QString engineFolder()
{
    {
        QMutexLocker lock(&overrideMutex());
        if (injectedFolder()) {
            return existingFolder(*injectedFolder());
        }
    }
    QStringList candidates;
    if (QCoreApplication::instance()) {
        const QString appDir = QCoreApplication::applicationDirPath();
        candidates << appDir + QStringLiteral("/MorvelEngine")
                   << appDir + QStringLiteral("/../share/tovarine-companion/MorvelEngine");
    }
    candidates << QStringLiteral(TOVARINE_MORVEL_ENGINE_BUILD_DIR);
    for (const QString& candidate : candidates) {
        const QString found = existingFolder(candidate);
        if (!found.isEmpty()) {
            return found;
        }
    }
    return {};
}

void setEngineFolderForTesting(const std::optional<QString>& folder)
{
    QMutexLocker lock(&overrideMutex());
    injectedFolder() = folder;
}

} // namespace tovarine::MorvelEngineLocator
