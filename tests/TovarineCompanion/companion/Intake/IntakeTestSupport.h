#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace tovarine::test {

// Writes `bytes` to `path`, creating its folder. Returns false when the file cannot be written.
bool writeFile(const QString& path, const QByteArray& bytes = QByteArray("x"));

// A frames folder at `path` with the given file names (each a few bytes).
void makeFolderWithFiles(const QString& path, const QStringList& names);

// `count` names "<prefix>00000.<extension>", "<prefix>00001.<extension>", ...
QStringList numberedNames(const QString& prefix, int count, const QString& extension = QStringLiteral("jpg"));

QByteArray readFile(const QString& path);

} // namespace tovarine::test
