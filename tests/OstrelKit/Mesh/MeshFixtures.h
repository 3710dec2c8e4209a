#pragma once

#include "Mesh/Float3.h"

#include <cstdint>
#include <vector>

namespace ostrel::test {

struct Mesh
{
    std::vector<Float3> vertices;
    std::vector<Float3> normals;
    std::vector<std::uint32_t> indices;
};

// The unit cube [0, 1]³ as 8 shared vertices and 12 outward-wound triangles.
inline Mesh closedBox()
{
    Mesh m;
    m.vertices = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
    m.indices = {0, 2, 1, 0, 3, 2, // bottom (−z)
                 4, 5, 6, 4, 6, 7, // top (+z)
                 0, 1, 5, 0, 5, 4, // front (−y)
                 2, 3, 7, 2, 7, 6, // back (+y)
                 1, 2, 6, 1, 6, 5, // right (+x)
                 3, 0, 4, 3, 4, 7}; // left (−x)
    return m;
}

// Every triangle corner as its own vertex (with a normal per corner), indices 0, 1, 2, …
inline Mesh looseTriangles(const Mesh& indexed)
{
    Mesh m;
    for (const std::uint32_t i : indexed.indices) {
        m.indices.push_back(static_cast<std::uint32_t>(m.vertices.size()));
        m.vertices.push_back(indexed.vertices[i]);
        m.normals.push_back({0.0f, 0.0f, 1.0f});
    }
    return m;
}

} // namespace ostrel::test
