#include "SyntheticScene.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace synth {
namespace {

constexpr double kPi = std::numbers::pi;

Vec3f sub(const Vec3f& a, const Vec3f& b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
Vec3f crossf(const Vec3f& a, const Vec3f& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
Vec3f unit(const Vec3f& a)
{
    const double n = std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z);
    return n > 0 ? Vec3f{a.x / n, a.y / n, a.z / n} : a;
}

// Distance from the base centre to the surface along a direction (theta from +Y, phi around it), metres.
double domeRadius(double theta, double phi)
{
    return 0.08 * (1.0 + 0.15 * std::sin(3 * theta) * std::cos(2 * phi) +
                   0.08 * std::sin(5 * phi + 1.0) * std::sin(theta));
}

// The relief at a direction, in units of the relief height: -1 in a groove, +1 on a bump or the raised cap,
// 0 elsewhere. Every feature has sharp edges.
double reliefShape(double theta, double phi)
{
    // The raised cap around the top, ending in a ledge.
    if (theta < 0.3) {
        return 1;
    }
    // Eight grooves along the meridians, 3 degrees wide, from below the cap to near the ground.
    const double sector = kPi / 4;
    const double fromGroove = std::abs(std::remainder(phi, sector));
    if (theta > 0.4 && theta < 1.35 && fromGroove < 1.5 * kPi / 180) {
        return -1;
    }
    // A ring groove halfway down.
    if (std::abs(theta - 0.85) < 0.015) {
        return -1;
    }
    // Flat-topped round bumps between the grooves, two rows.
    for (const double row : {0.6, 1.1}) {
        const double bumpPhi = sector / 2 + (row > 1 ? sector / 4 : 0);
        const double dPhi = std::remainder(phi - bumpPhi, sector) * std::sin(row);
        if (std::hypot(theta - row, dPhi) < 0.06) {
            return 1;
        }
    }
    return 0;
}

} // namespace

SyntheticScene::SyntheticScene(std::uint32_t seed, bool relief) : m_seed(seed)
{
    // The object: a dome, star-shaped from its base centre on the ground (so every part of it is visible from
    // cameras above), stretched along x and y; its rim rests on the ground. The relief needs a finer mesh to
    // keep its edges sharp (about 0.4 mm between vertices).
    const int rings = relief ? 400 : 100;
    const int segments = relief ? 1280 : 320;
    // 1 % of the height the dome has without relief (1.3 times its radius at the top).
    m_reliefM = relief ? 0.01 * 1.3 * domeRadius(0, 0) : 0.0;
    for (int r = 0; r <= rings; ++r) {
        const double theta = 0.5 * kPi * r / rings;
        for (int s = 0; s < segments; ++s) {
            const double phi = 2 * kPi * s / segments;
            const double shape = relief ? reliefShape(theta, phi) : 0.0;
            const double radius = domeRadius(theta, phi) + shape * m_reliefM;
            m_mesh.positions.push_back({1.2 * radius * std::sin(theta) * std::cos(phi),
                                        1.3 * radius * std::cos(theta),
                                        radius * std::sin(theta) * std::sin(phi)});
            if (shape != 0) {
                m_reliefPoints.push_back(m_mesh.positions.back());
            }
        }
    }
    for (const Vec3f& p : m_mesh.positions) {
        m_heightM = std::max(m_heightM, p.y);
    }
    m_centre = {0, 0.45 * m_heightM, 0};
    auto vertexIndex = [&](int r, int s) {
        return static_cast<std::uint32_t>(r * segments + (s % segments));
    };
    for (int r = 0; r < rings; ++r) {
        for (int s = 0; s < segments; ++s) {
            const std::uint32_t a = vertexIndex(r, s), b = vertexIndex(r, s + 1), c = vertexIndex(r + 1, s),
                                d = vertexIndex(r + 1, s + 1);
            // Counter-clockwise seen from outside.
            if (r > 0) {
                m_mesh.indices.insert(m_mesh.indices.end(), {a, b, c});
                m_mesh.isGround.push_back(0);
            }
            m_mesh.indices.insert(m_mesh.indices.end(), {b, d, c});
            m_mesh.isGround.push_back(0);
        }
    }
    m_rimStart = static_cast<std::uint32_t>(rings * segments);
    m_rimSegments = segments;
    m_objectTriangles = m_mesh.isGround.size();
    // Smooth vertex normals of the dome.
    m_mesh.normals.assign(m_mesh.positions.size(), {0, 0, 0});
    for (std::size_t t = 0; t < m_mesh.indices.size(); t += 3) {
        const Vec3f& p0 = m_mesh.positions[m_mesh.indices[t]];
        const Vec3f n = crossf(sub(m_mesh.positions[m_mesh.indices[t + 1]], p0),
                               sub(m_mesh.positions[m_mesh.indices[t + 2]], p0));
        for (int k = 0; k < 3; ++k) {
            Vec3f& acc = m_mesh.normals[m_mesh.indices[t + k]];
            acc = {acc.x + n.x, acc.y + n.y, acc.z + n.z};
        }
    }
    for (Vec3f& n : m_mesh.normals) {
        n = unit(n);
    }

    // The ground: a 2.4 m square of 2 cm cells at y = 0.
    const int cells = 120;
    const double half = 1.2;
    const auto base = static_cast<std::uint32_t>(m_mesh.positions.size());
    for (int i = 0; i <= cells; ++i) {
        for (int j = 0; j <= cells; ++j) {
            m_mesh.positions.push_back({-half + 2 * half * i / cells, 0, -half + 2 * half * j / cells});
            m_mesh.normals.push_back({0, 1, 0});
        }
    }
    for (int i = 0; i < cells; ++i) {
        for (int j = 0; j < cells; ++j) {
            const std::uint32_t a = base + i * (cells + 1) + j, b = a + 1, c = a + (cells + 1), d = c + 1;
            m_mesh.indices.insert(m_mesh.indices.end(), {a, b, c, b, d, c});
            m_mesh.isGround.push_back(1);
            m_mesh.isGround.push_back(1);
        }
    }
}

SceneMesh SyntheticScene::objectSurface() const
{
    // The dome's vertices come first in the scene, the ground's after them.
    const std::ptrdiff_t objectVertices = std::ptrdiff_t(m_rimStart) + std::ptrdiff_t(m_rimSegments);
    SceneMesh object;
    object.positions.assign(m_mesh.positions.begin(), m_mesh.positions.begin() + objectVertices);
    object.normals.assign(m_mesh.normals.begin(), m_mesh.normals.begin() + objectVertices);
    object.indices.assign(m_mesh.indices.begin(),
                          m_mesh.indices.begin() + static_cast<std::ptrdiff_t>(m_objectTriangles * 3));
    // Close it with the flat base on the ground (never rendered: the ground hides it).
    const auto centre = static_cast<std::uint32_t>(object.positions.size());
    object.positions.push_back({0, 0, 0});
    object.normals.push_back({0, -1, 0});
    for (std::uint32_t s = 0; s < m_rimSegments; ++s) {
        object.indices.insert(object.indices.end(),
                              {centre, m_rimStart + s, m_rimStart + (s + 1) % m_rimSegments});
    }
    object.isGround.assign(object.indices.size() / 3, 0);
    return object;
}

double SyntheticScene::noise(double x, double y, double z) const
{
    const double fx = std::floor(x), fy = std::floor(y), fz = std::floor(z);
    const auto ix = static_cast<std::int64_t>(fx), iy = static_cast<std::int64_t>(fy),
               iz = static_cast<std::int64_t>(fz);
    auto hash = [this](std::int64_t a, std::int64_t b, std::int64_t c) {
        std::uint64_t h = static_cast<std::uint64_t>(a) * 0x9E3779B97F4A7C15ull ^
                          static_cast<std::uint64_t>(b) * 0xC2B2AE3D27D4EB4Full ^
                          static_cast<std::uint64_t>(c) * 0x165667B19E3779F9ull ^ m_seed;
        h ^= h >> 31;
        h *= 0xBF58476D1CE4E5B9ull;
        h ^= h >> 29;
        return static_cast<double>(h >> 11) / static_cast<double>(1ull << 53);
    };
    auto smooth = [](double t) { return t * t * (3 - 2 * t); };
    const double tx = smooth(x - fx), ty = smooth(y - fy), tz = smooth(z - fz);
    double result = 0;
    for (int dx = 0; dx < 2; ++dx) {
        for (int dy = 0; dy < 2; ++dy) {
            for (int dz = 0; dz < 2; ++dz) {
                const double w = (dx ? tx : 1 - tx) * (dy ? ty : 1 - ty) * (dz ? tz : 1 - tz);
                result += w * hash(ix + dx, iy + dy, iz + dz);
            }
        }
    }
    return result;
}

double SyntheticScene::fbm(double x, double y, double z, int octaves) const
{
    double sum = 0, amplitude = 0.5, total = 0;
    for (int o = 0; o < octaves; ++o) {
        sum += amplitude * noise(x, y, z);
        total += amplitude;
        x *= 2.03;
        y *= 2.03;
        z *= 2.03;
        amplitude *= 0.55;
    }
    return sum / total;
}

std::array<double, 3> SyntheticScene::shade(const Vec3f& p, const Vec3f& n, bool ground) const
{
    std::array<double, 3> colour{};
    if (ground) {
        // Stone-like ground: tiles of varying tone with fine speckle.
        const double tone = fbm(p.x * 25, 3.7, p.z * 25, 4);
        const double speckle = fbm(p.x * 400, 11.0, p.z * 400, 3);
        const double tile =
            ((static_cast<int>(std::floor(p.x * 12)) + static_cast<int>(std::floor(p.z * 12))) & 1) ? 0.85
                                                                                                    : 1.0;
        const double v = tile * (0.25 + 0.5 * tone + 0.35 * (speckle - 0.5));
        colour = {v * 0.95, v * 0.85, v * 0.7};
    } else {
        // The object: colourful blotches with sharp-edged dark marks at several scales.
        const double hue = fbm(p.x * 30, p.y * 30, p.z * 30, 3);
        const double detail = fbm(p.x * 260, p.y * 260, p.z * 260, 4);
        const double marks = fbm(p.x * 90 + 5, p.y * 90, p.z * 90, 3) > 0.62 ? 0.25 : 1.0;
        const double v = marks * (0.45 + 0.6 * (detail - 0.5) + 0.3);
        for (int c = 0; c < 3; ++c) {
            colour[c] = v * (0.55 + 0.45 * std::cos(2 * kPi * (hue * 1.7 + c / 3.0)));
        }
    }
    // Fixed light from above and to one side, plus ambient light.
    const Vec3f light = unit({0.4, 1.0, 0.3});
    const double diffuse = std::max(0.0, n.x * light.x + n.y * light.y + n.z * light.z);
    const double lit = 0.45 + 0.65 * diffuse;
    for (double& c : colour) {
        c = std::clamp(c * lit, 0.0, 1.0);
    }
    return colour;
}

} // namespace synth
