#pragma once

#include "Float3.h"

#include <cstdint>
#include <span>
#include <string>

namespace ostrel {

struct ValidationResult
{
    bool isWatertight = true;
    std::int64_t openEdgeCount = 0; // unreciprocated half-edges, counted from both sides
    std::string message;
};

// Tells whether a triangle mesh is closed: every directed edge of every triangle must be matched by the same
// edge running the other way. Stateless, synchronous; any thread.
namespace WatertightValidator {

// For each of the ⌊indices.size() / 3⌋ triangles (a, b, c) counts the directed edges (a, b), (b, c), (c, a);
// openEdgeCount is the sum, over every directed edge (u, v) that occurs, of |count(u, v) − count(v, u)|.
// Watertight exactly when that is 0; message "Manifold closed. All edges reciprocated." or
// "Non-manifold: <n> unreciprocated half-edge(s).". Index values are only labels here: they are never compared
// with the vertex count, and `vertices` is not read. Never fails.
ValidationResult validate(std::span<const Float3> vertices, std::span<const std::uint32_t> indices);

// The same for signed indices, each taken by its 32-bit pattern (so −1 is the label 4294967295).
ValidationResult validate(std::span<const Float3> vertices, std::span<const std::int32_t> indices);

} // namespace WatertightValidator

} // namespace ostrel
