#include "VertexWelder.h"

#include "MeshInputCheck.h"

#include <algorithm>
#include <array>
#include <bit>
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

// A vertex's cell and the neighbour offsets (−1, 0 or +1) along each axis whose cells can hold a vertex
// strictly closer than the threshold. The cells span 2 × threshold, so the ball around a point reaches at most
// one neighbour per axis: the lower one when the point sits in the lower half of its cell, the upper one when
// in the upper half. The halves are widened by a margin that covers the rounding of the quotient (relative
// error 2^-24 on each side), so only cells that cannot hold a match are skipped and the first match in the
// full 27-cell order is found unchanged.
struct CellKey
{
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t z = 0;

    friend bool operator==(const CellKey&, const CellKey&) = default;
};

struct AxisRange
{
    int first = -1;
    int last = 1;
};

struct Placement
{
    CellKey key;
    AxisRange x;
    AxisRange y;
    AxisRange z;
};

std::int32_t axisPlacement(float value, float cell, AxisRange& range)
{
    const float q = value / cell;
    const float floored = std::floor(q);
    if (!(floored >= kLowestKey && floored <= kHighestKey)) {
        range = AxisRange{}; // clamped (or an infinity over an infinite cell): search both neighbours
        return cellCoordinate(value, cell);
    }
    const float fraction = q - floored; // exact: q and its floor share their exponent range
    const float margin = 1e-6f + std::fabs(q) * 0x1p-21f;
    range.first = fraction < 0.5f + margin ? -1 : 0;
    range.last = fraction > 0.5f - margin ? 1 : 0;
    return static_cast<std::int32_t>(floored);
}

Placement place(const Float3& p, float cell)
{
    Placement placement;
    placement.key.x = axisPlacement(p.x, cell, placement.x);
    placement.key.y = axisPlacement(p.y, cell, placement.y);
    placement.key.z = axisPlacement(p.z, cell, placement.z);
    return placement;
}

std::uint64_t hashKey(const CellKey& key);

// The cells to search for one vertex, in search order (x outermost, z innermost), with their hashes; `own` is
// the position of the vertex's own cell, which is always searched (a match there, or its insertion point).
struct Neighbourhood
{
    std::array<CellKey, 27> keys; // 8 at most, unless a clamped key widens the search
    std::array<std::uint64_t, 27> hashes;
    int count = 0;
    int own = 0;
};

// Whether kept vertex q matches p: squared distance, summed in single precision as (dx² + dy²) + dz², strictly
// below the squared threshold.
bool isMatch(const Float3& q, const Float3& p, float thresholdSquared)
{
    const float dx = q.x - p.x;
    const float dy = q.y - p.y;
    const float dz = q.z - p.z;
    return (dx * dx + dy * dy) + dz * dz < thresholdSquared;
}

void fillNeighbourhood(const Placement& at, Neighbourhood& hood)
{
    hood.count = 0;
    for (int dx = at.x.first; dx <= at.x.last; ++dx) {
        for (int dy = at.y.first; dy <= at.y.last; ++dy) {
            for (int dz = at.z.first; dz <= at.z.last; ++dz) {
                const std::int64_t kx = std::int64_t{at.key.x} + dx;
                const std::int64_t ky = std::int64_t{at.key.y} + dy;
                const std::int64_t kz = std::int64_t{at.key.z} + dz;
                if (kx != static_cast<std::int32_t>(kx) || ky != static_cast<std::int32_t>(ky) ||
                    kz != static_cast<std::int32_t>(kz)) {
                    continue; // beyond the clamped key range: no vertex lives there
                }
                if (dx == 0 && dy == 0 && dz == 0) {
                    hood.own = hood.count;
                }
                hood.keys[hood.count] = CellKey{static_cast<std::int32_t>(kx), static_cast<std::int32_t>(ky),
                                                static_cast<std::int32_t>(kz)};
                hood.hashes[hood.count] = hashKey(hood.keys[hood.count]);
                ++hood.count;
            }
        }
    }
}

std::uint64_t hashKey(const CellKey& key)
{
    std::uint64_t h = std::uint64_t{static_cast<std::uint32_t>(key.x)} * 0x9E3779B97F4A7C15ull;
    h ^= std::uint64_t{static_cast<std::uint32_t>(key.y)} * 0xC2B2AE3D27D4EB4Full;
    h ^= std::uint64_t{static_cast<std::uint32_t>(key.z)} * 0x165667B19E3779F9ull;
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 33;
    return h;
}

// Open-addressing table from a cell key to the first kept vertex of that cell; the cell's later vertices
// follow through `next`, in insertion order. Beside it a bit per hash value says whether any cell with that
// hash exists: the few megabytes of bits stay in cache, so the neighbour cells of a surface point, nearly all
// empty, are ruled out without touching the table.
class CellTable
{
public:
    // `vertexCount` sizes the filter; the table starts small (a welded scan keeps about one vertex in six)
    // and doubles as cells arrive.
    explicit CellTable(std::size_t vertexCount)
    {
        std::size_t capacity = 1024;
        while (capacity < vertexCount / 4) {
            capacity *= 2;
        }
        m_slots.assign(capacity, Slot{});
        m_mask = capacity - 1;
        std::size_t filterBits = 1u << 16;
        while (filterBits < vertexCount * 4 && filterBits < (std::size_t{1} << 30)) {
            filterBits *= 2;
        }
        m_filter.assign(filterBits / 64, 0);
        m_filterShift = 64 - static_cast<int>(std::countr_zero(filterBits));
    }

    bool mayHold(std::uint64_t hash) const
    {
        const std::uint64_t bit = hash >> m_filterShift;
        return (m_filter[bit >> 6] >> (bit & 63)) & 1u;
    }

    void prefetch(std::uint64_t hash) const { __builtin_prefetch(&m_slots[hash & m_mask]); }

    // The slot holding `key`, or the empty slot where it would go.
    std::size_t find(const CellKey& key, std::uint64_t hash) const
    {
        std::size_t at = hash & m_mask;
        while (m_slots[at].head != kNone && !(m_slots[at].key == key)) {
            at = (at + 1) & m_mask;
        }
        return at;
    }

    std::uint32_t head(std::size_t slot) const { return m_slots[slot].head; }

    // Puts a new cell into the empty slot `slot` (from find), growing the table when it gets half full.
    void insert(std::size_t slot, const CellKey& key, std::uint64_t hash, std::uint32_t head)
    {
        m_slots[slot] = Slot{key, head};
        const std::uint64_t bit = hash >> m_filterShift;
        m_filter[bit >> 6] |= std::uint64_t{1} << (bit & 63);
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

    void grow()
    {
        std::vector<Slot> old(m_slots.size() * 2);
        old.swap(m_slots);
        m_mask = m_slots.size() - 1;
        for (const Slot& slot : old) {
            if (slot.head != kNone) {
                m_slots[find(slot.key, hashKey(slot.key))] = slot;
            }
        }
    }

    std::vector<Slot> m_slots;
    std::size_t m_mask = 0;
    std::size_t m_used = 0;
    std::vector<std::uint64_t> m_filter;
    int m_filterShift = 0;
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
    const float thresholdSquared = threshold * threshold;
    if (!(threshold > 0.0f) || !(thresholdSquared > 0.0f)) {
        // Nothing can be strictly closer than a zero distance (also when a tiny threshold squares to zero).
        return keepEveryVertex(vertices, normals, indices);
    }

    const float cell = 2.0f * threshold;
    WeldResult result;
    std::vector<std::uint32_t> next; // per kept vertex: the next kept vertex of its cell
    std::vector<std::uint32_t> remap(vertices.size());
    CellTable table(vertices.size());

    // Each vertex's own cell is placed a few vertices ahead, so its table slot (where a repeat finds its kept
    // vertex) is already on its way from memory when the vertex comes up. The neighbour cells are listed only
    // for vertices that need them.
    struct Upcoming
    {
        Placement placement;
        std::uint64_t hash = 0;
    };
    constexpr std::size_t kAhead = 16;
    std::array<Upcoming, kAhead> ahead;
    const std::size_t n = vertices.size();
    auto prepare = [&](std::size_t i) {
        Upcoming& up = ahead[i % kAhead];
        up.placement = place(vertices[i], cell);
        up.hash = hashKey(up.placement.key);
        table.prefetch(up.hash);
    };
    for (std::size_t i = 0; i < std::min(kAhead, n); ++i) {
        prepare(i);
    }
    Neighbourhood hood;

    for (std::size_t i = 0; i < n; ++i) {
        const Float3 p = vertices[i];
        const Upcoming up = ahead[i % kAhead];
        if (i + kAhead < n) {
            prepare(i + kAhead);
        }

        // The own cell first. A kept vertex at exactly p's position is the only kept vertex within the
        // threshold of p (one kept earlier would have stopped it being kept; one kept later would have matched
        // it, the distance test being symmetric), so it is the first match in any order and the search ends
        // there. That is the case of most vertices of a loose-triangle mesh. Otherwise a match in the own cell
        // leaves only the cells before it in the search order to look at, and without one every other cell.
        std::uint32_t ownTail = kNone;
        std::uint32_t ownMatch = kNone;
        bool repeat = false;
        const std::size_t ownSlot = table.find(up.placement.key, up.hash);
        for (std::uint32_t u = table.head(ownSlot); u != kNone; u = next[u]) {
            const Float3 q = result.vertices[u];
            if (q.x == p.x && q.y == p.y && q.z == p.z) {
                ownMatch = u;
                repeat = true;
                break;
            }
            if (ownMatch == kNone && isMatch(q, p, thresholdSquared)) {
                ownMatch = u;
            }
            ownTail = u;
        }
        std::uint32_t match = kNone;
        if (!repeat) {
            fillNeighbourhood(up.placement, hood);
            const int searchEnd = ownMatch == kNone ? hood.count : hood.own;
            for (int c = 0; c < searchEnd && match == kNone; ++c) {
                if (c == hood.own || !table.mayHold(hood.hashes[c])) {
                    continue;
                }
                for (std::uint32_t u = table.head(table.find(hood.keys[c], hood.hashes[c])); u != kNone;
                     u = next[u]) {
                    if (isMatch(result.vertices[u], p, thresholdSquared)) {
                        match = u;
                        break;
                    }
                }
            }
        }
        if (match == kNone) {
            match = ownMatch;
        }

        if (match == kNone) {
            match = static_cast<std::uint32_t>(result.vertices.size());
            result.vertices.push_back(p);
            result.normals.push_back(i < normals.size() ? normals[i] : kFallbackNormal);
            next.push_back(kNone);
            if (ownTail != kNone) {
                next[ownTail] = match;
            } else {
                table.insert(ownSlot, up.placement.key, up.hash, match);
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
