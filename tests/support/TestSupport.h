#pragma once

#include <QString>
#include <QTemporaryDir>

namespace tovarine::test {

// Path of a file under the repository's testdata/ folder.
QString testdataPath(const QString& relative);

// Points the application's settings at a fresh store inside `dir` for the rest of the test binary's life,
// so no test reads or writes the user's real settings. Any thread; call before the first settings access.
void useTemporarySettings(const QTemporaryDir& dir);

} // namespace tovarine::test
