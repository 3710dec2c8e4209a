#include "MeshExportPipeline.h"

#include "MeshSubdivision.h"
#include "VertexWelder.h"
#include "WatertightValidator.h"

namespace ostrel::MeshExportPipeline {

std::optional<PreparedMesh> prepare(std::span<const Float3> vertices, std::span<const Float3> normals,
                                    std::span<const std::uint32_t> indices, float weldThreshold,
                                    int subdivisions)
{
    if (vertices.empty()) {
        return std::nullopt;
    }
    VertexWelder::WeldResult welded = VertexWelder::weld(vertices, normals, indices, weldThreshold);
    if (welded.vertices.empty()) {
        return std::nullopt;
    }
    PreparedMesh mesh;
    if (subdivisions >= 1) {
        MeshSubdivision::SubdivisionResult fine =
            MeshSubdivision::subdivide(welded.vertices, welded.normals, welded.indices, subdivisions);
        if (fine.vertices.empty()) {
            return std::nullopt;
        }
        mesh.vertices = std::move(fine.vertices);
        mesh.normals = std::move(fine.normals);
        mesh.indices = std::move(fine.indices);
    } else {
        mesh.vertices = std::move(welded.vertices);
        mesh.normals = std::move(welded.normals);
        mesh.indices = std::move(welded.indices);
    }
    mesh.isWatertight = WatertightValidator::validate(mesh.vertices, mesh.indices).isWatertight;
    return mesh;
}

} // namespace ostrel::MeshExportPipeline
