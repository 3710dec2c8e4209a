#pragma once

#include "HangCeiling.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <optional>

namespace tovarine::test {

// Path of a file under the repository's testdata/ folder.
QString testdataPath(const QString& relative);

// Points the application's settings at a fresh store inside `dir` for the rest of the test binary's life,
// so no test reads or writes the user's real settings. Any thread; call before the first settings access.
void useTemporarySettings(const QTemporaryDir& dir);

// Runs this test binary again for the one test `testName`, inside a user and mount namespace of its own
// (unshare -rm): the shell lines `setup` run first with $1 set to `folder` (to mount small or read-only file
// systems there), then the test runs with the environment variable `roleVariable` set to `folder`, which
// tells it to play its part. Its output goes to ours. Nothing when unshare is refused (the caller skips);
// else whether that run passed.
std::optional<bool> runInMountNamespace(const QString& testName, const QString& setup, const QString& folder,
                                        const QString& roleVariable);

// What a run of this test binary inside namespaces of its own printed, and whether it passed.
struct NamespaceRun
{
    bool passed = false;
    QByteArray output;
};

// Runs this test binary again for the tests matching `testFilter`, as `unshare <unshareOptions>` (for example
// "--net", or "--mount --propagation private" as root): the shell lines `setup` run first, then the tests run
// with the environment variable `roleVariable` set to 1, which tells them to play their part. Nothing when
// unshare or the setup is refused there (the caller skips); else the run's output and whether it passed.
std::optional<NamespaceRun> runInNamespaces(const QStringList& unshareOptions, const QString& setup,
                                            const QString& testFilter, const QString& roleVariable);

// A JPEG that is only a frame header of the given size, then the end of the image: enough for the fake
// colmap, which reads sizes, and for code that only looks at a frame's size.
QByteArray jpegFrameHeader(int width, int height);

} // namespace tovarine::test
