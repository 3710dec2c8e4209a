#pragma once

#include "Float3.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// The steps both kit exporters run before writing: weld, subdivide when asked, check closure.
// Stateless; any thread.
namespace ostrel::MeshExportPipeline {

struct PreparedMesh
{
    std::vector<Float3> vertices;
    std::vector<Float3> normals; // the welded ones, or the recomputed ones after subdivision
    std::vector<std::uint32_t> indices;
    bool isWatertight = false;
};

// Welds with `weldThreshold`, runs `subdivisions` rounds when it is at least 1, and validates the final
// indices. Nothing when `vertices` is empty or the input is outside the tools' limits (the welder or the
// subdivision returned their empty result for non-empty input).
std::optional<PreparedMesh> prepare(std::span<const Float3> vertices, std::span<const Float3> normals,
                                    std::span<const std::uint32_t> indices, float weldThreshold,
                                    int subdivisions);

} // namespace ostrel::MeshExportPipeline
