#pragma once

#include "HangCeiling.h"
#include "MorvelScan.h"
#include "UsdzFile.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <functional>

namespace tovarine::test {

// Runs the event loop until `done` holds or `timeoutMs` passes; returns whether it held.
inline bool waitUntil(const std::function<bool()>& done, int timeoutMs = kHangCeilingMs)
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

// A copy of the stand-in engine in `dir` whose "standin-mode.txt" holds `mode` (a behaviour before the
// start).
inline QString standInCopyWithMode(const QTemporaryDir& dir, const QString& mode)
{
    const QString root = dir.filePath(QStringLiteral("MorvelEngine"));
    QDir().mkpath(root + QStringLiteral("/host"));
    QFile::copy(standInFolder() + QStringLiteral("/host/morvel_host.html"),
                root + QStringLiteral("/host/morvel_host.html"));
    QFile::copy(standInFolder() + QStringLiteral("/host/standin.js"),
                root + QStringLiteral("/host/standin.js"));
    QFile file(root + QStringLiteral("/standin-mode.txt"));
    file.open(QIODevice::WriteOnly);
    file.write(mode.toUtf8());
    return root;
}

// A result folder holding a unit-ish box scan as model.usdz (metres, +Y up); the top face is given twice, as
// two meshes merged would, so welding has work to do.
inline QString makeResultFolder(const QTemporaryDir& dir)
{
    ModelMesh mesh;
    mesh.positions = {0, 0,     0,     0.04f, 0,     0,     0.04f, 0.03f, 0,     0, 0.03f, 0,
                      0, 0,     0.02f, 0.04f, 0,     0.02f, 0.04f, 0.03f, 0.02f, 0, 0.03f, 0.02f,
                      0, 0.03f, 0,     0.04f, 0.03f, 0,     0.04f, 0.03f, 0.02f, 0, 0.03f, 0.02f};
    mesh.indices = {0, 2, 1, 0, 3, 2, 4, 5, 6, 4, 6, 7, 0, 1, 5, 0, 5,  4,  1, 2,  6,
                    1, 6, 5, 2, 3, 7, 2, 7, 6, 3, 0, 4, 3, 4, 7, 8, 11, 10, 8, 10, 9};
    const auto written = UsdzFile::write(mesh, QDir(dir.path()).filePath("model.usdz"));
    if (!written) {
        qFatal("%s", qPrintable(written.error()));
    }
    return dir.path();
}

// A small closed scan: a tetrahedron in millimetres.
MorvelScan tetrahedronScan();

} // namespace tovarine::test
