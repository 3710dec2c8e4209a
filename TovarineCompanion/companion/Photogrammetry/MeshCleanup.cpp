#include "MeshCleanup.h"

#include "Vec3.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <meshoptimizer.h>
#include <numeric>
#include <unordered_map>

namespace tovarine::MeshCleanup {
namespace {

using geo::Vec3;

Vec3 vertex(const std::vector<float>& positions, std::uint32_t i)
{
    return {positions[3 * i], positions[3 * i + 1], positions[3 * i + 2]};
}

std::uint32_t findRoot(std::vector<std::uint32_t>& parent, std::uint32_t i)
{
    while (parent[i] != i) {
        parent[i] = parent[parent[i]];
        i = parent[i];
    }
    return i;
}

// Keeps only the vertices the triangles use, renumbered in first-use order.
void compact(std::vector<float>& positions, std::vector<std::uint8_t>& colors,
             std::vector<std::uint32_t>& indices)
{
    const std::size_t vertexCount = positions.size() / 3;
    std::vector<std::uint32_t> remap(vertexCount, UINT32_MAX);
    std::vector<float> newPositions;
    std::vector<std::uint8_t> newColors;
    std::uint32_t next = 0;
    for (std::uint32_t& index : indices) {
        if (remap[index] == UINT32_MAX) {
            remap[index] = next++;
            newPositions.insert(newPositions.end(), positions.begin() + 3 * index,
                                positions.begin() + 3 * index + 3);
            if (!colors.empty()) {
                newColors.insert(newColors.end(), colors.begin() + 3 * index, colors.begin() + 3 * index + 3);
            }
        }
        index = remap[index];
    }
    positions = std::move(newPositions);
    colors = std::move(newColors);
}

// Points every index at the first vertex with bit-for-bit the same position (-0 and +0 count as one), so
// triangles that only touch in space share their vertices and ones with two corners in one place show as
// such.
void weld(const std::vector<float>& positions, std::vector<std::uint32_t>& indices)
{
    struct Key
    {
        std::uint32_t bits[3];
        bool operator==(const Key& other) const { return std::memcmp(bits, other.bits, sizeof bits) == 0; }
    };
    struct KeyHash
    {
        std::size_t operator()(const Key& key) const
        {
            return (std::size_t(key.bits[0]) * 73856093u) ^ (std::size_t(key.bits[1]) * 19349663u) ^
                   (std::size_t(key.bits[2]) * 83492791u);
        }
    };
    const std::size_t vertexCount = positions.size() / 3;
    std::unordered_map<Key, std::uint32_t, KeyHash> first;
    first.reserve(vertexCount);
    std::vector<std::uint32_t> remap(vertexCount);
    for (std::size_t v = 0; v < vertexCount; ++v) {
        Key key{};
        for (int k = 0; k < 3; ++k) {
            const float value = positions[3 * v + k] + 0.0f; // -0 becomes +0
            std::memcpy(&key.bits[k], &value, sizeof value);
        }
        remap[v] = first.try_emplace(key, static_cast<std::uint32_t>(v)).first->second;
    }
    for (std::uint32_t& index : indices) {
        if (index < vertexCount) {
            index = remap[index];
        }
    }
}

// True when a triangle has no area, or none that survives rounding: two corners in one place, or a height
// over its longest edge within a few float steps of its coordinates. The model is stored in 32-bit floats
// and exported scaled and turned, so a thinner triangle can come out with three collinear corners.
bool isDegenerate(const Vec3& a, const Vec3& b, const Vec3& c)
{
    constexpr double kFloatSteps = 4.0;
    const double longestSquared =
        std::max({geo::dot(b - a, b - a), geo::dot(c - b, c - b), geo::dot(a - c, a - c)});
    if (longestSquared == 0.0) {
        return true;
    }
    const double height = geo::norm(geo::cross(b - a, c - a)) / std::sqrt(longestSquared);
    double scale = 0.0;
    for (const Vec3& p : {a, b, c}) {
        scale = std::max({scale, std::abs(p.x), std::abs(p.y), std::abs(p.z)});
    }
    return height <= kFloatSteps * FLT_EPSILON * scale;
}

} // namespace

double signedVolume(const std::vector<float>& positions, const std::vector<std::uint32_t>& indices)
{
    double volume = 0.0;
    for (std::size_t t = 0; t + 2 < indices.size(); t += 3) {
        const Vec3 a = vertex(positions, indices[t]);
        const Vec3 b = vertex(positions, indices[t + 1]);
        const Vec3 c = vertex(positions, indices[t + 2]);
        volume += geo::dot(a, geo::cross(b, c)) / 6.0;
    }
    return volume;
}

std::size_t boundaryEdgeCount(const std::vector<std::uint32_t>& indices)
{
    std::unordered_map<std::uint64_t, int> edges;
    edges.reserve(indices.size());
    for (std::size_t t = 0; t + 2 < indices.size(); t += 3) {
        for (int k = 0; k < 3; ++k) {
            std::uint64_t a = indices[t + k];
            std::uint64_t b = indices[t + (k + 1) % 3];
            if (a > b) {
                std::swap(a, b);
            }
            ++edges[(a << 32) | b];
        }
    }
    return static_cast<std::size_t>(
        std::count_if(edges.begin(), edges.end(), [](const auto& e) { return e.second == 1; }));
}

ModelMesh finish(const PlyMesh& surface, const Options& options)
{
    std::vector<float> positions = surface.positions;
    std::vector<std::uint8_t> colors = surface.colors;
    if (colors.size() != positions.size()) {
        colors.clear();
    }
    const std::size_t vertexCount = positions.size() / 3;
    std::vector<std::uint32_t> welded = surface.indices;
    weld(positions, welded);

    // Crop by triangle centroid.
    std::vector<std::uint32_t> indices;
    indices.reserve(welded.size());
    for (std::size_t t = 0; t + 2 < welded.size(); t += 3) {
        const std::uint32_t a = welded[t], b = welded[t + 1], c = welded[t + 2];
        if (a >= vertexCount || b >= vertexCount || c >= vertexCount || a == b || b == c || a == c) {
            continue;
        }
        const Vec3 centroid = (vertex(positions, a) + vertex(positions, b) + vertex(positions, c)) / 3.0;
        if (std::hypot(centroid.x, centroid.z) > options.cropRadiusM || centroid.y < options.cropBottomM ||
            centroid.y > options.cropTopM) {
            continue;
        }
        indices.insert(indices.end(), {a, b, c});
    }

    // Connected components over shared vertices; small ones are reconstruction debris.
    std::vector<std::uint32_t> parent(vertexCount);
    std::iota(parent.begin(), parent.end(), 0u);
    for (std::size_t t = 0; t < indices.size(); t += 3) {
        for (int k = 1; k < 3; ++k) {
            const std::uint32_t ra = findRoot(parent, indices[t]);
            const std::uint32_t rb = findRoot(parent, indices[t + k]);
            if (ra != rb) {
                parent[rb] = ra;
            }
        }
    }
    std::unordered_map<std::uint32_t, std::size_t> componentTriangles;
    for (std::size_t t = 0; t < indices.size(); t += 3) {
        ++componentTriangles[findRoot(parent, indices[t])];
    }
    std::size_t largest = 0;
    for (const auto& [root, count] : componentTriangles) {
        largest = std::max(largest, count);
    }
    const auto threshold =
        static_cast<std::size_t>(std::ceil(options.minComponentFraction * static_cast<double>(largest)));
    std::vector<std::uint32_t> kept;
    kept.reserve(indices.size());
    for (std::size_t t = 0; t < indices.size(); t += 3) {
        if (componentTriangles[findRoot(parent, indices[t])] >= threshold) {
            kept.insert(kept.end(), indices.begin() + static_cast<std::ptrdiff_t>(t),
                        indices.begin() + static_cast<std::ptrdiff_t>(t) + 3);
        }
    }
    indices = std::move(kept);
    compact(positions, colors, indices);

    // Decimation to the level's cap.
    if (options.maxTriangles > 0 && indices.size() / 3 > options.maxTriangles) {
        const std::size_t target = options.maxTriangles * 3;
        std::vector<std::uint32_t> simplified(indices.size());
        std::size_t count =
            meshopt_simplify(simplified.data(), indices.data(), indices.size(), positions.data(),
                             positions.size() / 3, sizeof(float) * 3, target, 0.05f, 0, nullptr);
        if (count > target) {
            count = meshopt_simplifySloppy(simplified.data(), simplified.data(), count, positions.data(),
                                           positions.size() / 3, sizeof(float) * 3, target, 1.0f, nullptr);
        }
        simplified.resize(count);
        indices = std::move(simplified);
        compact(positions, colors, indices);
    }

    // Triangles without area (the surface tool's and the decimation's) carry nothing and trip up readers.
    {
        std::vector<std::uint32_t> solid;
        solid.reserve(indices.size());
        for (std::size_t t = 0; t + 2 < indices.size(); t += 3) {
            if (!isDegenerate(vertex(positions, indices[t]), vertex(positions, indices[t + 1]),
                              vertex(positions, indices[t + 2]))) {
                solid.insert(solid.end(), {indices[t], indices[t + 1], indices[t + 2]});
            }
        }
        if (solid.size() != indices.size()) {
            indices = std::move(solid);
            compact(positions, colors, indices);
        }
    }

    // Outward faces: a closed (or nearly closed) surface has positive signed volume about its own centroid.
    if (!indices.empty()) {
        Vec3 centre;
        for (std::size_t v = 0; v < positions.size() / 3; ++v) {
            centre += vertex(positions, static_cast<std::uint32_t>(v));
        }
        centre = centre / static_cast<double>(positions.size() / 3);
        std::vector<float> centred = positions;
        for (std::size_t v = 0; v < centred.size(); v += 3) {
            centred[v] -= static_cast<float>(centre.x);
            centred[v + 1] -= static_cast<float>(centre.y);
            centred[v + 2] -= static_cast<float>(centre.z);
        }
        if (signedVolume(centred, indices) < 0) {
            for (std::size_t t = 0; t < indices.size(); t += 3) {
                std::swap(indices[t + 1], indices[t + 2]);
            }
        }
    }

    ModelMesh mesh;
    mesh.positions = positions;
    mesh.indices = indices;
    const std::size_t finalVertices = positions.size() / 3;
    std::vector<Vec3> normals(finalVertices);
    for (std::size_t t = 0; t < indices.size(); t += 3) {
        const Vec3 a = vertex(positions, indices[t]);
        const Vec3 b = vertex(positions, indices[t + 1]);
        const Vec3 c = vertex(positions, indices[t + 2]);
        const Vec3 areaNormal = geo::cross(b - a, c - a); // length is twice the area: area weighting
        for (int k = 0; k < 3; ++k) {
            normals[indices[t + k]] += areaNormal;
        }
    }
    mesh.normals.reserve(finalVertices * 3);
    mesh.colors.reserve(finalVertices * 3);
    for (std::size_t v = 0; v < finalVertices; ++v) {
        Vec3 n = geo::normalized(normals[v]);
        if (geo::norm(n) == 0.0) {
            n = {0, 1, 0};
        }
        mesh.normals.insert(mesh.normals.end(),
                            {static_cast<float>(n.x), static_cast<float>(n.y), static_cast<float>(n.z)});
        for (int k = 0; k < 3; ++k) {
            mesh.colors.push_back(colors.empty() ? 0.7f : static_cast<float>(colors[3 * v + k]) / 255.0f);
        }
    }
    return mesh;
}

} // namespace tovarine::MeshCleanup
