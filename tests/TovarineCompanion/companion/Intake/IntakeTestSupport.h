#pragma once

#include <QByteArray>
#include <QMap>
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

// How a child process that was to be killed at a given step ended.
enum class KillOutcome {
    killed,   // it died of the kill at that step
    finished, // its work ended before that step was reached
    failed,   // it could not be set up, or ended in another way
};

// A crash in the middle of a model-set commit: a child process makes a pending set in `resultDir`, writes
// `files` (name to content) into it and commits it, and is killed (SIGKILL) just before the commit's step
// number `killAtStep`, counted from 0 (the earlier set's files go aside first, then the marker is written and
// the new ones come in, then the private folder is removed: see PendingModelSet::setBeforeStepHookForTests).
KillOutcome commitKilledAtStep(const QString& resultDir, const QMap<QString, QByteArray>& files,
                               int killAtStep);

// A crash in the middle of the start-up repair: a child process runs PendingModelSet::recoverResultFolders
// over `resultRoot` and is killed just before its step number `killAtStep`.
KillOutcome repairKilledAtStep(const QString& resultRoot, int killAtStep);

// Every entry of `folder`, hidden ones included, by name.
QStringList entries(const QString& folder);

} // namespace tovarine::test
