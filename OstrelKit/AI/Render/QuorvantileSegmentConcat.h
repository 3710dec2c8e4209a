#pragma once

#include "QuorvantileRenderError.h"

#include <QStringList>

namespace ostrel {

// Joins segment movies end to end into one QuickTime movie with ffmpeg: the concat demuxer with stream copy
// when every segment's video stream has the same codec, size, pixel format and timing, else the concat filter
// with a re-encode to H.264 at the first segment's size (also when a segment's path holds a line break, which
// the demuxer's list cannot hold). Each segment's frames are kept once, at their own times: segments of
// different frame rates give a movie of variable frame rate, whose last frame lasts one frame of its segment
// (the movie's length is the sum of the segments'). Only the first video stream of each segment is
// kept; a segment without one is left out.
// An existing output is never replaced. Blocks until done; any thread.
namespace QuorvantileSegmentConcat {

struct Options
{
    QString ffmpegProgram = QStringLiteral("ffmpeg"); // found on PATH unless absolute
    QString ffprobeProgram = QStringLiteral("ffprobe");
    int timeLimitMs = 2 * 60 * 60 * 1000; // per child process
};

// `segments` in playing order. No segment: noSegments. One: copied byte for byte (fails when the output
// exists, with the copy's message). Several: compositionFailed when none has video or ffmpeg fails (an
// existing output included); a segment ffprobe cannot read ends the call with ffprobe's message. Returns the
// output path.
QuorvantileRenderFileResult concatenate(const QStringList& segments, const QString& outputPath,
                                        const Options& options = {});

} // namespace QuorvantileSegmentConcat

} // namespace ostrel
