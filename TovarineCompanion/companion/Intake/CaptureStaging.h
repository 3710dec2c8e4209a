#pragma once

#include "Expected.h"

#include <QString>
#include <QtGlobal>
#include <atomic>
#include <memory>

// Lays a dropped capture out as a result folder: finds the frames, names and creates the result folder,
// copies the frames to its Images/ and carries label.txt and the phone's settings over. Blocking file work:
// run it on a worker thread (any thread; it touches only the file system).
namespace tovarine::CaptureStaging {

struct Request
{
    QString rootPath;      // the dropped folder, or the folder a zip was unpacked into
    QString tovarineDir;   // <desktop>/tovarine
    qint64 nowSeconds = 0; // names an empty-named drop
    // Set by the owner when the drop was abandoned; the copy then stops between files.
    std::shared_ptr<std::atomic<bool>> abandoned;
};

struct Staged
{
    QString resultDir; // <tovarineDir>/<name>
    QString imagesDir; // <resultDir>/Images, holding the frames
};

// Error: the user-facing sentence ("No Images/ folder with JPEG frames was found inside the drop." or
// "Couldn't stage frames: …", which names the folder that is not writable or short of space). The result
// folder is checked before anything is removed or copied: one safe name directly inside tovarineDir,
// writable, with room for the frames. A result folder dropped again (the found frames folder is already
// its Images/, under any spelling of the path) is used in place: nothing is removed or copied. Otherwise the
// frames are copied beside the result folder's Images/ and replace it only once the copy is complete, so a
// frames folder inside that Images/ survives, and a failed copy leaves the folder as it was.
Expected<Staged, QString> stage(const Request& request);

// Copies the folder `source` to `destination` (which must not exist); symbolic links are skipped, never
// followed, and so are sockets, pipes and devices. Copied files get the mode of a new file
// (DropIntakeRules::giveNewFileMode), not the source's. The whole
// source tree is listed before anything is written, so a destination inside the source is safe. Error: a
// sentence naming the path that failed ("not enough space on <folder>", "<folder> is not writable"); what
// was copied stays.
Expected<void, QString> copyFolder(const QString& source, const QString& destination,
                                   const std::atomic<bool>* abandoned = nullptr);

} // namespace tovarine::CaptureStaging
