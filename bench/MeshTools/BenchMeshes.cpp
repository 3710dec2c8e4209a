#include "BenchMeshes.h"

#include "MeshTopology.h"

#include <algorithm>
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

MeshLists displacedSphere(std::int64_t triangles, double radiusMm, bool shuffled, std::uint32_t seed)
{
    MeshLists mesh = cubeSphere(triangles, radiusMm, 0.0, 0.0, seed);
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> phase(0.0, 6.283185307179586);
    struct Wave
    {
        Vec3 k;
        double phase;
        double amplitude;
    };
    // Bumps from a tenth of the radius down to a fraction of a millimetre, like an object's shape, its
    // surface detail and the reconstruction's noise.
    std::vector<Wave> waves;
    std::normal_distribution<double> direction(0.0, 1.0);
    for (int octave = 0; octave < 6; ++octave) {
        const double frequency = 0.05 * std::pow(2.2, octave); // per millimetre
        const double amplitude = radiusMm * 0.08 / std::pow(2.4, octave);
        for (int w = 0; w < 3; ++w) {
            Vec3 k{direction(rng), direction(rng), direction(rng)};
            const double len = std::sqrt(k[0] * k[0] + k[1] * k[1] + k[2] * k[2]);
            waves.push_back({{k[0] / len * frequency, k[1] / len * frequency, k[2] / len * frequency},
                             phase(rng),
                             amplitude});
        }
    }
    for (Vec3& p : mesh.positions) {
        double bump = 0.0;
        for (const Wave& w : waves) {
            bump += w.amplitude * std::sin(w.k[0] * p[0] + w.k[1] * p[1] + w.k[2] * p[2] + w.phase);
        }
        const double len = std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
        const double scale = (len + bump) / len;
        p = {p[0] * scale, p[1] * scale, p[2] * scale};
    }
    if (shuffled) {
        std::shuffle(mesh.triangles.begin(), mesh.triangles.end(), rng);
    }
    return mesh;
}

MeshLists fannedCylinder(std::int64_t triangles, double radiusMm, double heightMm)
{
    // 2n side triangles and 2 × (n − 2) cap triangles.
    const auto n = std::max<std::int64_t>(3, (triangles + 4) / 4);
    MeshLists mesh;
    const double step = 6.283185307179586 / static_cast<double>(n);
    for (std::int64_t k = 0; k < n; ++k) {
        const double a = step * static_cast<double>(k);
        mesh.positions.push_back({radiusMm * std::cos(a), radiusMm * std::sin(a), 0.0});
    }
    for (std::int64_t k = 0; k < n; ++k) {
        const double a = step * static_cast<double>(k);
        mesh.positions.push_back({radiusMm * std::cos(a), radiusMm * std::sin(a), heightMm});
    }
    for (std::int64_t k = 0; k < n; ++k) {
        const std::int64_t next = (k + 1) % n;
        mesh.triangles.push_back({k, next, next + n});
        mesh.triangles.push_back({k, next + n, k + n});
    }
    for (std::int64_t k = 1; k + 1 < n; ++k) {
        mesh.triangles.push_back({0, k + 1, k});         // bottom, facing down
        mesh.triangles.push_back({n, n + k, n + k + 1}); // top, facing up
    }
    return mesh;
}

MeshLists cutBottom(const MeshLists& mesh, double fraction)
{
    double lo = INFINITY;
    double hi = -INFINITY;
    for (const Vec3& p : mesh.positions) {
        lo = std::min(lo, p[2]);
        hi = std::max(hi, p[2]);
    }
    const double cut = lo + (hi - lo) * fraction;
    MeshLists open;
    open.positions = mesh.positions;
    for (const MeshTriangle& t : mesh.triangles) {
        bool below = true;
        for (std::int64_t v : t) {
            below = below && mesh.positions[static_cast<std::size_t>(v)][2] <= cut;
        }
        if (!below) {
            open.triangles.push_back(t);
        }
    }
    return open;
}

} // namespace tovarine::bench
