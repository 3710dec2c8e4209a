#include "MeshSubdivision.h"

#include "MeshInputCheck.h"

#include <limits>

namespace ostrel::MeshSubdivision {

namespace {

constexpr std::uint64_t kEmptyEdge = std::numeric_limits<std::uint64_t>::max();

// Edge key → midpoint index, for one round. The key of edge (i, j) is min << 32 | max, so both directions
// share one entry; no real edge has the all-ones key (its two indices would both be 2^32 − 1).
class MidpointCache
{
public:
    explicit MidpointCache(std::size_t edges)
    {
        std::size_t capacity = 1024;
        while (capacity < edges * 2) {
            capacity *= 2;
        }
        m_keys.assign(capacity, kEmptyEdge);
        m_values.resize(capacity);
        m_mask = capacity - 1;
    }

    // The midpoint of edge (i, j), appending it to `vertices` the first time the edge is seen.
    std::uint32_t midpoint(std::uint32_t i, std::uint32_t j, std::vector<Float3>& vertices)
    {
        const std::uint64_t key = std::uint64_t{std::min(i, j)} << 32 | std::max(i, j);
        std::size_t at = static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> 20) & m_mask;
        while (m_keys[at] != kEmptyEdge) {
            if (m_keys[at] == key) {
                return m_values[at];
            }
            at = (at + 1) & m_mask;
        }
        const auto index = static_cast<std::uint32_t>(vertices.size());
        const Float3 a = vertices[i];
        const Float3 b = vertices[j];
        Float3 mid{(a.x + b.x) * 0.5f, (a.y + b.y) * 0.5f, (a.z + b.z) * 0.5f};
        if (!isFinite(mid)) {
            // The sum of two huge coordinates overflowed; halving first keeps the midpoint finite.
            mid = Float3{a.x * 0.5f + b.x * 0.5f, a.y * 0.5f + b.y * 0.5f, a.z * 0.5f + b.z * 0.5f};
        }
        vertices.push_back(mid);
        m_keys[at] = key;
        m_values[at] = index;
        return index;
    }

private:
    std::vector<std::uint64_t> m_keys;
    std::vector<std::uint32_t> m_values;
    std::size_t m_mask = 0;
};

// One round: keeps the old vertices, appends the midpoints, replaces each triangle by four.
void subdivideOnce(std::vector<Float3>& vertices, std::vector<std::uint32_t>& indices)
{
    const std::size_t triangles = indices.size() / 3;
    MidpointCache cache(triangles * 3 / 2 + 1);
    std::vector<std::uint32_t> out;
    out.reserve(triangles * 12);
    for (std::size_t t = 0; t < triangles; ++t) {
        const std::uint32_t a = indices[3 * t];
        const std::uint32_t b = indices[3 * t + 1];
        const std::uint32_t c = indices[3 * t + 2];
        const std::uint32_t mab = cache.midpoint(a, b, vertices);
        const std::uint32_t mbc = cache.midpoint(b, c, vertices);
        const std::uint32_t mca = cache.midpoint(c, a, vertices);
        out.insert(out.end(), {a, mab, mca, mab, b, mbc, mca, mbc, c, mab, mbc, mca});
    }
    indices.swap(out);
}

// Whether `levels` rounds stay within 32-bit vertex indices and facet counts. Each round adds at most one
// vertex per edge, three per triangle.
bool fitsLimits(std::size_t vertexCount, std::size_t triangleCount, int levels)
{
    std::uint64_t v = vertexCount;
    std::uint64_t t = triangleCount;
    for (int round = 0; round < levels; ++round) {
        v += 3 * t;
        t *= 4;
        if (v > MeshInputCheck::kMaxVertexCount || t > std::numeric_limits<std::uint32_t>::max()) {
            return false;
        }
    }
    return true;
}

} // namespace

std::vector<Float3> vertexNormals(std::span<const Float3> vertices, std::span<const std::uint32_t> indices)
{
    std::vector<Float3> sums(vertices.size());
    for (std::size_t t = 0; t + 2 < indices.size(); t += 3) {
        const std::uint32_t p0 = indices[t];
        const std::uint32_t p1 = indices[t + 1];
        const std::uint32_t p2 = indices[t + 2];
        const Float3 n = unguardedFaceNormal(vertices[p0], vertices[p1], vertices[p2]);
        if (!isFinite(n)) {
            continue; // a collapsed triangle has no direction to give its corners
        }
        for (const std::uint32_t p : {p0, p1, p2}) {
            sums[p] = Float3{sums[p].x + n.x, sums[p].y + n.y, sums[p].z + n.z};
        }
    }
    for (Float3& sum : sums) {
        const float len = length(sum);
        sum = len > 1e-6f ? Float3{sum.x / len, sum.y / len, sum.z / len} : kFallbackNormal;
    }
    return sums;
}

SubdivisionResult subdivide(std::span<const Float3> vertices, std::span<const Float3> normals,
                            std::span<const std::uint32_t> indices, int levels)
{
    if (levels <= 0 || vertices.empty()) {
        return {{vertices.begin(), vertices.end()}, {normals.begin(), normals.end()}, {indices.begin(), indices.end()}};
    }
    if (levels > kMaxLevels || MeshInputCheck::problem(vertices, indices) ||
        !fitsLimits(vertices.size(), indices.size() / 3, levels)) {
        return {};
    }
    SubdivisionResult result;
    result.vertices.assign(vertices.begin(), vertices.end());
    result.indices.assign(indices.begin(), indices.begin() + static_cast<std::ptrdiff_t>(indices.size() / 3 * 3));
    for (int round = 0; round < levels; ++round) {
        subdivideOnce(result.vertices, result.indices);
    }
    result.normals = vertexNormals(result.vertices, result.indices);
    return result;
}

} // namespace ostrel::MeshSubdivision
