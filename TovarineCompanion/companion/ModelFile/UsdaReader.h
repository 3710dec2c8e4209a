#pragma once

#include <QString>

#include "Expected.h"
#include "ModelMesh.h"

#include <string_view>

// Reads the meshes of a text (usda) layer: a subset of the format that covers what mesh writers put in a model
// file. Any thread; stateless.
namespace tovarine::UsdaReader {

// Parses `layer` and merges every Mesh prim (def prims only; over and class prims are skipped) into one mesh:
// each mesh's transform (xformOp translate, scale, rotate, orient and transform ops in xformOpOrder, nested
// through parent prims) is baked in, then the layer's metersPerUnit (1 when absent) scales to metres and
// upAxis "Z" turns to Y up. Polygons are fan-triangulated; a left-handed or mirrored mesh has its winding
// flipped so front faces stay counter-clockwise. Normals and display colours are kept per vertex when every
// mesh has them with one value per point (a single display colour is spread over every point), else left out.
// A point that is not finite (after its transforms) is dropped with every triangle that uses it. Error: a
// user-facing sentence for a binary layer, a malformed layer or array, an index out of range, face counts
// that do not add up, an unsupported transform op, or a layer without a mesh. Memory stays proportional to
// the size of `layer`.
Expected<ModelMesh, QString> parse(std::string_view layer);

} // namespace tovarine::UsdaReader
