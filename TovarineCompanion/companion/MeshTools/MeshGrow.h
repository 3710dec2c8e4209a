#pragma once

#include "Expected.h"
#include "MeshMinThickness.h"
#include "MeshToolFailure.h"
#include "MeshTypes.h"

#include <cstdint>
#include <stop_token>

// Grow thin regions: pushes the corners of faces thinner than a target outward along their vertex normals
// by half the shortfall, smooths the moved vertices into their surroundings, measures again and repeats,
// keeping the state with the fewest thin faces. Topology never changes; only positions move.
// Every function here may run on any thread; none keeps state between calls.
namespace tovarine::MeshGrow {

struct Result
{
    std::int64_t faceCount = 0;         // triangles after the weld
    std::int64_t initialThin = -1;      // thin faces of the first measurement; -1 when no iteration ran
    std::int64_t finalThin = 0;         // thin faces of the written state
    std::int64_t iterations = 0;        // iterations run
    std::int64_t displacedVertices = 0; // vertices whose written position differs from the welded input
    double finalMinMM = 0.0;            // min and median (upper middle) of the written state's measurement
    double finalMedianMM = 0.0;
    std::int64_t openEdges = 0;    // open edges of the welded input
    std::int64_t skippedFaces = 0; // input faces dropped: a corner unreadable or not finite
};

struct Failure : MeshToolFailure
{
    // "couldn't read mesh: …", "couldn't write grown mesh: …", "mesh had no usable geometry", …
    QString localizedDescription() const { return describe(QStringLiteral("grown mesh")); }
};

// The state chosen for writing and its measurement.
struct Grown
{
    MeshPositions positions;
    MeshMinThickness::ThicknessSamples samples;
    Result result; // every field but openEdges
};

// Vertex adjacency: for vertex v, `neighbours[offsets[v] .. offsets[v + 1])` are the vertices sharing a
// triangle edge with it, ascending and without repeats (the fixed order keeps smoothing sums identical
// from run to run).
struct Adjacency
{
    std::vector<std::size_t> offsets;
    std::vector<std::uint32_t> neighbours;
};
Adjacency vertexAdjacency(std::size_t vertexCount, const MeshTriangles& triangles);

// The iteration on in-memory lists (welded, valid triangles): up to `maxIterations` rounds of measure,
// push, smooth, with the stop rules (no thin face left, or no strict improvement) and the final
// measurement. Progress lines from "iter k/N · sampling thickness…" to the final sampler lines (not the
// reading, adjacency and writing lines). A negative `maxIterations` counts as 0; `smoothingPasses` below 1
// means no smoothing. A stop request returns early with whatever state was current.
Grown growPositions(const MeshLists& mesh, const Adjacency& adjacency, double minThicknessMM,
                    int maxIterations, int smoothingPasses, double smoothingAlpha,
                    const MeshProgress& progress = {}, std::stop_token cancel = {}, int threadCount = 0);

// Reads `objPath` (UTF-8 OBJ, millimetres), welds it, grows it and writes the MTL to `mtlDestination`,
// then the OBJ to `destination` (naming the MTL by file name), each atomically; after a failed OBJ write
// the MTL stays. The panel passes 4 iterations, 2 smoothing passes and alpha 0.4. Fails with read, empty,
// write, thickness (not finite or beyond kMaxThicknessMm) or cancelled (nothing further written).
Expected<Result, Failure> grow(const QString& objPath, const QString& destination,
                               const QString& mtlDestination, double minThicknessMM, int maxIterations,
                               int smoothingPasses, double smoothingAlpha, const MeshProgress& progress = {},
                               std::stop_token cancel = {});

} // namespace tovarine::MeshGrow
