#pragma once

#include "QuorvantileRenderError.h"
#include "QuorvantileRenderJob.h"

#include <QObject>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

namespace ostrel {

// Hands work from any thread to an object's thread for as long as that object lives; after close() every post
// is dropped. Shared by the callbacks a render hands out. Any thread.
class QuorvantileThreadPost
{
public:
    explicit QuorvantileThreadPost(QObject* context) : m_context(context) {}

    // Queues `work` on the context's thread; dropped once closed.
    void post(std::function<void()> work);
    // Called by the context before it goes away (on its thread).
    void close();

private:
    std::mutex m_mutex;
    QObject* m_context;
};

// What a segment renderer is given besides the source and the job. The callbacks may be called from any
// thread; `finish` must be called exactly once (later calls are ignored), `reportFrames` any number of times
// before it.
struct QuorvantileSegmentTask
{
    // Output frames of this segment finished so far.
    std::function<void(std::int64_t frames)> reportFrames;
    // The rendered segment file, or why it could not be rendered.
    std::function<void(QuorvantileRenderFileResult result)> finish;
    // Set when the render is no longer wanted; the renderer should stop soon and finish with a cancellation.
    std::shared_ptr<const std::atomic<bool>> cancelled;
};

// Renders frames [startFrame, endFrame) of the source at `sourcePath` with the job's parameters. Started on
// the owner's thread; it must not block it (do the work elsewhere and report through the task).
using QuorvantileSegmentRenderer = std::function<void(
    const QString& sourcePath, const QuorvantileRenderJob& job, QuorvantileSegmentTask task)>;

} // namespace ostrel
