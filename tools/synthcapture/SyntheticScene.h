#pragma once

#include <array>
#include <cstdint>
#include <vector>

// The scene of a synthetic orbit capture: a richly textured dome of known geometry resting on a textured
// ground, in metres with +Y up, the ground at y = 0. With relief, the dome carries square grooves, a ring
// groove, flat-topped bumps and a raised cap, all about 1 % of its height deep or high and with sharp edges.
// Any thread; read-only after construction.
namespace synth {

struct Vec3f
{
    double x = 0, y = 0, z = 0;
};

struct SceneMesh
{
    std::vector<Vec3f> positions;
    std::vector<Vec3f> normals;
    std::vector<std::uint32_t> indices;
    std::vector<std::uint8_t> isGround; // per triangle
};

class SyntheticScene
{
public:
    explicit SyntheticScene(std::uint32_t seed, bool relief = false);

    const SceneMesh& mesh() const { return m_mesh; }
    // The object's surface alone (the ground excluded), for accuracy measurement.
    SceneMesh objectSurface() const;
    // Where the cameras aim: the object's centre.
    Vec3f objectCentre() const { return m_centre; }
    double objectHeightM() const { return m_heightM; }
    // Depth or height of the relief (0 without), and the object's vertices that lie on a relief feature.
    double reliefHeightM() const { return m_reliefM; }
    const std::vector<Vec3f>& reliefPoints() const { return m_reliefPoints; }

    // Surface colour (0...1 per channel) at a world position; the lighting is fixed to the world, so every
    // view sees the same colour at the same point.
    std::array<double, 3> shade(const Vec3f& position, const Vec3f& normal, bool ground) const;

private:
    double noise(double x, double y, double z) const;
    double fbm(double x, double y, double z, int octaves) const;

    std::uint32_t m_seed;
    SceneMesh m_mesh;
    std::size_t m_objectTriangles = 0;
    std::uint32_t m_rimStart = 0;
    std::uint32_t m_rimSegments = 0;
    Vec3f m_centre;
    double m_heightM = 0;
    double m_reliefM = 0;
    std::vector<Vec3f> m_reliefPoints;
};

} // namespace synth
