#pragma once

#include "CameraFraming.h"
#include "MorvelPreview.h"

#include <QColor>
#include <QVector3D>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace tovarine {

// How a cage edge is drawn, by its crease weight w.
enum class MorvelEdgeClass {
    plain,      // w <= 0, not a number, or no weight
    softCrease, // 0 < w < 3
    hardCrease  // w >= 3
};

// The limit surface as the view draws it.
struct MorvelSurfaceGeometry
{
    std::vector<QVector3D> positions;     // metres, +Y up
    std::vector<QVector3D> normals;       // unit length, one per position
    std::vector<std::uint32_t> triangles; // whole triples, every index below positions.size()
    BoundingBox bounds;                   // metres, +Y up; the zero box when there are no points
};

// The cage wire as the view draws it: one shared vertex list, one line list per edge class.
struct MorvelCageGeometry
{
    std::vector<QVector3D> positions; // metres, +Y up
    // Index pairs per class, indexed by MorvelEdgeClass (plain, soft, hard), in edge order; every index is
    // below positions.size().
    std::array<std::vector<std::uint32_t>, 3> lines;
};

// The geometry of the cage preview, built from a finished fit's MorvelPreview (millimetres, +Z up).
// Any thread; pure.
namespace MorvelSceneGeometry {

// The surface's diffuse grey (white level), roughness and metalness.
inline constexpr float kSurfaceGrey = 0.78f;
inline constexpr float kSurfaceRoughness = 0.55f;
inline constexpr float kSurfaceMetalness = 0.0f;
// Crease weights from this value up are hard creases.
inline constexpr double kHardCreaseWeight = 3.0;

// Whole (x, y, z) triples of `flat` (a trailing incomplete triple is ignored) as scene points
// (x / 1000, z / 1000, -y / 1000): millimetres to metres, the engine's +Z up turned into the view's +Y up.
std::vector<QVector3D> points(const std::vector<float>& flat);

MorvelEdgeClass edgeClass(double creaseWeight);
// Cyan at alpha 0.75 for plain edges, yellow for soft creases, orange for hard creases.
QColor lineColor(MorvelEdgeClass edgeClass);

// Positions, area-weighted vertex normals (a vertex on no triangle of non-zero area gets +Y), the triangles
// whose three indices lie below the vertex count (others are dropped, and add nothing to the normals) and
// the bounds (a not-a-number component never widens them).
MorvelSurfaceGeometry surface(const MorvelPreview& preview);

// Positions and the edges sorted into their classes. Edges are the whole index pairs of cageEdges (an odd
// trailing index is ignored); edge k takes creaseWeights[k], or 0 when there is none; an edge with an index
// at or beyond the vertex count is dropped.
MorvelCageGeometry cage(const MorvelPreview& preview);

} // namespace MorvelSceneGeometry

} // namespace tovarine
