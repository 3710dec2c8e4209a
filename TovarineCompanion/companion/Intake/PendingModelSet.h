#pragma once

#include "Expected.h"

#include <QString>
#include <functional>

namespace tovarine {

// The model files of one reconstruction until the run has completed. They are written into a private folder
// inside the result folder (".tovarine-model-<UUID>": the same file system, so moving a file out of it is a
// rename) and commit() moves them into the result folder together, replacing the earlier model set as a
// whole. A set that is never committed goes with its folder, so a cancelled or failed run leaves the earlier
// model exactly as it was and no temporary file behind. The owner holds a lock on the folder for the set's
// life; a folder whose lock nobody holds (its process died) is removed by the next create() in that result
// folder. Move-only; any thread, one thread at a time.
class PendingModelSet
{
public:
    // The files that make up one model in a result folder: model.usdz, model.obj, model.mtl and the OBJ's
    // texture model_diffuse.<extension>. Print-prep, cage and intake files are not members.
    static bool isMember(const QString& fileName);

    // Makes the private folder in `resultDir`, which must exist, after removing the ones that ended processes
    // left there. Error: a user-facing sentence naming the folder.
    static Expected<PendingModelSet, QString> create(const QString& resultDir);

    // For every result folder directly under `resultRoot` (links are not followed): finishes or rolls back
    // the commits that ended processes left half done, so that the folder holds one whole model set again,
    // and removes the private folders nobody holds any more. The folders of live sets (in this process or
    // another) are left alone. A missing root is nothing to do. Any thread; a listing per result folder.
    static void recoverResultFolders(const QString& resultRoot);

    // Test seam: called before each rename and each removal that commit(), discard() and
    // recoverResultFolders() make (in a commit: the earlier set's files aside, the marker that the new set is
    // moving in, the new set's files in, then the clean-up), so that a test can end the process at any of
    // them. Not thread-safe; set it only while none of them runs.
    static void setBeforeStepHookForTests(std::function<void()> hook);

    PendingModelSet(PendingModelSet&& other) noexcept;
    PendingModelSet& operator=(PendingModelSet&& other) noexcept;
    PendingModelSet(const PendingModelSet&) = delete;
    PendingModelSet& operator=(const PendingModelSet&) = delete;
    ~PendingModelSet(); // discard()

    // Where the member `fileName` is written before commit(): in the private folder.
    QString filePath(const QString& fileName) const;
    // Where it lands: in the result folder.
    QString resultPath(const QString& fileName) const;

    // Nothing, or the user-facing sentence when the set holds no model.usdz (the engine claimed completion
    // without writing one).
    Expected<void, QString> checkModel() const;

    // Removes what an OBJ export wrote into the set (model.obj, model.mtl, the texture), keeping model.usdz:
    // for an export that failed part-way.
    void dropObjFiles();

    // Moves the members written into the private folder into the result folder and removes the earlier set's
    // members the new set lacks (model.mtl and the texture when the new model has none, a texture of another
    // extension, model.obj when the export failed). The new set must hold model.usdz (checkModel). Once its
    // last file is in, the new set stands: a process ended at any later point (its clean-up) leaves it whole,
    // and before that recoverResultFolders() puts back the earlier set or finishes the new one. Error: a
    // user-facing sentence; the earlier set is then back as it was and the new files are gone. The private
    // folder is gone afterwards either way, unless putting the earlier set back failed too (the sentence then
    // names the folder that holds it).
    Expected<void, QString> commit();

    // Removes the private folder and everything written into it; the result folder is not touched.
    void discard();

private:
    PendingModelSet(QString resultDir, QString folder, int lockFd);

    QString m_resultDir;
    QString m_folder; // empty once committed or discarded
    int m_lockFd = -1;
};

} // namespace tovarine
