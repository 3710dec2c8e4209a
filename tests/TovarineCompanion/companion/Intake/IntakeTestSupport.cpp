#include "IntakeTestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

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

} // namespace tovarine::test
