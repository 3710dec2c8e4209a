#include "MorvelSceneGeometry.h"

#include <cmath>

namespace tovarine::MorvelSceneGeometry {

namespace {

void widen(BoundingBox& bounds, const QVector3D& point)
{
    for (int axis = 0; axis < 3; ++axis) {
        const float value = point[axis];
        if (std::isnan(value)) {
            continue;
        }
        // A bound still not a number (from the first point) takes the first number it meets.
        if (value < bounds.min[axis] || std::isnan(bounds.min[axis])) {
            bounds.min[axis] = value;
        }
        if (value > bounds.max[axis] || std::isnan(bounds.max[axis])) {
            bounds.max[axis] = value;
        }
    }
}

} // namespace

std::vector<QVector3D> points(const std::vector<float>& flat)
{
    const std::size_t count = flat.size() / 3;
    std::vector<QVector3D> result;
    result.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const float x = flat[3 * i];
        const float y = flat[3 * i + 1];
        const float z = flat[3 * i + 2];
        result.emplace_back(x / 1000.0f, z / 1000.0f, -y / 1000.0f);
    }
    return result;
}

MorvelEdgeClass edgeClass(double creaseWeight)
{
    if (!(creaseWeight > 0.0)) {
        return MorvelEdgeClass::plain;
    }
    return creaseWeight < kHardCreaseWeight ? MorvelEdgeClass::softCrease : MorvelEdgeClass::hardCrease;
}

QColor lineColor(MorvelEdgeClass edgeClass)
{
    switch (edgeClass) {
    case MorvelEdgeClass::plain:
        return QColor::fromRgbF(0.0f, 1.0f, 1.0f, 0.75f);
    case MorvelEdgeClass::softCrease:
        return QColor::fromRgbF(1.0f, 1.0f, 0.0f);
    case MorvelEdgeClass::hardCrease:
        return QColor::fromRgbF(1.0f, 0.5f, 0.0f);
    }
    return {};
}

MorvelSurfaceGeometry surface(const MorvelPreview& preview)
{
    MorvelSurfaceGeometry result;
    result.positions = points(preview.limitPositions);
    const std::vector<QVector3D>& p = result.positions;
    const std::size_t vertexCount = p.size();
    result.normals.assign(vertexCount, QVector3D());

    const std::vector<std::uint32_t>& triangles = preview.limitTriangles;
    result.triangles.reserve(triangles.size() - triangles.size() % 3);
    for (std::size_t t = 0; t + 2 < triangles.size(); t += 3) {
        const std::uint32_t i0 = triangles[t];
        const std::uint32_t i1 = triangles[t + 1];
        const std::uint32_t i2 = triangles[t + 2];
        if (i0 >= vertexCount || i1 >= vertexCount || i2 >= vertexCount) {
            continue;
        }
        // Not normalised: larger triangles weigh more.
        const QVector3D n = QVector3D::crossProduct(p[i1] - p[i0], p[i2] - p[i0]);
        result.normals[i0] += n;
        result.normals[i1] += n;
        result.normals[i2] += n;
        result.triangles.insert(result.triangles.end(), {i0, i1, i2});
    }
    for (QVector3D& n : result.normals) {
        // The length is taken in double precision and only a zero (or non-finite) sum counts as no normal:
        // QVector3D::normalized() treats lengths up to 1e-5 as zero, which in metres is the summed area of
        // every small scan's faces.
        const double x = n.x();
        const double y = n.y();
        const double z = n.z();
        const double length = std::sqrt(x * x + y * y + z * z);
        n = length > 0.0 && std::isfinite(length)
                ? QVector3D(float(x / length), float(y / length), float(z / length))
                : QVector3D(0.0f, 1.0f, 0.0f);
    }

    if (!p.empty()) {
        result.bounds = {p.front(), p.front()};
        for (const QVector3D& point : p) {
            widen(result.bounds, point);
        }
    }
    return result;
}

MorvelCageGeometry cage(const MorvelPreview& preview)
{
    MorvelCageGeometry result;
    result.positions = points(preview.cagePositions);
    const std::size_t vertexCount = result.positions.size();
    const std::vector<std::uint32_t>& edges = preview.cageEdges;
    for (std::size_t k = 0; 2 * k + 1 < edges.size(); ++k) {
        const std::uint32_t a = edges[2 * k];
        const std::uint32_t b = edges[2 * k + 1];
        if (a >= vertexCount || b >= vertexCount) {
            continue;
        }
        const double weight = k < preview.creaseWeights.size() ? preview.creaseWeights[k] : 0.0;
        std::vector<std::uint32_t>& lines = result.lines[std::size_t(edgeClass(weight))];
        lines.push_back(a);
        lines.push_back(b);
    }
    return result;
}

} // namespace tovarine::MorvelSceneGeometry
