#pragma once

#include "Expected.h"
#include "ModelMesh.h"

#include <QString>
#include <cstdint>
#include <vector>

// The UV layout of a model's texture: the surface is cut into charts (connected triangles whose normals lean
// toward the same one of the six axis directions), each chart is projected flat onto the plane across its
// axis, and the charts are packed side by side into a square atlas at one common texel density. Any thread.
namespace tovarine::TextureAtlas {

struct Options
{
    int sizePx = 2048; // side of the square texture the layout is made for
    int paddingPx = 4; // empty texels kept around every chart (room for the gutter and for filtering)
};

struct Layout
{
    // The mesh with `texcoords` filled in (s, t in 0...1, t up): vertices on a chart boundary are split, one
    // copy per chart; every copy keeps the original's position, normal and colour.
    ModelMesh mesh;
    std::vector<std::uint32_t> sourceVertex;  // per vertex of `mesh`: its vertex in the input mesh
    std::vector<std::uint32_t> triangleChart; // per triangle: its chart
    int chartCount = 0;
    double texelsPerMetre = 0.0;
};

// Error: a sentence for a mesh without triangles, a triangle index past the vertices, or an atlas side under
// 16 texels.
Expected<Layout, QString> build(const ModelMesh& mesh, const Options& options = {});

} // namespace tovarine::TextureAtlas
