#pragma once

#include "EdgeUsage.h"
#include "Expected.h"
#include "MeshToolFailure.h"
#include "MeshTopology.h"
#include "MeshTypes.h"

#include <cstdint>
#include <stop_token>

// Thicken into a shell: keeps a surface as the outer skin, adds an inner copy offset inward along the vertex
// normals with reversed winding, and closes every open edge with two bridge triangles.
// Every function here may run on any thread; none keeps state between calls.
namespace tovarine::MeshThicken {

struct Result
{
    std::int64_t outerFaces = 0;  // welded input triangles F
    std::int64_t innerFaces = 0;  // also F
    std::int64_t bridgeFaces = 0; // 2 × boundary edges
    std::int64_t open = 0; // edge report of the written shell: all 0 means closed and consistently wound
    std::int64_t nonManifold = 0;
    std::int64_t flipped = 0;
    std::int64_t skippedFaces = 0; // input faces dropped: a corner unreadable or not finite
};

struct Failure : MeshToolFailure
{
    // "couldn't read mesh: …", "couldn't write shell: …", "mesh had no usable geometry", …
    QString localizedDescription() const { return describe(QStringLiteral("shell")); }
};

// The shell of a welded mesh, in the order it is written.
struct Shell
{
    MeshPositions positions; // V outer vertices, then V inner ones (inner k = outer k − normal k × shellMM)
    MeshTriangles triangles; // F outer, F inner (a′, c′, b′), then (v, u, u′), (v, u′, v′) per boundary edge
    std::int64_t outerFaces = 0;
    std::int64_t boundaryEdges = 0;
    edgeusage::EdgeTally edges; // the edge report of `triangles`, as MeshTopology::edgeReport gives it
};

// Area-weighted unit vertex normals: the unnormalised face normals (p(b) − p(a)) × (p(c) − p(a)) summed per
// corner, each sum divided by its length, or (0, 0, 1) when that length is 1e-12 or less (or not a number).
MeshPositions vertexNormals(const MeshPositions& positions, const MeshTriangles& triangles);

// Gives each fan of faces around a pinched boundary vertex its own copy of the vertex. A fan is a set of
// faces around the vertex joined through edges that two or more faces use; a vertex that lies on an open
// edge and carries two or more fans (two holes meeting at it, or one hole touching itself) is pinched.
// The first fan, in face order, keeps the vertex; each further fan gets a copy at the same position,
// appended in order. Edge use counts are unchanged, so bridging every open edge then gives a shell whose
// edges are each used by two faces. Other vertices and all face orders stay as they are.
MeshLists splitPinchedVertices(MeshLists mesh);

// Builds the shell of `mesh` (welded, valid triangles) from its vertexNormals. Boundary edges are the
// triangle edges (a→b, b→c, c→a, in triangle order) whose undirected edge is used exactly once.
Shell buildShell(const MeshLists& mesh, const MeshPositions& normals, double shellMM);

// Reads `objPath` (UTF-8 OBJ, millimetres), welds it, splits its pinched vertices, builds the shell and
// writes it to `destination` atomically as one OBJ (an existing file is replaced). Progress lines: "reading
// mesh…", "computing vertex normals…", "offsetting inward N mm…", "writing OBJ (N faces)…", on the calling
// thread. A stop request ends the run at the next phase with Kind::cancelled. Fails with read, empty, write,
// thickness (not finite or beyond kMaxThicknessMm) or cancelled.
Expected<Result, Failure> thicken(const QString& objPath, const QString& destination, double shellMM,
                                  const MeshProgress& progress = {}, std::stop_token cancel = {});

} // namespace tovarine::MeshThicken
