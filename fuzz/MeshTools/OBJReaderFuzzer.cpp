// libFuzzer target for the OBJ reader and what the mesh tools do next with its output: validation, the
// weld, the edge report, and (for small meshes) the thickness grid walk, normals, shell and adjacency.
// The size limits keep a run fast: a mutated coordinate makes huge triangles, and each of those fills a whole
// row or plane of the thickness grid's cells.

#include "MeshGrow.h"
#include "MeshMinThickness.h"
#include "MeshThicken.h"
#include "MeshToolIO.h"
#include "MeshTopology.h"
#include "OBJMeshReader.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

using namespace tovarine;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (!meshio::isValidUtf8(text)) {
        return 0;
    }
    const MeshLists parsed = OBJMeshReader::parse(text);
    const MeshTriangles valid =
        MeshTopology::validTriangles(parsed.triangles, static_cast<std::int64_t>(parsed.positions.size()));
    const MeshLists welded = MeshTopology::weld(parsed.positions, valid);
    const MeshTopology::EdgeReport report = MeshTopology::edgeReport(welded.triangles);
    if (report.open < 0 || report.nonManifold < 0 || report.flipped < 0) {
        __builtin_trap();
    }
    for (const MeshTriangle& t : welded.triangles) {
        for (std::int64_t index : t) {
            if (index < 0 || index >= static_cast<std::int64_t>(welded.positions.size())) {
                __builtin_trap();
            }
        }
    }
    if (welded.triangles.empty() || welded.triangles.size() > 256) {
        return 0;
    }
    if (welded.triangles.size() <= 16) {
        const MeshMinThickness::ThicknessSamples samples =
            MeshMinThickness::sampleThickness(welded.positions, welded.triangles, {}, {}, 1);
        if (samples.measured.size() != welded.triangles.size()) {
            __builtin_trap();
        }
    }
    const MeshPositions normals = MeshThicken::vertexNormals(welded.positions, welded.triangles);
    const MeshThicken::Shell shell = MeshThicken::buildShell(welded, normals, 1.0);
    MeshTopology::edgeReport(shell.triangles);
    MeshGrow::vertexAdjacency(welded.positions.size(), welded.triangles);
    return 0;
}
