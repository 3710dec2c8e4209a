// libFuzzer target for render jobs and progress records as peers send them: decoding must refuse or accept
// without fault, and an accepted job must encode and decode back to itself.
#include "QuorvantileRenderJob.h"

#include <QJsonDocument>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace ostrel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    if (const auto job = QuorvantileRenderJob::fromJsonBytes(bytes)) {
        (void)job->outputFrameCount();
        (void)job->segmentFraction();
        const auto again = QuorvantileRenderJob::fromJsonBytes(job->toCompactJson());
        if (!again || again->toCompactJson() != job->toCompactJson()) {
            std::abort();
        }
    }
    const QJsonDocument document = QJsonDocument::fromJson(bytes);
    if (const auto progress = QuorvantileRenderProgress::fromJson(document.object())) {
        (void)progress->fraction();
        (void)progress->toCompactJson();
    }
    return 0;
}
