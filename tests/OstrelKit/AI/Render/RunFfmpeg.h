#pragma once

#include "HangCeiling.h"

#include <QProcess>
#include <QStringList>

namespace tovarine::test {

// Runs ffmpeg quietly with `arguments` (outputs overwritten); true when it ran and exited 0.
inline bool runFfmpeg(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral("ffmpeg"),
                  QStringList{QStringLiteral("-hide_banner"), QStringLiteral("-loglevel"),
                              QStringLiteral("error"), QStringLiteral("-y")} +
                      arguments);
    return process.waitForFinished(kHangCeilingMs) && process.exitCode() == 0;
}

} // namespace tovarine::test
