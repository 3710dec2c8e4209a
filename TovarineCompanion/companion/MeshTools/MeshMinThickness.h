#pragma once

#include "Expected.h"
#include "MeshToolFailure.h"
#include "MeshTypes.h"
#include "ThicknessGrid.h"

#include <cstdint>
#include <functional>
#include <stop_token>
#include <string>
#include <vector>

// Minimum-thickness guard: measures each triangle's wall thickness with an inward ray and writes a thinmap,
// an OBJ whose thin faces are grouped under a red material, with its MTL.
// Every function here may run on any thread; none keeps state between calls.
namespace tovarine::MeshMinThickness {

struct Result
{
    std::int64_t faceCount = 0;  // triangles analysed, after the weld
    std::int64_t thinCount = 0;  // measured faces thinner than the threshold
    std::int64_t noHitCount = 0; // faces without a measurement (misses and degenerate faces)
    double minMM = 0.0; // smallest, median (upper middle) and largest measured thickness; 0 when none
    double medianMM = 0.0;
    double maxMM = 0.0;
    std::int64_t openEdges = 0;    // open edges of the welded input; 0 for a closed mesh
    std::int64_t skippedFaces = 0; // input faces dropped: a corner unreadable or not finite
};

struct Failure : MeshToolFailure
{
    // "couldn't read mesh: …", "couldn't write thinmap: …", "mesh had no usable geometry", …
    QString localizedDescription() const { return describe(QStringLiteral("thinmap")); }
};

// Reads `objPath` (UTF-8 OBJ, millimetres), welds it, samples every face and writes the MTL to
// `mtlDestination`, then the OBJ to `destination`, each atomically (an existing file is replaced; after a
// failed OBJ write the MTL stays). `minThicknessMM`: faces measured strictly thinner are thin.
// Progress lines are those of the guard ("reading mesh…", "indexing N tris…", …), delivered on the calling
// thread. A stop request ends the run at the next phase or sampling block with Kind::cancelled, writing
// nothing further. Fails with read, empty, write, thickness (not finite or beyond kMaxThicknessMm) or
// cancelled.
Expected<Result, Failure> analyze(const QString& objPath, const QString& destination,
                                  const QString& mtlDestination, double minThicknessMM,
                                  const MeshProgress& progress = {}, std::stop_token cancel = {});

// The ray a face is measured with: from just inside its centre against its outward normal.
struct FaceRay
{
    bool degenerate = true; // |(p1 − p0) × (p2 − p0)| < 1e-18: the face is not measured
    Vec3 origin{};          // centroid + dir × nudge
    Vec3 dir{};             // −normal / |normal|
};

// Constants of one sampling run, from the unpadded box extent of the positions.
struct RayConstants
{
    double nudge = 1e-7; // max(largest extent × 1e-6, 1e-7), added back to every measured distance
    double rayMax = 0.0; // twice the box diagonal
};

RayConstants rayConstants(const Vec3& meshExtent);
FaceRay faceRay(const Vec3& p0, const Vec3& p1, const Vec3& p2, double nudge);

// Möller–Trumbore distance along `dir` from `origin` to triangle (q0, q1, q2): +inf for no hit, for a
// parallel ray (|det| < 1e-18) and for t <= 1e-9.
double rayTriangleHit(const Vec3& origin, const Vec3& dir, const Vec3& q0, const Vec3& q1, const Vec3& q2);

// True when triangle j must not be tested for face i's ray: it is face i or shares two or more vertex
// indices with it (a neighbour across an edge).
bool skipsCandidate(const MeshTriangle& face, std::int64_t i, const MeshTriangle& candidate, std::int64_t j);

// 3D-DDA walk of the grid from `origin` along `dir` up to `rayMax`: calls `visit` with every triangle index
// of every cell passed, in walk order (a triangle listed in several cells is visited once per cell). Ties
// between axes step z before y before x. A ray starting outside the padded box (or parallel to an axis
// outside its slab) visits nothing.
void traverseGrid(const Vec3& origin, const Vec3& dir, const Vec3& lo, const Vec3& hi, int res,
                  const Vec3& cellSize, const Vec3& invCell, double rayMax, const ThicknessGrid& grid,
                  const std::function<void(std::int32_t)>& visit);

struct ThicknessSamples
{
    std::vector<double> thicknessMM;    // per triangle; 0 when not measured
    std::vector<std::uint8_t> measured; // per triangle; 1 when the face's ray hit another triangle
};

// Measures every face against `grid` (built from the same lists). A face's thickness is the nearest
// accepted hit plus the nudge. Reports "ray-sampling thickness · P%" after every non-degenerate face whose
// index is a multiple of 16,384, in face order, on the calling thread. `threadCount` 0 uses every hardware
// thread; the results do not depend on it. A stop request leaves the remaining faces unmeasured.
ThicknessSamples sampleThickness(const MeshPositions& positions, const MeshTriangles& triangles,
                                 const ThicknessGrid& grid, const MeshProgress& progress = {},
                                 std::stop_token cancel = {}, int threadCount = 0);

// Builds a fresh grid over `positions` and samples every face.
ThicknessSamples sampleThickness(const MeshPositions& positions, const MeshTriangles& triangles,
                                 const MeshProgress& progress = {}, std::stop_token cancel = {},
                                 int threadCount = 0);

// The faces of a thickness sampling split at `minThicknessMM`: thin when measured and strictly thinner, safe
// otherwise; each list in face order.
struct ThinSplit
{
    std::vector<std::size_t> thin;
    std::vector<std::size_t> safe;
};

ThinSplit splitThin(const ThicknessSamples& samples, double minThicknessMM);

// The MTL body shared by the thinmap and the grown mesh after their own header comment: material "safe"
// (neutral grey) then "thin" (red).
extern const char* const kSafeThinMaterials;

// Appends OBJ group `name` using material `name` with one face line per index of `faces` into `triangles`;
// appends nothing when `faces` is empty.
void appendFaceGroup(std::string& obj, const char* name, const MeshTriangles& triangles,
                     const std::vector<std::size_t>& faces);

} // namespace tovarine::MeshMinThickness
