#pragma once

#include "Expected.h"
#include "ModelMesh.h"
#include "MorvelScan.h"

#include <QString>
#include <cstdint>

// Turns the result's model file into the welded millimetre scan the engine page takes.
// Any thread; the functions keep all state local.
namespace tovarine::MorvelScanReader {

struct Failure
{
    enum class Kind { noAsset, noTriangles, tooManyVertices };
    Kind kind = Kind::noAsset;

    // "the scan file could not be read", "the scan has no triangles",
    // "the scan has too many vertices (4294967296 or more)".
    QString localizedDescription() const;
    bool operator==(const Failure&) const = default;
};

// Welded vertex indices are uint32, so a scan may hold at most this many welded vertices.
constexpr std::uint64_t kMaxWeldedVertices = (std::uint64_t{1} << 32) - 1;

// Converts every position (x, y, z) in metres, +Y up, into (1000x, -1000z, 1000y) in float32 millimetres,
// +Z up, and welds positions whose converted coordinates have identical bit patterns (so 0.0 and -0.0 stay
// apart). A triangle is kept only when its three indices are below the mesh's position count; a trailing
// incomplete triple is ignored; triangles whose corners weld together are kept.
// Fails with noTriangles when no triangle or no position survives, and with tooManyVertices when the welded
// count would exceed `maxWeldedVertices` (the uint32 index range by default; smaller only in tests).
Expected<MorvelScan, Failure> fromMesh(const ModelMesh& mesh,
                                       std::uint64_t maxWeldedVertices = kMaxWeldedVertices);

// Reads `usdzPath` with the model-file reader (every mesh merged, metres, +Y up) and runs fromMesh on it.
// A missing, unreadable or meshless file fails with noAsset.
Expected<MorvelScan, Failure> read(const QString& usdzPath);

} // namespace tovarine::MorvelScanReader
