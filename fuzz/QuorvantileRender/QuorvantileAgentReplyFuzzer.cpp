// libFuzzer target for what the coordinator reads from a render agent: the body of a status answer, for a
// segment whose output frame count the first byte picks. The submit answer is judged by its HTTP status
// alone; its body (the job id) goes through the same reader here, as any agent body may. A count that
// comes back must be whole and within the range a double holds exactly.
#include "QuorvantileAgentReply.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace ostrel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) {
        return 0;
    }
    constexpr std::array<std::int64_t, 6> kOutputFrames{0, 1, 20, 40, 1'000'000, 8'000'000'000'000'000};
    const std::int64_t outputFrames = kOutputFrames[data[0] % kOutputFrames.size()];
    const QByteArrayView body(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1));
    const std::optional<QuorvantileAgentStatusReply> reply = quorvantileParseAgentStatus(body, outputFrames);
    if (reply && reply->frames &&
        (*reply->frames > 9'000'000'000'000'000 || *reply->frames < -9'000'000'000'000'000)) {
        std::abort();
    }
    return 0;
}
