#include "WatertightValidator.h"

#include <array>
#include <vector>

namespace ostrel::WatertightValidator {

namespace {

// Sorts 64-bit keys by their bytes, least significant first, skipping every byte that is the same in all
// keys (vertex indices rarely use their upper bytes). Linear time, where a comparison sort of the few million
// half-edges of a large scan takes several times as long.
void radixSort(std::vector<std::uint64_t>& keys)
{
    std::vector<std::uint64_t> scratch(keys.size());
    std::array<std::array<std::size_t, 256>, 8> counts{};
    for (const std::uint64_t key : keys) {
        for (int b = 0; b < 8; ++b) {
            ++counts[b][(key >> (8 * b)) & 0xFF];
        }
    }
    for (int b = 0; b < 8; ++b) {
        std::array<std::size_t, 256>& count = counts[b];
        bool trivial = false;
        for (const std::size_t c : count) {
            if (c == keys.size()) {
                trivial = true;
            }
        }
        if (trivial) {
            continue;
        }
        std::size_t offset = 0;
        for (std::size_t& c : count) {
            const std::size_t here = c;
            c = offset;
            offset += here;
        }
        for (const std::uint64_t key : keys) {
            scratch[count[(key >> (8 * b)) & 0xFF]++] = key;
        }
        keys.swap(scratch);
    }
}

} // namespace

ValidationResult validate(std::span<const Float3> /*vertices*/, std::span<const std::uint32_t> indices)
{
    // Each directed edge (u, v) as u << 32 | v, and beside it the same edges reversed; sorted, one merge walk
    // pairs the count of every edge with the count of its reverse.
    const std::size_t triangles = indices.size() / 3;
    std::vector<std::uint64_t> forward;
    std::vector<std::uint64_t> reversed;
    forward.reserve(triangles * 3);
    reversed.reserve(triangles * 3);
    for (std::size_t t = 0; t < triangles; ++t) {
        const std::uint64_t a = indices[3 * t];
        const std::uint64_t b = indices[3 * t + 1];
        const std::uint64_t c = indices[3 * t + 2];
        forward.insert(forward.end(), {a << 32 | b, b << 32 | c, c << 32 | a});
        reversed.insert(reversed.end(), {b << 32 | a, c << 32 | b, a << 32 | c});
    }
    radixSort(forward);
    radixSort(reversed);

    std::int64_t open = 0;
    std::size_t r = 0;
    for (std::size_t f = 0; f < forward.size();) {
        const std::uint64_t key = forward[f];
        std::int64_t count = 0;
        for (; f < forward.size() && forward[f] == key; ++f) {
            ++count;
        }
        while (r < reversed.size() && reversed[r] < key) {
            ++r;
        }
        std::int64_t reverseCount = 0;
        for (; r < reversed.size() && reversed[r] == key; ++r) {
            ++reverseCount;
        }
        open += count > reverseCount ? count - reverseCount : reverseCount - count;
    }

    ValidationResult result;
    result.openEdgeCount = open;
    result.isWatertight = open == 0;
    result.message = result.isWatertight
                         ? std::string("Manifold closed. All edges reciprocated.")
                         : "Non-manifold: " + std::to_string(open) + " unreciprocated half-edge(s).";
    return result;
}

ValidationResult validate(std::span<const Float3> vertices, std::span<const std::int32_t> indices)
{
    std::vector<std::uint32_t> unsignedIndices(indices.size());
    for (std::size_t i = 0; i < indices.size(); ++i) {
        unsignedIndices[i] = static_cast<std::uint32_t>(indices[i]);
    }
    return validate(vertices, unsignedIndices);
}

} // namespace ostrel::WatertightValidator
