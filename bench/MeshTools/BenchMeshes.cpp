#include "BenchMeshes.h"

#include "MeshTopology.h"

#include <cmath>
#include <random>

namespace tovarine::bench {

namespace {

struct Sphere
{
    MeshLists mesh;
    int rings = 0;
    int segments = 0;
};

Sphere latLongSphere(std::int64_t triangles, double radiusMm, double lumpiness, double noiseLevel,
                     std::uint32_t seed)
{
    // 2 × segments × (rings − 1) triangles with segments = 2 × rings.
    const int rings = std::max(4, static_cast<int>(std::sqrt(static_cast<double>(triangles) / 4.0)));
    const int segments = 2 * rings;
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> phase(0.0, 6.283185307179586);
    std::normal_distribution<double> noise(0.0, std::max(noiseLevel, 1e-300));
    const double p1 = phase(rng);
    const double p2 = phase(rng);
    const double pi = 3.141592653589793;
    auto at = [&](double theta, double phi) {
        const double r =
            radiusMm * (1.0 +
                        lumpiness * (0.12 * std::sin(3.0 * theta + p1) * std::cos(4.0 * phi + p2) +
                                     0.04 * std::sin(11.0 * phi + 7.0 * theta)) +
                        noise(rng));
        return Vec3{r * std::sin(theta) * std::cos(phi), r * std::sin(theta) * std::sin(phi),
                    r * std::cos(theta)};
    };
    Sphere s;
    s.rings = rings;
    s.segments = segments;
    MeshLists& mesh = s.mesh;
    mesh.positions.reserve(static_cast<std::size_t>(rings) * segments + 2);
    mesh.triangles.reserve(static_cast<std::size_t>(2 * segments) * rings);
    mesh.positions.push_back(at(0.0, 0.0));
    for (int ring = 1; ring < rings; ++ring) {
        for (int k = 0; k < segments; ++k) {
            mesh.positions.push_back(at(pi * ring / rings, 2.0 * pi * k / segments));
        }
    }
    mesh.positions.push_back(at(pi, 0.0));
    const auto south = static_cast<std::int64_t>(mesh.positions.size() - 1);
    auto ringVertex = [&](int ring, int k) {
        return static_cast<std::int64_t>(1 + static_cast<std::int64_t>(ring - 1) * segments + (k % segments));
    };
    for (int k = 0; k < segments; ++k) {
        mesh.triangles.push_back({0, ringVertex(1, k), ringVertex(1, k + 1)});
    }
    for (int ring = 1; ring + 1 < rings; ++ring) {
        for (int k = 0; k < segments; ++k) {
            const std::int64_t a = ringVertex(ring, k);
            const std::int64_t b = ringVertex(ring, k + 1);
            const std::int64_t c = ringVertex(ring + 1, k + 1);
            const std::int64_t d = ringVertex(ring + 1, k);
            mesh.triangles.push_back({a, d, c});
            mesh.triangles.push_back({a, c, b});
        }
    }
    for (int k = 0; k < segments; ++k) {
        mesh.triangles.push_back({south, ringVertex(rings - 1, k + 1), ringVertex(rings - 1, k)});
    }
    return s;
}

// A cube's six faces split into n × n quads, pushed onto a lumpy sphere: evenly sized triangles, like a
// remeshed scan. Welded.
MeshLists cubeSphere(std::int64_t triangles, double radiusMm, double lumpiness, double noiseLevel,
                     std::uint32_t seed)
{
    const int n = std::max(2, static_cast<int>(std::sqrt(static_cast<double>(triangles) / 12.0)));
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> phase(0.0, 6.283185307179586);
    std::normal_distribution<double> noise(0.0, std::max(noiseLevel, 1e-300));
    const double p1 = phase(rng);
    const double p2 = phase(rng);
    MeshLists mesh;
    struct Side
    {
        int axis;
        double sign;
        int u;
        int v;
    };
    const Side sides[6] = {{0, -1, 2, 1}, {0, 1, 1, 2},  {1, -1, 0, 2},
                           {1, 1, 2, 0},  {2, -1, 1, 0}, {2, 1, 0, 1}};
    for (const Side& side : sides) {
        const auto base = static_cast<std::int64_t>(mesh.positions.size());
        for (int j = 0; j <= n; ++j) {
            for (int i = 0; i <= n; ++i) {
                Vec3 c{};
                c[side.axis] = side.sign;
                c[side.u] = -1.0 + 2.0 * i / n;
                c[side.v] = -1.0 + 2.0 * j / n;
                const double len = std::sqrt(c[0] * c[0] + c[1] * c[1] + c[2] * c[2]);
                const double theta = std::acos(c[2] / len);
                const double phi = std::atan2(c[1], c[0]);
                const double r =
                    radiusMm * (1.0 +
                                lumpiness * (0.12 * std::sin(3.0 * theta + p1) * std::cos(4.0 * phi + p2) +
                                             0.04 * std::sin(11.0 * phi + 7.0 * theta)) +
                                noise(rng));
                mesh.positions.push_back({c[0] / len * r, c[1] / len * r, c[2] / len * r});
            }
        }
        for (int j = 0; j < n; ++j) {
            for (int i = 0; i < n; ++i) {
                const std::int64_t a = base + j * (n + 1) + i;
                mesh.triangles.push_back({a, a + 1, a + n + 2});
                mesh.triangles.push_back({a, a + n + 2, a + n + 1});
            }
        }
    }
    return MeshTopology::weld(mesh.positions, mesh.triangles);
}

} // namespace

MeshLists lumpySphere(std::int64_t triangles, double radiusMm, double lumpiness, double noise,
                      std::uint32_t seed)
{
    return latLongSphere(triangles, radiusMm, lumpiness, noise, seed).mesh;
}

MeshLists openScan(std::int64_t triangles, std::uint32_t seed)
{
    // About 80 % of the sphere is kept, so start from a larger one.
    Sphere s = latLongSphere(triangles * 5 / 4, 60.0, 1.0, 0.0005, seed);
    // Drop the bands below 80 % of the way to the south pole: the scan's open underside.
    const auto keepRings = static_cast<std::size_t>(s.rings * 0.8);
    s.mesh.triangles.resize(static_cast<std::size_t>(s.segments) * (1 + 2 * (keepRings - 1)));
    return s.mesh;
}

MeshLists closedShell(std::int64_t triangles, double innerScale, double lumpiness, double noise,
                      std::uint32_t seed)
{
    MeshLists outer = cubeSphere(triangles / 2, 40.0, lumpiness, noise, seed);
    // The cavity has lumps of its own (another seed), so the wall varies from place to place.
    const MeshLists inner = cubeSphere(triangles / 2, 40.0 * innerScale, lumpiness, noise, seed + 1000);
    const auto offset = static_cast<std::int64_t>(outer.positions.size());
    outer.positions.insert(outer.positions.end(), inner.positions.begin(), inner.positions.end());
    for (const MeshTriangle& t : inner.triangles) {
        outer.triangles.push_back({t[0] + offset, t[2] + offset, t[1] + offset});
    }
    return outer;
}

} // namespace tovarine::bench
