#pragma once

#include "QuorvantileManifest.h"
#include "QuorvantileRenderJob.h"

#include <QList>
#include <optional>

namespace ostrel {

// How one render is shared among machines: weights from graphics memory, and contiguous segments that cover
// [0, totalFrames) exactly once. Stateless; any thread.
namespace QuorvantileRenderSplitter {

// One weight per machine, this machine first: 3 + min(VRAM MB / 8192, 2) with a known memory figure, else 1.0
// for this machine and 1.2 for a remote one.
QList<double> speedWeights(const std::optional<QuorvantileManifest>& local,
                           const QList<QuorvantileManifest>& remotes);

// The jobs in worker order; workers whose share is empty get none, so the list can be shorter than
// workerCount. Weighted shares need one finite, non-negative weight per worker with a positive sum; otherwise
// the shares are even (the last worker takes the remainder). `overlapFrames` has no effect. Empty when
// workerCount or totalFrames is below 1.
QList<QuorvantileRenderJob> split(std::int64_t totalFrames, std::int64_t workerCount,
                                  const RenderParams& params, std::int64_t sourceFileSize,
                                  const std::optional<QList<double>>& weights,
                                  std::int64_t overlapFrames = 0);

} // namespace QuorvantileRenderSplitter

} // namespace ostrel
