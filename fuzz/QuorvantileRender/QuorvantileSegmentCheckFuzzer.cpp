// libFuzzer target for the reader of ffprobe's answer on a segment from another machine: the text ffprobe
// prints is shaped by the segment's bytes, which a peer chose. A count that comes back is never negative.
#include "QuorvantileSegmentCheck.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace ostrel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArrayView json(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const std::optional<std::int64_t> frames = QuorvantileSegmentCheck::decodedVideoFrames(json);
    if (frames && *frames < 0) {
        std::abort();
    }
    return 0;
}
