#pragma once

#include "Float3.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>

// Limits every kit mesh tool relies on. A tool given input outside them returns its empty result (the one it
// returns for a mesh without vertices) instead of reading out of bounds; callers that want to tell the user
// why call these checks. Stateless; any thread.
namespace ostrel::MeshInputCheck {

// The largest vertex count the tools take: every vertex must have a 32-bit index, and one value is kept
// free as a marker.
inline constexpr std::size_t kMaxVertexCount = 0xFFFFFFFEu;

// The first problem with positions and indices, or nothing when there are at most kMaxVertexCount positions,
// every coordinate is finite and every index is less than the number of positions. Messages: "The mesh has
// <n> vertices; at most <kMaxVertexCount> are supported.", "Vertex <i> has a coordinate that is not a finite
// number." and "Index <i> refers to vertex <v>, but the mesh has <n> vertices."
std::optional<std::string> problem(std::span<const Float3> vertices, std::span<const std::uint32_t> indices);

// The first normal among the first `usedCount` entries with a component that is not a finite number, as
// "Normal <i> has a component that is not a finite number.", or nothing.
std::optional<std::string> normalProblem(std::span<const Float3> normals, std::size_t usedCount);

} // namespace ostrel::MeshInputCheck
