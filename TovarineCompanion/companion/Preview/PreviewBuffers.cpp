#include "PreviewBuffers.h"

#include <QVector3D>
#include <algorithm>
#include <climits>
#include <cmath>
#include <limits>

namespace tovarine {

namespace {

QVector3D positionAt(const ModelMesh& mesh, std::size_t vertex)
{
    return {mesh.positions[3 * vertex], mesh.positions[3 * vertex + 1], mesh.positions[3 * vertex + 2]};
}

BoundingBox boundsOf(const ModelMesh& mesh)
{
    const std::size_t count = mesh.vertexCount();
    if (count == 0) {
        return {};
    }
    BoundingBox box{positionAt(mesh, 0), positionAt(mesh, 0)};
    for (std::size_t i = 0; i < 3 * count; ++i) {
        if (!std::isfinite(mesh.positions[i])) {
            const float nan = std::numeric_limits<float>::quiet_NaN();
            return {QVector3D(nan, nan, nan), QVector3D(nan, nan, nan)};
        }
    }
    for (std::size_t v = 1; v < count; ++v) {
        const QVector3D p = positionAt(mesh, v);
        for (int axis = 0; axis < 3; ++axis) {
            box.min[axis] = std::min(box.min[axis], p[axis]);
            box.max[axis] = std::max(box.max[axis], p[axis]);
        }
    }
    return box;
}

std::vector<QVector3D> faceWeightedNormals(const ModelMesh& mesh, const std::vector<std::uint32_t>& triangles)
{
    std::vector<QVector3D> normals(mesh.vertexCount());
    for (std::size_t t = 0; t + 2 < triangles.size(); t += 3) {
        const QVector3D a = positionAt(mesh, triangles[t]);
        const QVector3D b = positionAt(mesh, triangles[t + 1]);
        const QVector3D c = positionAt(mesh, triangles[t + 2]);
        // The cross product's length is twice the area, so larger faces weigh more.
        const QVector3D faceNormal = QVector3D::crossProduct(b - a, c - a);
        normals[triangles[t]] += faceNormal;
        normals[triangles[t + 1]] += faceNormal;
        normals[triangles[t + 2]] += faceNormal;
    }
    for (QVector3D& normal : normals) {
        const float length = normal.length();
        normal = length > 0.0f && std::isfinite(length) ? normal / length : QVector3D(0.0f, 1.0f, 0.0f);
    }
    return normals;
}

} // namespace

PreviewBuffers buildPreviewBuffers(const ModelMesh& mesh)
{
    PreviewBuffers buffers;
    const std::size_t vertexCount = mesh.vertexCount();
    buffers.bounds = boundsOf(mesh);

    buffers.triangleIndices.reserve(mesh.indices.size());
    for (std::size_t t = 0; t + 2 < mesh.indices.size(); t += 3) {
        const std::uint32_t a = mesh.indices[t];
        const std::uint32_t b = mesh.indices[t + 1];
        const std::uint32_t c = mesh.indices[t + 2];
        if (a < vertexCount && b < vertexCount && c < vertexCount) {
            buffers.triangleIndices.insert(buffers.triangleIndices.end(), {a, b, c});
        }
    }

    const bool hasNormals = mesh.normals.size() == 3 * vertexCount && vertexCount > 0;
    const bool hasColors = mesh.colors.size() == 3 * vertexCount && vertexCount > 0;
    std::vector<QVector3D> computedNormals;
    if (!hasNormals) {
        computedNormals = faceWeightedNormals(mesh, buffers.triangleIndices);
    }

    if (mesh.hasTexture()) {
        QImage texture = QImage::fromData(reinterpret_cast<const uchar*>(mesh.textureBytes.data()),
                                          int(std::min<std::size_t>(mesh.textureBytes.size(), INT_MAX)));
        if (!texture.isNull()) {
            buffers.texture = texture.convertToFormat(QImage::Format_RGBA8888).mirrored();
            buffers.texcoords = mesh.texcoords;
        }
    }
    buffers.vertices.resize(vertexCount * PreviewBuffers::kFloatsPerVertex);
    for (std::size_t v = 0; v < vertexCount; ++v) {
        float* out = buffers.vertices.data() + v * PreviewBuffers::kFloatsPerVertex;
        std::copy_n(mesh.positions.data() + 3 * v, 3, out);
        if (hasNormals) {
            std::copy_n(mesh.normals.data() + 3 * v, 3, out + 3);
        } else {
            out[3] = computedNormals[v].x();
            out[4] = computedNormals[v].y();
            out[5] = computedNormals[v].z();
        }
        if (hasColors) {
            std::copy_n(mesh.colors.data() + 3 * v, 3, out + 6);
        } else {
            std::fill_n(out + 6, 3, PreviewBuffers::kDefaultGrey);
        }
    }

    // Each undirected edge once, as (low << 32 | high), sorted and deduplicated.
    std::vector<std::uint64_t> edges;
    edges.reserve(buffers.triangleIndices.size());
    for (std::size_t t = 0; t < buffers.triangleIndices.size(); t += 3) {
        for (int corner = 0; corner < 3; ++corner) {
            const std::uint32_t from = buffers.triangleIndices[t + corner];
            const std::uint32_t to = buffers.triangleIndices[t + (corner + 1) % 3];
            if (from == to) {
                continue;
            }
            edges.push_back((std::uint64_t(std::min(from, to)) << 32) | std::max(from, to));
        }
    }
    std::sort(edges.begin(), edges.end());
    edges.erase(std::unique(edges.begin(), edges.end()), edges.end());
    buffers.edgeIndices.reserve(edges.size() * 2);
    for (const std::uint64_t edge : edges) {
        buffers.edgeIndices.push_back(std::uint32_t(edge >> 32));
        buffers.edgeIndices.push_back(std::uint32_t(edge & 0xffffffffu));
    }
    return buffers;
}

QImage textureWithin(const QImage& texture, int maxSidePx)
{
    if (maxSidePx <= 0 || (texture.width() <= maxSidePx && texture.height() <= maxSidePx)) {
        return texture;
    }
    return texture.scaled(std::min(texture.width(), maxSidePx), std::min(texture.height(), maxSidePx),
                          Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

} // namespace tovarine
