#pragma once

#include <QString>

#include <optional>

// File handling shared by the kit's exporters. Stateless; any thread.
namespace ostrel::MeshExportFiles {

// Whether `name` may be used as a file name inside the target folder: it holds no path separator ('/' or
// '\'), no NUL and no "..", so a name can never reach outside the folder, and no line break (see
// isLineBreak), so the same name written into a line-based file stays on its line.
bool isSafeName(const QString& name);

// The message of an export refused for its name (one that isSafeName refuses).
QString unsafeNameMessage();

// Line feed, vertical tab, form feed, carriage return, next line (U+0085), line separator (U+2028) and
// paragraph separator (U+2029): what one reader or another takes as the end of a line.
bool isLineBreak(QChar c);

// `text` with every line break (CR LF counting as one) replaced by a space, for names written inside a line
// of a text file.
QString singleLine(QString text);

// The folder an export writes into: `directory`, or when absent the user's desktop folder under the name the
// desktop gives it (XDG_DESKTOP_DIR, so "~/Schreibtisch" on a German desktop; ~/Desktop when none is named).
// The folder is not created: empty, with `error` set to a message naming it, when it does not exist.
QString targetDirectory(const std::optional<QString>& directory, QString* error);

// Writes `size` bytes to `path` through a temporary file renamed over the target, so a reader never sees a
// half-written file and a failed write leaves any earlier file as it was. Returns whether it succeeded; on
// failure `error`, when given, says why, naming the path.
bool writeAtomically(const QString& path, const char* data, qint64 size, QString* error = nullptr);

} // namespace ostrel::MeshExportFiles
