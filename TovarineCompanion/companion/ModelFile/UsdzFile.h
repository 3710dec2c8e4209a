#pragma once

#include <QByteArray>
#include <QString>

#include "Expected.h"
#include "ModelMesh.h"

// The model file `model.usdz`: a zip package whose root layer is a USD text layer (usda) holding one mesh.
// Any thread; the functions share no state.
namespace tovarine::UsdzFile {

// Encodes `mesh` as a package: stored (uncompressed) entries, each entry's data 64-byte aligned, the root layer
// `model.usda` first, fixed dates (the same mesh always gives the same bytes). The layer has one Xform "model"
// with one Mesh child in metres, Y up: points, faceVertexCounts, faceVertexIndices, normals and
// primvars:displayColor when present, and a preview-surface material (roughness 0.6, metallic 0). A mesh with a
// texture (ModelMesh::hasTexture) also gets primvars:st, its diffuse colour reads the texture through a
// UsdUVTexture, and the texture file follows the layer as a stored entry under its own name.
// Floats are written shortest-round-trip, so reading gives the same bits. Empty when the layer would exceed the
// 4 GiB a plain zip can address (write reports that as an error).
QByteArray encode(const ModelMesh& mesh);

// Writes encode(mesh) to `path` atomically (temporary file, then rename); an earlier file stays whole on failure.
// Error: a user-facing sentence, also for a malformed mesh (a triangle index past the vertices) that could not be
// read back.
Expected<void, QString> write(const ModelMesh& mesh, const QString& path);

// Reads the package at `path` (or its bytes): the first .usda/.usdc/.usd entry is the root layer; every
// mesh in it is merged, its transforms baked in, converted to metres and +Y up, polygons fan-triangulated.
// The texture the layer's material names comes along when the package holds it (else the model reads without
// one). Error (never a crash): a user-facing sentence for a missing or corrupt file, a binary (usdc) layer, a
// layer without a mesh, or a malformed array.
Expected<ModelMesh, QString> read(const QString& path);
Expected<ModelMesh, QString> decode(const QByteArray& packageBytes);

} // namespace tovarine::UsdzFile
