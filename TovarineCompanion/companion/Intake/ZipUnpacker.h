#pragma once

#include "Expected.h"

#include <QString>
#include <QtGlobal>
#include <atomic>

// Unpacks a capture zip in-process (libarchive), as a hostile zip cannot hurt: entry names are taken
// literally (no pattern matching), only regular files and folders are written (links, hard links, devices
// and pipes are skipped), no entry leaves the destination ("..", absolute names), and the declared sizes are
// checked against the free space and a plausible compression ratio before anything is written, and held to
// while writing. Blocking: run it on a worker thread (any thread).
namespace tovarine::ZipUnpacker {

struct Limits
{
    // A zip may expand to this many times its own size. Captures are JPEG frames that barely compress
    // (about 1:1); a zip far past this is a bomb or damaged.
    double maxExpansionRatio = 100.0;
    // Below this total the ratio is not checked: a small zip of text compresses well and costs nothing.
    qint64 ratioFreeBytes = 64LL << 20;
    // Space left free on the temporary folder's file system after unpacking.
    qint64 reserveBytes = 64LL << 20;
    // Free bytes on the destination's file system; negative: ask the file system.
    qint64 freeBytesOverride = -1;
};

// Unpacks `zipPath` into `destination`, which is created (mode 0700) and must not exist. Error: the reason
// without the "Couldn't unzip: " prefix (libarchive's text for a damaged or encrypted zip; "not enough space
// on <folder> …"; "… claims to unpack to …"). On an error or when `abandoned` is set, what was unpacked is
// removed again.
Expected<void, QString> unpack(const QString& zipPath, const QString& destination,
                               const std::atomic<bool>* abandoned = nullptr, const Limits& limits = {});

} // namespace tovarine::ZipUnpacker
