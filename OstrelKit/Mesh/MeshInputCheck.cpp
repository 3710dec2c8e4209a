#include "MeshInputCheck.h"

#include <algorithm>

namespace ostrel::MeshInputCheck {

std::optional<std::string> problem(std::span<const Float3> vertices, std::span<const std::uint32_t> indices)
{
    if (vertices.size() > kMaxVertexCount) {
        return "The mesh has " + std::to_string(vertices.size()) + " vertices; at most " +
               std::to_string(kMaxVertexCount) + " are supported.";
    }
    for (std::size_t i = 0; i < vertices.size(); ++i) {
        if (!isFinite(vertices[i])) {
            return "Vertex " + std::to_string(i) + " has a coordinate that is not a finite number.";
        }
    }
    const std::size_t count = vertices.size();
    for (std::size_t i = 0; i < indices.size(); ++i) {
        if (indices[i] >= count) {
            return "Index " + std::to_string(i) + " refers to vertex " + std::to_string(indices[i]) +
                   ", but the mesh has " + std::to_string(count) + " vertices.";
        }
    }
    return std::nullopt;
}

std::optional<std::string> normalProblem(std::span<const Float3> normals, std::size_t usedCount)
{
    const std::size_t end = std::min(usedCount, normals.size());
    for (std::size_t i = 0; i < end; ++i) {
        if (!isFinite(normals[i])) {
            return "Normal " + std::to_string(i) + " has a component that is not a finite number.";
        }
    }
    return std::nullopt;
}

} // namespace ostrel::MeshInputCheck
