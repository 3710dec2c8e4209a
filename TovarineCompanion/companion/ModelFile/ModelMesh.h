#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tovarine {

// A triangle mesh as the model file holds it: metres, +Y up, counter-clockwise front faces.
struct ModelMesh
{
    std::vector<float> positions;  // x, y, z per vertex
    std::vector<float> normals;    // x, y, z per vertex, or empty
    std::vector<float> colors;     // r, g, b per vertex in 0...1 (display colour), or empty
    std::vector<std::uint32_t> indices; // three per triangle
    std::vector<float> texcoords;  // s, t per vertex (0...1, t up), or empty
    // The diffuse texture that `texcoords` address: the encoded image file (PNG or JPEG) and its file name
    // inside the package ("diffuse.png" or "diffuse.jpg"); empty when the model has none.
    std::string textureBytes;
    std::string textureName;

    bool hasTexture() const { return !textureBytes.empty() && texcoords.size() == positions.size() / 3 * 2; }

    std::size_t vertexCount() const { return positions.size() / 3; }
    std::size_t triangleCount() const { return indices.size() / 3; }
};

} // namespace tovarine
