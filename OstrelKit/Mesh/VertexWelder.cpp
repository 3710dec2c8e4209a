#include "VertexWelder.h"

#include "MeshInputCheck.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace ostrel::VertexWelder {

namespace {

constexpr std::uint32_t kNone = std::numeric_limits<std::uint32_t>::max();

// Cell coordinates are floored in single precision. Every integral float inside the 32-bit range lies in
// [-2^31, 2^31 - 128], so clamping to that interval keeps each in-range key as it is and sends anything beyond
// (huge coordinates over a tiny cell, infinities) to the nearest end. The clamp is monotonic, which is all the
// neighbour search below needs to stay exact.
constexpr float kLowestKey = -2147483648.0f;
constexpr float kHighestKey = 2147483520.0f;

std::int32_t cellCoordinate(float value, float cell)
{
    const float q = std::floor(value / cell);
    if (std::isnan(q)) {
        return 0; // only an infinity over an infinite cell, where every key is 0
    }
    return static_cast<std::int32_t>(std::clamp(q, kLowestKey, kHighestKey));
}

struct CellKey
{
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t z = 0;

    friend bool operator==(const CellKey&, const CellKey&) = default;
};

// The offsets (−1, 0 or +1) along one axis whose cells can hold a vertex strictly closer than the threshold
// to `value`. The cells span 2 × threshold, so the ball around a point reaches at most one neighbour per axis;
// the bounds are the keys of value ∓ threshold rounded outward, which by monotonicity bracket the key of every
// coordinate within the threshold. Only cells that cannot hold a match are skipped, so the first match in the
// full 27-cell order is found unchanged.
struct AxisRange
{
    int first = -1;
    int last = 1;
};

AxisRange axisRange(float value, std::int32_t key, float threshold, float cell)
{
    const float below = std::nextafter(value - threshold, -std::numeric_limits<float>::infinity());
    const float above = std::nextafter(value + threshold, std::numeric_limits<float>::infinity());
    const std::int64_t low = std::int64_t{cellCoordinate(below, cell)} - key;
    const std::int64_t high = std::int64_t{cellCoordinate(above, cell)} - key;
    return {static_cast<int>(std::max<std::int64_t>(-1, low)), static_cast<int>(std::min<std::int64_t>(1, high))};
}

// Open-addressing table from a cell key to the first kept vertex of that cell; the cell's later vertices
// follow through `next`, in insertion order.
class CellTable
{
public:
    explicit CellTable(std::size_t expectedCells)
    {
        std::size_t capacity = 1024;
        while (capacity < expectedCells * 2) {
            capacity *= 2;
        }
        m_slots.assign(capacity, Slot{});
        m_mask = capacity - 1;
    }

    // The slot holding `key`, or the empty slot where it would go.
    std::size_t find(const CellKey& key) const
    {
        std::size_t at = hash(key) & m_mask;
        while (m_slots[at].head != kNone && !(m_slots[at].key == key)) {
            at = (at + 1) & m_mask;
        }
        return at;
    }

    std::uint32_t head(std::size_t slot) const { return m_slots[slot].head; }

    // Puts a new cell into the empty slot `slot` (from find), growing the table when it gets half full.
    void insert(std::size_t slot, const CellKey& key, std::uint32_t head)
    {
        m_slots[slot] = Slot{key, head};
        if (++m_used * 2 > m_slots.size()) {
            grow();
        }
    }

private:
    struct Slot
    {
        CellKey key;
        std::uint32_t head = kNone;
    };

    static std::size_t hash(const CellKey& key)
    {
        std::uint64_t h = std::uint64_t{static_cast<std::uint32_t>(key.x)} * 0x9E3779B97F4A7C15ull;
        h ^= std::uint64_t{static_cast<std::uint32_t>(key.y)} * 0xC2B2AE3D27D4EB4Full;
        h ^= std::uint64_t{static_cast<std::uint32_t>(key.z)} * 0x165667B19E3779F9ull;
        h ^= h >> 29;
        return static_cast<std::size_t>(h);
    }

    void grow()
    {
        std::vector<Slot> old(m_slots.size() * 2);
        old.swap(m_slots);
        m_mask = m_slots.size() - 1;
        for (const Slot& slot : old) {
            if (slot.head != kNone) {
                m_slots[find(slot.key)] = slot;
            }
        }
    }

    std::vector<Slot> m_slots;
    std::size_t m_mask = 0;
    std::size_t m_used = 0;
};

WeldResult keepEveryVertex(std::span<const Float3> vertices, std::span<const Float3> normals,
                           std::span<const std::uint32_t> indices)
{
    WeldResult result;
    result.vertices.assign(vertices.begin(), vertices.end());
    result.normals.reserve(vertices.size());
    for (std::size_t i = 0; i < vertices.size(); ++i) {
        result.normals.push_back(i < normals.size() ? normals[i] : kFallbackNormal);
    }
    result.indices.assign(indices.begin(), indices.end());
    result.originalCount = static_cast<std::int64_t>(vertices.size());
    result.weldedCount = result.originalCount;
    return result;
}

} // namespace

WeldResult weld(std::span<const Float3> vertices, std::span<const Float3> normals,
                std::span<const std::uint32_t> indices, float threshold)
{
    if (vertices.empty() || MeshInputCheck::problem(vertices, indices)) {
        return {};
    }
    if (!(threshold > 0.0f)) {
        return keepEveryVertex(vertices, normals, indices);
    }

    const float cell = 2.0f * threshold;
    const float thresholdSquared = threshold * threshold;
    WeldResult result;
    std::vector<std::uint32_t> next; // per kept vertex: the next kept vertex of its cell
    std::vector<std::uint32_t> remap(vertices.size());
    CellTable table(std::min<std::size_t>(vertices.size(), 1u << 20));

    for (std::size_t i = 0; i < vertices.size(); ++i) {
        const Float3 p = vertices[i];
        const CellKey own{cellCoordinate(p.x, cell), cellCoordinate(p.y, cell), cellCoordinate(p.z, cell)};
        const AxisRange rx = axisRange(p.x, own.x, threshold, cell);
        const AxisRange ry = axisRange(p.y, own.y, threshold, cell);
        const AxisRange rz = axisRange(p.z, own.z, threshold, cell);

        std::uint32_t match = kNone;
        std::uint32_t ownTail = kNone;
        for (int dx = rx.first; dx <= rx.last && match == kNone; ++dx) {
            for (int dy = ry.first; dy <= ry.last && match == kNone; ++dy) {
                for (int dz = rz.first; dz <= rz.last && match == kNone; ++dz) {
                    const std::int64_t kx = std::int64_t{own.x} + dx;
                    const std::int64_t ky = std::int64_t{own.y} + dy;
                    const std::int64_t kz = std::int64_t{own.z} + dz;
                    if (kx != static_cast<std::int32_t>(kx) || ky != static_cast<std::int32_t>(ky) ||
                        kz != static_cast<std::int32_t>(kz)) {
                        continue; // beyond the clamped key range: no vertex lives there
                    }
                    const CellKey key{static_cast<std::int32_t>(kx), static_cast<std::int32_t>(ky),
                                      static_cast<std::int32_t>(kz)};
                    for (std::uint32_t u = table.head(table.find(key)); u != kNone; u = next[u]) {
                        const Float3 q = result.vertices[u];
                        const float ddx = q.x - p.x;
                        const float ddy = q.y - p.y;
                        const float ddz = q.z - p.z;
                        if ((ddx * ddx + ddy * ddy) + ddz * ddz < thresholdSquared) {
                            match = u;
                            break;
                        }
                        if (dx == 0 && dy == 0 && dz == 0) {
                            ownTail = u;
                        }
                    }
                }
            }
        }

        if (match == kNone) {
            match = static_cast<std::uint32_t>(result.vertices.size());
            result.vertices.push_back(p);
            result.normals.push_back(i < normals.size() ? normals[i] : kFallbackNormal);
            next.push_back(kNone);
            if (ownTail != kNone) {
                next[ownTail] = match;
            } else {
                table.insert(table.find(own), own, match);
            }
        }
        remap[i] = match;
    }

    result.indices.resize(indices.size());
    std::transform(indices.begin(), indices.end(), result.indices.begin(),
                   [&remap](std::uint32_t index) { return remap[index]; });
    result.originalCount = static_cast<std::int64_t>(vertices.size());
    result.weldedCount = static_cast<std::int64_t>(result.vertices.size());
    return result;
}

} // namespace ostrel::VertexWelder
