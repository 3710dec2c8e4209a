#pragma once

#include <cstddef>
#include <functional>
#include <stop_token>

namespace tovarine::parallel {

// Threads to use for `requested` (0: every hardware thread), at least 1.
int threadsFor(int requested);

// Runs `work(threadIndex, begin, end)` over [0, count) in fixed blocks of `blockSize`, claimed in ascending
// order by `threadCount` threads, the calling thread being thread 0. After each block the calling thread
// finishes, and once more at the end, it calls `onDone(prefix)` on its own thread with the number of
// leading items that are all finished. Stops claiming blocks once `cancel` is requested. Returns when every
// claimed block is finished. `work` must write only what its block owns.
void runBlocks(std::size_t count, std::size_t blockSize, int threadCount, const std::stop_token& cancel,
               const std::function<void(int, std::size_t, std::size_t)>& work,
               const std::function<void(std::size_t)>& onDone);

} // namespace tovarine::parallel
