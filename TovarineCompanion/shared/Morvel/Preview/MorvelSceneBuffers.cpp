#include "MorvelSceneBuffers.h"

namespace tovarine::MorvelSceneBuffers {

namespace {

void appendVertex(std::vector<float>& vertices, const QVector3D& position, const QVector3D& normal,
                  const QColor& color)
{
    vertices.insert(vertices.end(),
                    {position.x(), position.y(), position.z(), normal.x(), normal.y(), normal.z(),
                     float(color.redF()), float(color.greenF()), float(color.blueF())});
}

} // namespace

PreviewBuffers surface(const MorvelSurfaceGeometry& surface)
{
    PreviewBuffers result;
    const QColor grey = QColor::fromRgbF(MorvelSceneGeometry::kSurfaceGrey, MorvelSceneGeometry::kSurfaceGrey,
                                         MorvelSceneGeometry::kSurfaceGrey);
    result.vertices.reserve(surface.positions.size() * PreviewBuffers::kFloatsPerVertex);
    for (std::size_t i = 0; i < surface.positions.size(); ++i) {
        appendVertex(result.vertices, surface.positions[i], surface.normals[i], grey);
    }
    result.triangleIndices = surface.triangles;
    result.bounds = surface.bounds;
    return result;
}

MorvelCageBuffers cage(const MorvelCageGeometry& cage)
{
    MorvelCageBuffers result;
    const QVector3D up(0.0f, 1.0f, 0.0f);
    const auto vertexCount = std::uint32_t(cage.positions.size());
    for (std::size_t c = 0; c < cage.lines.size(); ++c) {
        const std::vector<std::uint32_t>& lines = cage.lines[c];
        if (lines.empty()) {
            continue;
        }
        const auto edgeClass = MorvelEdgeClass(c);
        const QColor color = MorvelSceneGeometry::lineColor(edgeClass);
        const auto offset = std::uint32_t(result.buffers.vertexCount());
        for (const QVector3D& position : cage.positions) {
            appendVertex(result.buffers.vertices, position, up, color);
        }
        MorvelCageBuffers::Run run;
        run.edgeClass = edgeClass;
        run.firstEdge = int(result.buffers.edgeIndices.size() / 2);
        run.edgeCount = int(lines.size() / 2);
        run.opacity = float(color.alphaF());
        for (std::uint32_t index : lines) {
            result.buffers.edgeIndices.push_back(offset + index);
        }
        result.runs.push_back(run);
        Q_ASSERT(offset + vertexCount == result.buffers.vertexCount());
    }
    return result;
}

std::optional<CameraFrame> frame(const BoundingBox& bounds)
{
    std::optional<CameraFrame> result = CameraFraming::frame(bounds);
    if (result) {
        result->position = result->target + kCameraOffsetPerSize * result->size;
    }
    return result;
}

} // namespace tovarine::MorvelSceneBuffers
