#include "MeshExportFiles.h"

#include <QDir>
#include <QSaveFile>

#include <algorithm>

namespace ostrel::MeshExportFiles {

bool isSafeName(const QString& name)
{
    return !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\')) &&
           !name.contains(QChar(0)) && !name.contains(QLatin1String("..")) &&
           std::none_of(name.cbegin(), name.cend(), isLineBreak);
}

bool isLineBreak(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 0x0A && u <= 0x0D) || u == 0x85 || u == 0x2028 || u == 0x2029;
}

QString singleLine(QString text)
{
    QString line;
    line.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!isLineBreak(text[i])) {
            line += text[i];
            continue;
        }
        line += QLatin1Char(' ');
        if (text[i] == QLatin1Char('\r') && i + 1 < text.size() && text[i + 1] == QLatin1Char('\n')) {
            ++i; // CR LF is one line break
        }
    }
    return line;
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
