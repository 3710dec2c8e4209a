#include "ParallelBlocks.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

namespace tovarine::parallel {

int threadsFor(int requested)
{
    if (requested > 0) {
        return requested;
    }
    return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

void runBlocks(std::size_t count, std::size_t blockSize, int threadCount, const std::stop_token& cancel,
               const std::function<void(int, std::size_t, std::size_t)>& work,
               const std::function<void(std::size_t)>& onDone)
{
    blockSize = std::max<std::size_t>(blockSize, 1);
    const std::size_t blockCount = (count + blockSize - 1) / blockSize;
    const int threads = static_cast<int>(
        std::min<std::size_t>(std::max(threadCount, 1), std::max<std::size_t>(blockCount, 1)));
    std::atomic<std::size_t> nextBlock{0};
    const auto done = std::make_unique<std::atomic<bool>[]>(blockCount);
    std::size_t cursor = 0;
    auto report = [&] {
        while (cursor < blockCount && done[cursor].load(std::memory_order_acquire)) {
            ++cursor;
        }
        onDone(std::min(count, cursor * blockSize));
    };
    auto run = [&](int thread) {
        for (;;) {
            if (cancel.stop_requested()) {
                return;
            }
            const std::size_t block = nextBlock.fetch_add(1, std::memory_order_relaxed);
            if (block >= blockCount) {
                return;
            }
            work(thread, block * blockSize, std::min(count, (block + 1) * blockSize));
            done[block].store(true, std::memory_order_release);
            if (thread == 0) {
                report();
            }
        }
    };
    {
        std::vector<std::jthread> helpers;
        helpers.reserve(static_cast<std::size_t>(threads));
        for (int t = 1; t < threads; ++t) {
            helpers.emplace_back(run, t);
        }
        run(0);
    }
    report();
}

} // namespace tovarine::parallel
