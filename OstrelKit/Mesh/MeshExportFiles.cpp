#include "MeshExportFiles.h"

#include <QDir>
#include <QSaveFile>

namespace ostrel::MeshExportFiles {

bool isSafeName(const QString& name)
{
    return !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\')) && !name.contains(QChar(0)) &&
           !name.contains(QLatin1String(".."));
}

QString targetDirectory(const std::optional<QString>& directory)
{
    return directory ? *directory : QDir(QDir::homePath()).filePath(QStringLiteral("Desktop"));
}

bool writeAtomically(const QString& path, const char* data, qint64 size)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    if (file.write(data, size) != size) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace ostrel::MeshExportFiles
