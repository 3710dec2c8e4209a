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
    // The frames' own names of the jpg/jpeg files left out: without a readable JPEG frame header, and those
    // whose data ends before the end of the image (a transfer cut short).
    QStringList notJpegFrames;
    QStringList cutShortFrames;
};

// What readJpegFrame found in a file.
struct JpegFrame
{
    enum class Kind {
        notJpeg,  // no JPEG start, its markers before the frame header broken, or no frame header at all
        cutShort, // a JPEG start, then data that ends before the end-of-image marker (a frame header or not)
        whole,    // a frame header, then data up to the end-of-image marker
    };
    Kind kind = Kind::notJpeg;
    int widthPx = 0; // from the frame header; 0 when none was read
    int heightPx = 0;
};

// Gathers the frames of a capture into the folder COLMAP reads, under names of our own (frame_00000.jpg …
// in the order of the frames' names, so a name with a newline or bytes that are not UTF-8 never reaches
// COLMAP's text files): jpg/jpeg files (any letter case) are linked, heic files are decoded and written as
// JPEG. Any thread.
namespace FrameStaging {

// Minimum number of frames a reconstruction can start from.
inline constexpr int kMinFrames = 3;

// Stages the frames of `inputFolder` (sorted by the bytes of their names) into `imagesFolder`, which must
// exist. Entries that are not regular files (after following links) are passed over; jpg/jpeg files
// without a readable JPEG frame header or cut short (readJpegFrame) are left out and named in the result.
// Error: a user-facing sentence (unreadable folder, no or too few frames, fewer than kMinFrames whole JPEG
// frames, naming the ones left out, an undecodable HEIC frame) that names frames by their own names and
// never a folder's path, so it may go to the phone that sent the capture; a cancelled run returns an error
// whose text is empty.
Expected<StagedFrames, QString> stage(const QString& inputFolder, const QString& imagesFolder,
                                      const std::atomic<bool>* cancelled = nullptr);

// "The frames could not be read: <n> of <frameCount> <reason> (<the first five names> and <k> more)."
QString unreadableFramesMessage(const QStringList& frameNames, int frameCount, const QString& reason);

// For the run's log when staging left frames out, empty when it left none: "<n> of <all frames> frames were
// left out: <k> are cut short (<names>); <m> are not JPEG images (<names>)." with the parts that apply (and
// "1 is" for one), names shown as in unreadableFramesMessage.
QString leftOutFramesNote(const StagedFrames& staged);

// Reads a JPEG file's frame header and follows its segments and scans (the coded data of each scan byte by
// byte, for the markers in it) to the end-of-image marker: a file that ends before it was cut short, however
// much of it is there. Segments are stepped over by their lengths, so metadata (an embedded thumbnail with
// its own end marker, say) is never taken for image data; bytes after the end-of-image marker (a second
// image, padding) are not read. Reads the file in chunks of a fixed size: memory stays flat for any file.
JpegFrame readJpegFrame(const QString& path);

// Decodes the primary image of a HEIC file and writes it as a JPEG (quality 95) at `jpegPath`.
Expected<std::pair<int, int>, QString> convertHeicToJpeg(const QString& heicPath, const QString& jpegPath);

} // namespace FrameStaging
} // namespace tovarine
