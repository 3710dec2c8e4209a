#pragma once

#include "ModelMesh.h"

#include <string>

// The text (usda) root layer of a model file. Any thread; stateless.
namespace tovarine::UsdaWriter {

// The layer for `mesh`: metres, Y up, one Xform "model" (identity transform) holding one Mesh with points,
// faceVertexCounts, faceVertexIndices, vertex normals and vertex primvars:displayColor when the mesh has them,
// and a preview-surface material (roughness 0.6, metallic 0) whose diffuse colour reads the display colour.
// Floats are written shortest-round-trip, so parsing them as float32 gives the same bits. Normals or colours whose
// count does not match the vertices are left out. Deterministic: the same mesh gives the same text.
std::string write(const ModelMesh& mesh);

} // namespace tovarine::UsdaWriter
