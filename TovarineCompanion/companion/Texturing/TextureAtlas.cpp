#include "TextureAtlas.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>
#include <unordered_map>

namespace tovarine::TextureAtlas {

namespace {

struct Chart
{
    std::vector<std::uint32_t> triangles;
    int axis = 0;          // 0 x, 1 y, 2 z: the axis the chart is projected along
    double lo[2] = {0, 0}; // bounding box in the projection plane, metres
    double hi[2] = {0, 0};
    int widthPx = 0; // packed rectangle, padding included
    int heightPx = 0;
    int x = 0; // its place in the atlas (top-left, rows growing downwards)
    int y = 0;
};

std::uint32_t findRoot(std::vector<std::uint32_t>& parent, std::uint32_t i)
{
    while (parent[i] != i) {
        parent[i] = parent[parent[i]];
        i = parent[i];
    }
    return i;
}

// The two coordinates a point keeps when projected along `axis`.
std::array<int, 2> planeAxes(int axis)
{
    return axis == 0   ? std::array<int, 2>{1, 2}
           : axis == 1 ? std::array<int, 2>{0, 2}
                       : std::array<int, 2>{0, 1};
}

// Shelf packing of the charts (sorted by height, tallest first) into a `side`-wide atlas at `scale` texels
// per metre; false when they do not fit in height.
bool pack(std::vector<Chart>& charts, const std::vector<std::size_t>& order, double scale, int padding,
          int side)
{
    for (Chart& chart : charts) {
        chart.widthPx = int(std::ceil((chart.hi[0] - chart.lo[0]) * scale)) + 1 + 2 * padding;
        chart.heightPx = int(std::ceil((chart.hi[1] - chart.lo[1]) * scale)) + 1 + 2 * padding;
        if (chart.widthPx > side || chart.heightPx > side) {
            return false;
        }
    }
    std::vector<std::size_t> sorted = order;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [&](std::size_t a, std::size_t b) { return charts[a].heightPx > charts[b].heightPx; });
    int x = 0;
    int y = 0;
    int shelfHeight = 0;
    for (std::size_t index : sorted) {
        Chart& chart = charts[index];
        if (x + chart.widthPx > side) {
            y += shelfHeight;
            x = 0;
            shelfHeight = 0;
        }
        if (y + chart.heightPx > side) {
            return false;
        }
        chart.x = x;
        chart.y = y;
        x += chart.widthPx;
        shelfHeight = std::max(shelfHeight, chart.heightPx);
    }
    return true;
}

} // namespace

Expected<Layout, QString> build(const ModelMesh& mesh, const Options& options)
{
    const std::size_t vertexCount = mesh.vertexCount();
    const std::size_t triangleCount = mesh.triangleCount();
    if (triangleCount == 0) {
        return unexpected(QStringLiteral("The model has no triangles to lay out a texture for."));
    }
    if (std::any_of(mesh.indices.begin(), mesh.indices.end(),
                    [vertexCount](std::uint32_t i) { return i >= vertexCount; })) {
        return unexpected(
            QStringLiteral("The model is malformed: a triangle names a vertex it does not have."));
    }
    if (options.sizePx < 16 || options.paddingPx < 0 || options.paddingPx * 4 >= options.sizePx) {
        return unexpected(
            QStringLiteral("The texture size %1 is too small for a texture layout.").arg(options.sizePx));
    }
    const auto position = [&](std::uint32_t v, int a) {
        return double(mesh.positions[3 * std::size_t(v) + a]);
    };

    // The axis direction each triangle leans toward most: 0..5 for +x, -x, +y, -y, +z, -z.
    std::vector<std::uint8_t> direction(triangleCount, 0);
    for (std::size_t t = 0; t < triangleCount; ++t) {
        const std::uint32_t* v = &mesh.indices[3 * t];
        double e1[3];
        double e2[3];
        for (int a = 0; a < 3; ++a) {
            e1[a] = position(v[1], a) - position(v[0], a);
            e2[a] = position(v[2], a) - position(v[0], a);
        }
        const double n[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
                             e1[0] * e2[1] - e1[1] * e2[0]};
        int axis = 0;
        for (int a = 1; a < 3; ++a) {
            if (std::abs(n[a]) > std::abs(n[axis])) {
                axis = a;
            }
        }
        direction[t] = std::uint8_t(2 * axis + (n[axis] < 0 ? 1 : 0));
    }

    // Charts: triangles of one direction joined across shared edges.
    std::vector<std::uint32_t> parent(triangleCount);
    std::iota(parent.begin(), parent.end(), 0U);
    std::unordered_map<std::uint64_t, std::uint32_t> edgeOwner;
    edgeOwner.reserve(triangleCount * 2);
    for (std::size_t t = 0; t < triangleCount; ++t) {
        for (int k = 0; k < 3; ++k) {
            const std::uint32_t a = mesh.indices[3 * t + k];
            const std::uint32_t b = mesh.indices[3 * t + (k + 1) % 3];
            const std::uint64_t key = (std::uint64_t(std::min(a, b)) << 32) | std::max(a, b);
            const auto [it, inserted] = edgeOwner.try_emplace(key, std::uint32_t(t));
            if (!inserted && direction[it->second] == direction[t]) {
                parent[findRoot(parent, std::uint32_t(t))] = findRoot(parent, it->second);
            }
        }
    }
    std::vector<Chart> charts;
    std::unordered_map<std::uint32_t, std::uint32_t> chartOfRoot;
    Layout layout;
    layout.triangleChart.resize(triangleCount);
    for (std::size_t t = 0; t < triangleCount; ++t) {
        const std::uint32_t root = findRoot(parent, std::uint32_t(t));
        const auto [it, inserted] = chartOfRoot.try_emplace(root, std::uint32_t(charts.size()));
        if (inserted) {
            Chart chart;
            chart.axis = direction[t] / 2;
            charts.push_back(chart);
        }
        charts[it->second].triangles.push_back(std::uint32_t(t));
        layout.triangleChart[t] = it->second;
    }

    double projectedArea = 0.0;
    for (Chart& chart : charts) {
        const auto axes = planeAxes(chart.axis);
        chart.lo[0] = chart.lo[1] = 1e300;
        chart.hi[0] = chart.hi[1] = -1e300;
        for (std::uint32_t t : chart.triangles) {
            for (int k = 0; k < 3; ++k) {
                for (int c = 0; c < 2; ++c) {
                    const double p = position(mesh.indices[3 * std::size_t(t) + k], axes[c]);
                    chart.lo[c] = std::min(chart.lo[c], p);
                    chart.hi[c] = std::max(chart.hi[c], p);
                }
            }
        }
        projectedArea += (chart.hi[0] - chart.lo[0]) * (chart.hi[1] - chart.lo[1]);
    }

    // The common density: start from the charts' box area filling most of the atlas, shrink until they fit.
    const int side = options.sizePx;
    const int padding = options.paddingPx;
    std::vector<std::size_t> order(charts.size());
    std::iota(order.begin(), order.end(), std::size_t(0));
    double scale = projectedArea > 0 ? std::sqrt(0.8 * double(side) * side / projectedArea) : 1.0;
    for (int attempt = 0;; ++attempt) {
        if (pack(charts, order, scale, padding, side)) {
            break;
        }
        if (attempt > 200 || scale < 1e-9) {
            return unexpected(QStringLiteral("The model's %1 texture charts do not fit a %2 × %2 texture.")
                                  .arg(charts.size())
                                  .arg(side));
        }
        scale *= 0.95;
    }

    // Split vertices per chart and write the texture coordinates.
    ModelMesh& out = layout.mesh;
    const bool hasNormals = mesh.normals.size() == vertexCount * 3;
    const bool hasColors = mesh.colors.size() == vertexCount * 3;
    out.indices.resize(mesh.indices.size());
    std::unordered_map<std::uint32_t, std::uint32_t> copyOf;
    for (const Chart& chart : charts) {
        copyOf.clear();
        const auto axes = planeAxes(chart.axis);
        for (std::uint32_t t : chart.triangles) {
            for (int k = 0; k < 3; ++k) {
                const std::uint32_t source = mesh.indices[3 * std::size_t(t) + k];
                const auto [it, inserted] =
                    copyOf.try_emplace(source, std::uint32_t(layout.sourceVertex.size()));
                if (inserted) {
                    layout.sourceVertex.push_back(source);
                    for (int a = 0; a < 3; ++a) {
                        out.positions.push_back(mesh.positions[3 * std::size_t(source) + a]);
                        if (hasNormals) {
                            out.normals.push_back(mesh.normals[3 * std::size_t(source) + a]);
                        }
                        if (hasColors) {
                            out.colors.push_back(mesh.colors[3 * std::size_t(source) + a]);
                        }
                    }
                    const double px =
                        chart.x + padding + 0.5 + (position(source, axes[0]) - chart.lo[0]) * scale;
                    const double py =
                        chart.y + padding + 0.5 + (position(source, axes[1]) - chart.lo[1]) * scale;
                    out.texcoords.push_back(float(px / side));
                    out.texcoords.push_back(float(1.0 - py / side));
                }
                out.indices[3 * std::size_t(t) + k] = it->second;
            }
        }
    }
    layout.chartCount = int(charts.size());
    layout.texelsPerMetre = scale;
    return layout;
}

} // namespace tovarine::TextureAtlas
