#pragma once

#include "MeshTopology.h"
#include "MeshTypes.h"

#include <QString>
#include <cstdint>
#include <ostream>
#include <string>

// Small meshes with known answers, shared by the mesh-tool tests.
namespace tovarine::test {

// Axis-aligned box from `lo` to `hi`, two triangles per side, wound outward (or inward when `inward`).
MeshLists box(const Vec3& lo, const Vec3& hi, bool inward = false);

// Box whose six sides are each split into n × n quads (two triangles each), wound outward or inward.
MeshLists subdividedBox(const Vec3& lo, const Vec3& hi, int n, bool inward = false);

// A closed hollow box: outer box `lo`..`hi` wound outward and an inner cavity `wallMm` inside it, wound
// inward, so every face measures `wallMm`.
MeshLists hollowBox(const Vec3& lo, const Vec3& hi, double wallMm, int subdivisions = 1);

// Appends `b` to `a`, shifting its indices.
MeshLists merged(MeshLists a, const MeshLists& b);

// Open n × n grid of quads in the z = 0 plane, `size` wide, wound to face +Z.
MeshLists sheet(int n, double size);

// `count` random triangles in a 10 mm cube, from `seed`.
MeshLists randomTriangles(int count, std::uint32_t seed);

// A closed, lumpy sphere (latitude-longitude, poles fanned), roughly `radius` mm, wound outward; `lumpiness`
// 0 gives a plain sphere.
MeshLists lumpySphere(int rings, int segments, double radius, std::uint32_t seed, double lumpiness = 1.0);

// `value` as an OBJ or STL file holds it, with a point whatever the locale: the shortest text that reads back
// as `value`, or with `significant` digits as "%.<significant>g" writes it in the C locale.
std::string numberText(double value, int significant = 0);

// OBJ text of a mesh ("v" lines with up to 17 significant digits, then "f" lines, 1-based).
std::string objText(const MeshLists& mesh);

// Writes `text` to `path`; false on failure.
bool writeFile(const QString& path, const std::string& text);

// The file's lines, without their line feeds; empty on failure.
QStringList readLines(const QString& path);

} // namespace tovarine::test

namespace tovarine::MeshTopology {
// Lets test failures print edge reports as (open, nonManifold, flipped).
void PrintTo(const EdgeReport& report, std::ostream* os);
} // namespace tovarine::MeshTopology

// Lets test failures print texts readably.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}
