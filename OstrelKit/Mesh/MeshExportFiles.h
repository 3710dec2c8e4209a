#pragma once

#include <QString>

#include <optional>

// File handling shared by the kit's exporters. Stateless; any thread.
namespace ostrel::MeshExportFiles {

// Whether `name` may be used as a file name inside the target folder: it holds no path separator ('/' or
// '\'), no NUL and no "..", so a name can never reach outside the folder, and no line break (see
// isLineBreak), so the same name written into a line-based file stays on its line.
bool isSafeName(const QString& name);

// Line feed, vertical tab, form feed, carriage return, next line (U+0085), line separator (U+2028) and
// paragraph separator (U+2029): what one reader or another takes as the end of a line.
bool isLineBreak(QChar c);

// `text` with every line break (CR LF counting as one) replaced by a space, for names written inside a line
// of a text file.
QString singleLine(QString text);

// `directory`, or when absent the folder "Desktop" in the user's home folder. The folder is not created.
QString targetDirectory(const std::optional<QString>& directory);

// Writes `size` bytes to `path` through a temporary file renamed over the target, so a reader never sees a
// half-written file and a failed write leaves any earlier file as it was. Returns whether it succeeded.
bool writeAtomically(const QString& path, const char* data, qint64 size);

} // namespace ostrel::MeshExportFiles
