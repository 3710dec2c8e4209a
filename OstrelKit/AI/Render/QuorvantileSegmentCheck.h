#pragma once

#include "QuorvantileRenderError.h"

#include <QByteArrayView>
#include <QString>
#include <QtGlobal>
#include <cstdint>
#include <optional>

namespace ostrel {

// How much of a segment another machine may send back, and for how long: a base plus a share per output frame
// of its job, held to what fits (no overflow for any job). The defaults leave room for any real segment: a
// frame of an 8K movie in an intermediate codec is some tens of MB, an H.264 frame far less; and a second per
// frame is a slow LAN's time for a large one. Past either bound the transfer fails and the segment is
// rendered on this computer. Plain value; any thread.
struct QuorvantileSegmentBounds
{
    qint64 baseBytes = 64LL << 20;
    qint64 bytesPerFrame = 64LL << 20;
    qint64 baseTimeMs = 600'000;
    qint64 timePerFrameMs = 1000;

    qint64 maxBytes(std::int64_t outputFrames) const;
    // At most what a timer takes (about 24 days).
    int timeLimitMs(std::int64_t outputFrames) const;
};

// base + perUnit x units with negative terms as 0, held to [0, ceiling].
qint64 quorvantileSaturated(qint64 base, qint64 perUnit, qint64 units, qint64 ceiling);

// Whether a segment movie that came from another machine is whole: ffprobe decodes its first video stream
// and the frames it can decode must be exactly the frames the segment was asked for. A body cut short (the
// movie's index missing, or frames at its end), one that holds other frames, or a file that is no movie at
// all fails, whatever the transfer said of itself. Blocks until ffprobe is done; any thread.
namespace QuorvantileSegmentCheck {

struct Options
{
    QString ffprobeProgram = QStringLiteral("ffprobe"); // found on PATH unless absolute
    int timeLimitMs = 30 * 60 * 1000;                   // decoding every frame of one segment
};

// ffprobe's answer is read no further than this: one stream's two entries take a few dozen bytes.
inline constexpr qsizetype kMaxProbeOutputBytes = 64 * 1024;

// The frames decoded from the first video stream, read from the JSON ffprobe prints for
// "-select_streams v:0 -count_frames -show_entries stream=codec_type,nb_read_frames -of json". No value when
// the text is not that answer, names no video stream or holds no count (ffprobe prints none when nothing
// could be decoded). Pure; any thread.
std::optional<std::int64_t> decodedVideoFrames(QByteArrayView ffprobeJson);

// The segment at `path` when its first video stream decodes to exactly `expectedFrames` frames; else a
// failure whose message says what was found (no movie, no video, so many frames of so many). Never changes
// the file.
QuorvantileRenderFileResult check(const QString& path, std::int64_t expectedFrames,
                                  const Options& options = {});

} // namespace QuorvantileSegmentCheck

} // namespace ostrel
