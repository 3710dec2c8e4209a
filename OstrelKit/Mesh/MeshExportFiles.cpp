#include "MeshExportFiles.h"

#include "OstrelFileNames.h"

#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>

namespace ostrel::MeshExportFiles {

bool isSafeName(const QString& name)
{
    return !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\')) &&
           !name.contains(QChar(0)) && !name.contains(QLatin1String("..")) &&
           std::none_of(name.cbegin(), name.cend(), isLineBreak);
}

QString unsafeNameMessage()
{
    return QStringLiteral(
        "Could not export: a file name may not hold '/', '\\', \"..\", NUL or a line break.");
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

QString targetDirectory(const std::optional<QString>& directory, QString* error)
{
    const QString folder =
        directory ? *directory : QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (folder.isEmpty()) {
        *error = directory ? QStringLiteral("Could not export: no folder was given.")
                           : QStringLiteral("Could not export: this desktop has no desktop folder.");
        return {};
    }
    // A relative folder beginning with ':' is a folder of the working folder, not a Qt resource.
    if (!QFileInfo(OstrelFileNames::plainPath(folder)).isDir()) {
        *error = directory
                     ? QStringLiteral("Could not export: the folder %1 does not exist.").arg(folder)
                     : QStringLiteral("Could not export: the desktop folder %1 does not exist.").arg(folder);
        return {};
    }
    return folder;
}

bool writeAtomically(const QString& path, const char* data, qint64 size, QString* error)
{
    QSaveFile file(path);
    const bool written = file.open(QIODevice::WriteOnly) && file.write(data, size) == size && file.commit();
    if (!written) {
        if (error) {
            *error = QStringLiteral("Could not write %1: %2").arg(path, file.errorString());
        }
        file.cancelWriting(); // when the write itself failed; the temporary file goes
    }
    return written;
}

} // namespace ostrel::MeshExportFiles
