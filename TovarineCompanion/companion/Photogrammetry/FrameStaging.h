#pragma once

#include "Expected.h"

#include <QString>
#include <QStringList>
#include <atomic>
#include <utility>
#include <vector>

namespace tovarine {

struct StagedFrames
{
    int frameCount = 0;
    int largestDimensionPx = 0; // the longest side among the frames (0 when no header could be read)
    // Each staged name (frame_00000.jpg …, in the frames' name order) with the frame's own name.
    std::vector<std::pair<QString, QString>> originalNames;
};

// Gathers the frames of a capture into the folder COLMAP reads, under names of our own (frame_00000.jpg …
// in the order of the frames' names, so a name with a newline or bytes that are not UTF-8 never reaches
// COLMAP's text files): jpg/jpeg files (any letter case) are linked, heic files are decoded and written as
// JPEG. Any thread.
namespace FrameStaging {

// Minimum number of frames a reconstruction can start from.
inline constexpr int kMinFrames = 3;

// Stages the frames of `inputFolder` (sorted by the bytes of their names) into `imagesFolder`, which must
// exist. Entries that are not regular files (after following links) are passed over, and so are jpg/jpeg
// files without a readable JPEG frame header. Error: a user-facing sentence (unreadable folder, no or too
// few frames, fewer than kMinFrames readable JPEG frames, naming the unreadable ones, an undecodable HEIC
// frame); a cancelled run returns an error whose text is empty.
Expected<StagedFrames, QString> stage(const QString& inputFolder, const QString& imagesFolder,
                                      const std::atomic<bool>* cancelled = nullptr);

// "The frames could not be read: <n> of <frameCount> <reason> (<the first five names> and <k> more)."
QString unreadableFramesMessage(const QStringList& frameNames, int frameCount, const QString& reason);

// Width and height from a JPEG file's frame header, however far into the file it is; {0, 0} when the file
// is not a JPEG or its markers before the frame header are broken.
std::pair<int, int> jpegSize(const QString& path);

// Decodes the primary image of a HEIC file and writes it as a JPEG (quality 95) at `jpegPath`.
Expected<std::pair<int, int>, QString> convertHeicToJpeg(const QString& heicPath, const QString& jpegPath);

} // namespace FrameStaging
} // namespace tovarine
