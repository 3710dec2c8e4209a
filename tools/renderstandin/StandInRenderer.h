#pragma once

#include "QuorvantileSegmentTask.h"

#include <QString>
#include <QStringList>

namespace ostrel::renderstandin {

// A segment renderer for hosts in tests and benchmarks: writes the job to `workDirectory` and runs the
// stand-in render command on it, passing its "frames N" lines on as progress. `extraArguments` go to the
// command
// (--color, --frame-ms, --mode). Kills the command on cancel. The returned renderer is used on one thread.
QuorvantileSegmentRenderer standInRenderer(const QString& program, const QString& workDirectory,
                                           const QStringList& extraArguments = {});

// Where the build put the stand-in command.
QString standInProgram();

} // namespace ostrel::renderstandin
