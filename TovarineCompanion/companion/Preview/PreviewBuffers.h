#pragma once

#include "CameraFraming.h"
#include "ModelMesh.h"

#include <QImage>
#include <cstdint>
#include <vector>

namespace tovarine {

// What the preview uploads for one model: interleaved vertices, triangle indices, the unique edges for the
// wireframe look, and the model's bounding box. Built off the GUI thread; read-only afterwards.
struct PreviewBuffers
{
    // Floats per vertex: position (3), normal (3), colour (3).
    static constexpr int kFloatsPerVertex = 9;
    // The diffuse colour of a model without vertex colours (display values, 0...1).
    static constexpr float kDefaultGrey = 0.8f;

    std::vector<float> vertices;
    std::vector<std::uint32_t> triangleIndices; // three per triangle
    std::vector<std::uint32_t> edgeIndices;     // two per unique undirected edge
    BoundingBox bounds;                         // the zero box when the model has no vertices
    // A textured model's texture coordinates (s, t per vertex) and its decoded texture, flipped so that its
    // first row is t = 0 as OpenGL samples it; both empty when the model has no texture.
    std::vector<float> texcoords;
    QImage texture;

    std::size_t vertexCount() const { return vertices.size() / kFloatsPerVertex; }
};

// Builds the buffers of `mesh`. Normals come from the mesh when it has one per vertex, else they are the
// area-weighted average of the adjacent faces (a vertex on no face gets +Y). Colours come from the mesh when
// it has one per vertex, else kDefaultGrey. A texture that cannot be decoded leaves the model drawn in its
// vertex colours. Triangles naming a vertex past the end are dropped. The bounds
// are NaN when any position is not finite (such a model gets no framing camera). Any thread; pure.
PreviewBuffers buildPreviewBuffers(const ModelMesh& mesh);

// `texture` scaled down, keeping its proportions, so that neither side exceeds `maxSidePx` (the largest
// texture the graphics driver takes); `texture` itself when it fits or the limit is unknown (not positive).
// The model's texture coordinates are fractions of the texture, so they stay right.
QImage textureWithin(const QImage& texture, int maxSidePx);

} // namespace tovarine
