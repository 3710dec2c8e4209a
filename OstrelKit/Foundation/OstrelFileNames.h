#pragma once

#include <QString>

// Paths of files whose names come from outside text (object names, prefixes, source names, names sent by a
// peer). QDir::filePath and QFileInfo(QDir, name) take a name beginning with ':' for a Qt resource path and
// return it unchanged, so ":evil.obj" would land in the working folder; these join as plain text instead.
// Any thread; no state.
namespace ostrel::OstrelFileNames {

// Whether `name` is one entry of a folder: not empty, not "." or "..", and holding no '/' and no NUL. A
// leading ':' (or '-', or any other character) is part of a legal name.
bool isSingleComponent(const QString& name);

// `path` as a path Qt never takes for a resource: a relative path beginning with ':' gets "./" in front, so
// QFileInfo, QDir and QFile reach the folder or file of that name in the working folder. Any other path is
// returned unchanged.
QString plainPath(const QString& path);

// `folder` + "/" + `name` as text (one slash between them, also when `folder` ends in one), so the file is
// always inside `folder`. A relative folder beginning with ':' gets "./" in front, so the path can never be
// taken for a resource either. Empty when `folder` is empty or `name` is not a single component: nothing can
// be opened, created or removed through an empty path.
QString childPath(const QString& folder, const QString& name);

} // namespace ostrel::OstrelFileNames
