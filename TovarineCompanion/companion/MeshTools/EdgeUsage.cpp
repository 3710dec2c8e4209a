#include "EdgeUsage.h"

#include <algorithm>
#include <functional>

namespace tovarine::edgeusage {

namespace {

struct SlotEdge
{
    std::uint32_t lo;
    std::uint32_t hi;
    bool forward;
};

SlotEdge slotEdge(const MeshTriangles& triangles, std::uint32_t slot)
{
    const MeshTriangle& t = triangles[slot / 3];
    const unsigned k = slot % 3;
    const auto u = static_cast<std::uint32_t>(t[k]);
    const auto v = static_cast<std::uint32_t>(t[(k + 1) % 3]);
    return {std::min(u, v), std::max(u, v), u <= v};
}

// Groups the edge slots by undirected edge and calls `onRun(slots, count, use)` for each group.
void groupSlots(const MeshTriangles& triangles,
                const std::function<void(const std::uint32_t*, std::size_t, const EdgeUse&)>& onRun)
{
    const std::size_t slotCount = triangles.size() * 3;
    std::vector<std::uint8_t> forward(slotCount);
    std::uint32_t maxLo = 0;
    for (std::uint32_t s = 0; s < slotCount; ++s) {
        const SlotEdge e = slotEdge(triangles, s);
        forward[s] = e.forward ? 1 : 0;
        maxLo = std::max(maxLo, e.lo);
    }
    std::vector<std::uint32_t> run;
    auto emitRun = [&](const std::uint32_t* slotList, std::size_t n) {
        EdgeUse use;
        use.uses = static_cast<std::uint32_t>(n);
        for (std::size_t r = 0; r < n; ++r) {
            use.forward += forward[slotList[r]];
        }
        onRun(slotList, n, use);
    };

    if (maxLo <= slotCount * 4 + 1024) {
        // Dense indices (every welded mesh): bucket the slots by their smaller vertex, order each small
        // bucket by the larger vertex, and emit each bucket's runs of equal larger vertex.
        std::vector<std::uint32_t> bucketStart(static_cast<std::size_t>(maxLo) + 2, 0);
        for (std::uint32_t s = 0; s < slotCount; ++s) {
            ++bucketStart[slotEdge(triangles, s).lo + 1];
        }
        for (std::size_t b = 1; b < bucketStart.size(); ++b) {
            bucketStart[b] += bucketStart[b - 1];
        }
        // Each entry is the larger vertex (high half) and the slot (low half), so ordering the entries of a
        // bucket orders its slots by edge.
        std::vector<std::uint32_t> fill(bucketStart.begin(), bucketStart.end() - 1);
        std::vector<std::uint64_t> entries(slotCount);
        for (std::uint32_t s = 0; s < slotCount; ++s) {
            const SlotEdge e = slotEdge(triangles, s);
            entries[fill[e.lo]++] = (static_cast<std::uint64_t>(e.hi) << 32) | s;
        }
        for (std::size_t b = 0; b + 1 < bucketStart.size(); ++b) {
            const auto first = entries.begin() + bucketStart[b];
            const auto last = entries.begin() + bucketStart[b + 1];
            if (last - first > 24) {
                std::sort(first, last);
            } else {
                // From `first`, not `first + 1`: an empty bucket may sit at the end of the entries, or the
                // entries may be empty (no triangles), and one past either is out of bounds.
                for (auto i = first; i < last; ++i) {
                    const std::uint64_t value = *i;
                    auto j = i;
                    while (j > first && *(j - 1) > value) {
                        *j = *(j - 1);
                        --j;
                    }
                    *j = value;
                }
            }
            for (auto i = first; i < last;) {
                auto j = i;
                run.clear();
                while (j < last && (*j >> 32) == (*i >> 32)) {
                    run.push_back(static_cast<std::uint32_t>(*j));
                    ++j;
                }
                emitRun(run.data(), run.size());
                i = j;
            }
        }
        return;
    }

    std::vector<std::uint32_t> order(slotCount);
    for (std::uint32_t s = 0; s < slotCount; ++s) {
        order[s] = s;
    }
    auto key = [&](std::uint32_t s) {
        const SlotEdge e = slotEdge(triangles, s);
        return (static_cast<std::uint64_t>(e.lo) << 32) | e.hi;
    };
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) { return key(a) < key(b); });
    for (std::size_t i = 0; i < slotCount;) {
        std::size_t j = i + 1;
        while (j < slotCount && key(order[j]) == key(order[i])) {
            ++j;
        }
        emitRun(order.data() + i, j - i);
        i = j;
    }
}

} // namespace

void count(EdgeTally& tally, const EdgeUse& use)
{
    if (use.uses == 1) {
        ++tally.open;
    } else if (use.uses > 2) {
        ++tally.nonManifold;
    } else if (use.forward != 1) {
        ++tally.flipped;
    }
}

std::vector<EdgeUse> slotUses(const MeshTriangles& triangles, EdgeTally* tally)
{
    std::vector<EdgeUse> uses(triangles.size() * 3);
    EdgeTally counts;
    groupSlots(triangles, [&](const std::uint32_t* slotList, std::size_t n, const EdgeUse& use) {
        for (std::size_t i = 0; i < n; ++i) {
            uses[slotList[i]] = use;
        }
        count(counts, use);
    });
    if (tally) {
        *tally = counts;
    }
    return uses;
}

EdgeTally tallyEdges(const MeshTriangles& triangles)
{
    EdgeTally tally;
    groupSlots(triangles, [&](const std::uint32_t*, std::size_t, const EdgeUse& use) { count(tally, use); });
    return tally;
}

} // namespace tovarine::edgeusage
