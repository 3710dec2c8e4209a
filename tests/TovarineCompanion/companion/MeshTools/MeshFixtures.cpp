#include "MeshFixtures.h"

#include <QFile>
#include <QStringList>
#include <charconv>
#include <cmath>
#include <random>

namespace tovarine::test {

MeshLists subdividedBox(const Vec3& lo, const Vec3& hi, int n, bool inward)
{
    MeshLists mesh;
    // Each side: a fixed axis and value, and two in-plane axes (u, v) ordered so u × v points outward.
    struct Side
    {
        int axis;
        bool high;
        int u;
        int v;
    };
    const Side sides[6] = {{0, false, 2, 1}, {0, true, 1, 2},  {1, false, 0, 2},
                           {1, true, 2, 0},  {2, false, 1, 0}, {2, true, 0, 1}};
    for (const Side& side : sides) {
        const auto base = static_cast<std::int64_t>(mesh.positions.size());
        for (int j = 0; j <= n; ++j) {
            for (int i = 0; i <= n; ++i) {
                Vec3 p{};
                p[side.axis] = side.high ? hi[side.axis] : lo[side.axis];
                p[side.u] = lo[side.u] + (hi[side.u] - lo[side.u]) * i / n;
                p[side.v] = lo[side.v] + (hi[side.v] - lo[side.v]) * j / n;
                mesh.positions.push_back(p);
            }
        }
        for (int j = 0; j < n; ++j) {
            for (int i = 0; i < n; ++i) {
                const std::int64_t a = base + j * (n + 1) + i;
                const std::int64_t b = a + 1;
                const std::int64_t c = a + (n + 1) + 1;
                const std::int64_t d = a + (n + 1);
                if (inward) {
                    mesh.triangles.push_back({a, c, b});
                    mesh.triangles.push_back({a, d, c});
                } else {
                    mesh.triangles.push_back({a, b, c});
                    mesh.triangles.push_back({a, c, d});
                }
            }
        }
    }
    return mesh;
}

MeshLists box(const Vec3& lo, const Vec3& hi, bool inward)
{
    MeshLists mesh;
    for (int k = 0; k < 8; ++k) {
        mesh.positions.push_back({(k & 1) ? hi[0] : lo[0], (k & 2) ? hi[1] : lo[1], (k & 4) ? hi[2] : lo[2]});
    }
    // Outward-wound sides of the corner cube (index bits: x = 1, y = 2, z = 4).
    const MeshTriangle outward[12] = {{0, 2, 3}, {0, 3, 1}, {4, 5, 7}, {4, 7, 6}, {0, 1, 5}, {0, 5, 4},
                                      {2, 6, 7}, {2, 7, 3}, {0, 4, 6}, {0, 6, 2}, {1, 3, 7}, {1, 7, 5}};
    for (const MeshTriangle& t : outward) {
        mesh.triangles.push_back(inward ? MeshTriangle{t[0], t[2], t[1]} : t);
    }
    return mesh;
}

MeshLists merged(MeshLists a, const MeshLists& b)
{
    const auto offset = static_cast<std::int64_t>(a.positions.size());
    a.positions.insert(a.positions.end(), b.positions.begin(), b.positions.end());
    for (const MeshTriangle& t : b.triangles) {
        a.triangles.push_back({t[0] + offset, t[1] + offset, t[2] + offset});
    }
    return a;
}

MeshLists hollowBox(const Vec3& lo, const Vec3& hi, double wallMm, int subdivisions)
{
    const Vec3 innerLo{lo[0] + wallMm, lo[1] + wallMm, lo[2] + wallMm};
    const Vec3 innerHi{hi[0] - wallMm, hi[1] - wallMm, hi[2] - wallMm};
    return merged(subdividedBox(lo, hi, subdivisions), subdividedBox(innerLo, innerHi, subdivisions, true));
}

MeshLists sheet(int n, double size)
{
    MeshLists mesh;
    for (int j = 0; j <= n; ++j) {
        for (int i = 0; i <= n; ++i) {
            mesh.positions.push_back({size * i / n, size * j / n, 0.0});
        }
    }
    for (int j = 0; j < n; ++j) {
        for (int i = 0; i < n; ++i) {
            const std::int64_t a = j * (n + 1) + i;
            mesh.triangles.push_back({a, a + 1, a + n + 2});
            mesh.triangles.push_back({a, a + n + 2, a + n + 1});
        }
    }
    return mesh;
}

MeshLists randomTriangles(int count, std::uint32_t seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> where(0.0, 10.0);
    std::uniform_real_distribution<double> spread(-1.5, 1.5);
    MeshLists mesh;
    for (int t = 0; t < count; ++t) {
        const Vec3 c{where(rng), where(rng), where(rng)};
        const auto base = static_cast<std::int64_t>(mesh.positions.size());
        for (int k = 0; k < 3; ++k) {
            mesh.positions.push_back({c[0] + spread(rng), c[1] + spread(rng), c[2] + spread(rng)});
        }
        mesh.triangles.push_back({base, base + 1, base + 2});
    }
    return mesh;
}

MeshLists lumpySphere(int rings, int segments, double radius, std::uint32_t seed, double lumpiness)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> phase(0.0, 6.283185307179586);
    const double p1 = phase(rng);
    const double p2 = phase(rng);
    auto at = [&](double theta, double phi) {
        const double r =
            radius * (1.0 + lumpiness * (0.12 * std::sin(3.0 * theta + p1) * std::cos(4.0 * phi + p2) +
                                         0.04 * std::sin(11.0 * phi + 7.0 * theta)));
        return Vec3{r * std::sin(theta) * std::cos(phi), r * std::sin(theta) * std::sin(phi),
                    r * std::cos(theta)};
    };
    const double pi = 3.141592653589793;
    MeshLists mesh;
    mesh.positions.push_back(at(0.0, 0.0));
    for (int ring = 1; ring < rings; ++ring) {
        for (int s = 0; s < segments; ++s) {
            mesh.positions.push_back(at(pi * ring / rings, 2.0 * pi * s / segments));
        }
    }
    mesh.positions.push_back(at(pi, 0.0));
    const auto south = static_cast<std::int64_t>(mesh.positions.size() - 1);
    auto ringVertex = [&](int ring, int s) {
        return static_cast<std::int64_t>(1 + (ring - 1) * segments + (s % segments));
    };
    for (int s = 0; s < segments; ++s) {
        mesh.triangles.push_back({0, ringVertex(1, s), ringVertex(1, s + 1)});
    }
    for (int ring = 1; ring + 1 < rings; ++ring) {
        for (int s = 0; s < segments; ++s) {
            const std::int64_t a = ringVertex(ring, s);
            const std::int64_t b = ringVertex(ring, s + 1);
            const std::int64_t c = ringVertex(ring + 1, s + 1);
            const std::int64_t d = ringVertex(ring + 1, s);
            mesh.triangles.push_back({a, d, c});
            mesh.triangles.push_back({a, c, b});
        }
    }
    for (int s = 0; s < segments; ++s) {
        mesh.triangles.push_back({south, ringVertex(rings - 1, s + 1), ringVertex(rings - 1, s)});
    }
    return mesh;
}

std::string numberText(double value, int significant)
{
    char buffer[64];
    const std::to_chars_result written =
        significant > 0
            ? std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, significant)
            : std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, written.ptr);
}

std::string objText(const MeshLists& mesh)
{
    std::string text;
    char buffer[64];
    for (const Vec3& p : mesh.positions) {
        text += 'v';
        for (double c : p) {
            text += ' ' + numberText(c);
        }
        text += '\n';
    }
    for (const MeshTriangle& t : mesh.triangles) {
        text += 'f';
        for (std::int64_t index : t) {
            text += ' ';
            text.append(buffer, std::to_chars(buffer, buffer + sizeof buffer, index + 1).ptr);
        }
        text += '\n';
    }
    return text;
}

bool writeFile(const QString& path, const std::string& text)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    return file.write(text.data(), static_cast<qint64>(text.size())) == static_cast<qint64>(text.size());
}

QStringList readLines(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty()) {
        lines.removeLast();
    }
    return lines;
}

} // namespace tovarine::test

namespace tovarine::MeshTopology {
void PrintTo(const EdgeReport& report, std::ostream* os)
{
    *os << "(" << report.open << ", " << report.nonManifold << ", " << report.flipped << ")";
}
} // namespace tovarine::MeshTopology
