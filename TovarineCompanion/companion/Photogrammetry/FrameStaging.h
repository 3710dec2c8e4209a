#pragma once

#include "Expected.h"

#include <QString>
#include <atomic>

namespace tovarine {

struct StagedFrames
{
    int frameCount = 0;
    int largestDimensionPx = 0; // the longest side among the frames (0 when no header could be read)
};

// Gathers the frames of a capture into the folder COLMAP reads: jpg/jpeg files (any letter case) are linked,
// heic files are decoded and written as JPEG. Any thread.
namespace FrameStaging {

// Minimum number of frames a reconstruction can start from.
inline constexpr int kMinFrames = 3;

// Stages the frames of `inputFolder` (sorted by name) into `imagesFolder`, which must exist. Error: a
// user-facing sentence (unreadable folder, no or too few frames, an undecodable HEIC frame); a cancelled run
// returns an error whose text is empty.
Expected<StagedFrames, QString> stage(const QString& inputFolder, const QString& imagesFolder,
                                      const std::atomic<bool>* cancelled = nullptr);

// Width and height from a JPEG file's frame header; {0, 0} when the file is not a readable JPEG.
std::pair<int, int> jpegSize(const QString& path);

// Decodes the primary image of a HEIC file and writes it as a JPEG (quality 95) at `jpegPath`.
Expected<std::pair<int, int>, QString> convertHeicToJpeg(const QString& heicPath, const QString& jpegPath);

} // namespace FrameStaging
} // namespace tovarine
