#pragma once

#include <QByteArrayView>
#include <QString>
#include <cstdint>
#include <optional>

namespace ostrel {

// What the coordinator takes from a render agent's answer to GET /render/ID/status.
struct QuorvantileAgentStatusReply
{
    QString status;                     // "queued", "rendering", "complete", "failed" or any other word
    std::optional<std::int64_t> frames; // output frames of the segment done, when the answer gives a count
    QString error;                      // the "error" text, "unknown" without one
};

// Reads the body of a status answer for a segment of `outputFrames` output frames. No value when the body is
// not a JSON object with a "status" string: the poll is skipped, not failed. "framesComplete" counts when it
// is a whole number below 9e15 in size; when the answer's "totalFrames" is another positive count (an agent
// that counts source frames), the count is scaled to output frames, and dropped when that leaves the range.
// Pure; any thread.
std::optional<QuorvantileAgentStatusReply> quorvantileParseAgentStatus(QByteArrayView body,
                                                                       std::int64_t outputFrames);

} // namespace ostrel
