#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <functional>

#include "MorvelScan.h"

namespace tovarine::test {

// Runs the event loop until `done` holds or `timeoutMs` passes; returns whether it held.
inline bool waitUntil(const std::function<bool()>& done, int timeoutMs = 30000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

inline QString standInFolder()
{
    return QStringLiteral(TOVARINE_TESTDATA_DIR "/morvel-standin");
}

// A copy of the stand-in engine in `dir` whose "standin-mode.txt" holds `mode` (a behaviour before the start).
inline QString standInCopyWithMode(const QTemporaryDir& dir, const QString& mode)
{
    const QString root = dir.filePath(QStringLiteral("MorvelEngine"));
    QDir().mkpath(root + QStringLiteral("/host"));
    QFile::copy(standInFolder() + QStringLiteral("/host/morvel_host.html"), root + QStringLiteral("/host/morvel_host.html"));
    QFile::copy(standInFolder() + QStringLiteral("/host/standin.js"), root + QStringLiteral("/host/standin.js"));
    QFile file(root + QStringLiteral("/standin-mode.txt"));
    file.open(QIODevice::WriteOnly);
    file.write(mode.toUtf8());
    return root;
}

// A small closed scan: a tetrahedron in millimetres.
MorvelScan tetrahedronScan();

} // namespace tovarine::test
