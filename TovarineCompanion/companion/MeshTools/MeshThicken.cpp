#include "MeshThicken.h"

#include "EdgeUsage.h"
#include "MeshToolIO.h"
#include "TextFormat.h"
#include "VecMath.h"

#include <algorithm>
#include <cmath>

namespace tovarine::MeshThicken {

namespace {

using textformat::appendInt;

Failure failed(MeshToolFailure::Kind kind)
{
    return Failure{{kind, {}}};
}

void report(const MeshProgress& progress, const std::string& line)
{
    if (progress) {
        progress(QString::fromStdString(line));
    }
}

} // namespace

MeshPositions vertexNormals(const MeshPositions& positions, const MeshTriangles& triangles)
{
    using namespace vecmath;
    MeshPositions normals(positions.size(), Vec3{0.0, 0.0, 0.0});
    for (const MeshTriangle& t : triangles) {
        const Vec3& pa = positions[static_cast<std::size_t>(t[0])];
        const Vec3 n = cross(sub(positions[static_cast<std::size_t>(t[1])], pa),
                             sub(positions[static_cast<std::size_t>(t[2])], pa));
        for (std::int64_t corner : t) {
            Vec3& sum = normals[static_cast<std::size_t>(corner)];
            sum = add(sum, n);
        }
    }
    for (Vec3& n : normals) {
        const double len = length(n);
        if (len > 1e-12) {
            n = {n[0] / len, n[1] / len, n[2] / len};
        } else {
            n = {0.0, 0.0, 1.0};
        }
    }
    return normals;
}

namespace {

// splitPinchedVertices on `mesh` in place, given its slot uses (which the split leaves as they are).
void splitPinched(MeshLists& mesh, const std::vector<edgeusage::EdgeUse>& uses)
{
    const std::size_t faceCount = mesh.triangles.size();
    const std::size_t vertexCount = mesh.positions.size();
    std::vector<char> onBoundary(vertexCount, 0);
    bool anyBoundary = false;
    for (std::size_t t = 0; t < faceCount; ++t) {
        for (int k = 0; k < 3; ++k) {
            if (uses[t * 3 + static_cast<std::size_t>(k)].uses == 1) {
                const MeshTriangle& tri = mesh.triangles[t];
                onBoundary[static_cast<std::size_t>(tri[k])] = 1;
                onBoundary[static_cast<std::size_t>(tri[(k + 1) % 3])] = 1;
                anyBoundary = true;
            }
        }
    }
    if (!anyBoundary) {
        return;
    }

    // The corners (3 × face + k) at each boundary vertex, in face order.
    std::vector<std::size_t> start(vertexCount + 1, 0);
    for (const MeshTriangle& t : mesh.triangles) {
        for (std::int64_t v : t) {
            start[static_cast<std::size_t>(v) + 1] += onBoundary[static_cast<std::size_t>(v)] ? 1 : 0;
        }
    }
    for (std::size_t v = 0; v < vertexCount; ++v) {
        start[v + 1] += start[v];
    }
    std::vector<std::uint32_t> corners(start[vertexCount]);
    {
        std::vector<std::size_t> fill(start.begin(), start.end() - 1);
        for (std::size_t t = 0; t < faceCount; ++t) {
            for (int k = 0; k < 3; ++k) {
                const auto v = static_cast<std::size_t>(mesh.triangles[t][k]);
                if (onBoundary[v]) {
                    corners[fill[v]++] = static_cast<std::uint32_t>(t * 3 + static_cast<std::size_t>(k));
                }
            }
        }
    }

    std::vector<std::uint32_t> parent;
    std::vector<std::pair<std::int64_t, std::uint32_t>> shared; // (other end of a shared edge, corner)
    std::vector<std::int64_t> copyOfRoot;
    auto find = [&](std::uint32_t i) {
        while (parent[i] != i) {
            parent[i] = parent[parent[i]];
            i = parent[i];
        }
        return i;
    };
    for (std::size_t v = 0; v < vertexCount; ++v) {
        const std::size_t first = start[v];
        const std::size_t count = start[v + 1] - first;
        if (count < 2) {
            continue;
        }
        parent.resize(count);
        shared.clear();
        for (std::uint32_t i = 0; i < count; ++i) {
            parent[i] = i;
            const std::uint32_t corner = corners[first + i];
            const std::size_t t = corner / 3;
            const unsigned k = corner % 3;
            const MeshTriangle& tri = mesh.triangles[t];
            // The edge leaving v in this face (slot k) and the one arriving at it (slot k + 2).
            if (uses[t * 3 + k].uses >= 2) {
                shared.emplace_back(tri[(k + 1) % 3], i);
            }
            if (uses[t * 3 + (k + 2) % 3].uses >= 2) {
                shared.emplace_back(tri[(k + 2) % 3], i);
            }
        }
        std::sort(shared.begin(), shared.end());
        for (std::size_t s = 1; s < shared.size(); ++s) {
            if (shared[s].first == shared[s - 1].first) {
                const std::uint32_t a = find(shared[s].second);
                const std::uint32_t b = find(shared[s - 1].second);
                parent[std::max(a, b)] = std::min(a, b);
            }
        }
        // Fans in order of their first corner; the first keeps v.
        copyOfRoot.assign(count, -1);
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint32_t root = find(i);
            if (copyOfRoot[root] == -1) {
                if (root == find(0)) {
                    copyOfRoot[root] = static_cast<std::int64_t>(v);
                } else {
                    copyOfRoot[root] = static_cast<std::int64_t>(mesh.positions.size());
                    const Vec3 at = mesh.positions[v];
                    mesh.positions.push_back(at);
                }
            }
            const std::uint32_t corner = corners[first + i];
            mesh.triangles[corner / 3][corner % 3] = copyOfRoot[root];
        }
    }
}

// The shell of `mesh` given its slot uses and their tallies. The shell's edge report follows from them
// without grouping the shell's own edges: an edge used once gains its bridge's reverse and an inner copy
// that does the same; an edge used twice or more keeps its verdict on both skins; and the edge from each
// vertex w to its inner copy is used once per open edge leaving w (running w → w′) and once per open edge
// arriving at w (w′ → w).
Shell shellFrom(const MeshLists& mesh, const MeshPositions& normals, double shellMM,
                const std::vector<edgeusage::EdgeUse>& uses, const edgeusage::EdgeTally& tally)
{
    const std::size_t vertexCount = mesh.positions.size();
    const auto v = static_cast<std::int64_t>(vertexCount);
    Shell shell;
    shell.outerFaces = static_cast<std::int64_t>(mesh.triangles.size());
    shell.positions.reserve(vertexCount * 2);
    shell.positions = mesh.positions;
    for (std::size_t k = 0; k < vertexCount; ++k) {
        shell.positions.push_back(vecmath::sub(mesh.positions[k], vecmath::scale(normals[k], shellMM)));
    }

    std::vector<std::pair<std::int64_t, std::int64_t>> boundary;
    boundary.reserve(4096);
    for (std::size_t t = 0; t < mesh.triangles.size(); ++t) {
        const MeshTriangle& tri = mesh.triangles[t];
        for (int k = 0; k < 3; ++k) {
            if (uses[t * 3 + static_cast<std::size_t>(k)].uses == 1) {
                boundary.emplace_back(tri[k], tri[(k + 1) % 3]);
            }
        }
    }
    shell.boundaryEdges = static_cast<std::int64_t>(boundary.size());

    shell.triangles.reserve(mesh.triangles.size() * 2 + boundary.size() * 2);
    shell.triangles = mesh.triangles;
    for (const MeshTriangle& t : mesh.triangles) {
        shell.triangles.push_back({t[0] + v, t[2] + v, t[1] + v});
    }
    for (const auto& [a, b] : boundary) {
        shell.triangles.push_back({b, a, a + v});
        shell.triangles.push_back({b, a + v, b + v});
    }

    shell.edges = {0, 2 * tally.nonManifold, 2 * tally.flipped};
    std::vector<std::uint32_t> leaving(vertexCount, 0);
    std::vector<std::uint32_t> arriving(vertexCount, 0);
    for (const auto& [a, b] : boundary) {
        ++leaving[static_cast<std::size_t>(a)];
        ++arriving[static_cast<std::size_t>(b)];
    }
    for (std::size_t w = 0; w < vertexCount; ++w) {
        if (leaving[w] + arriving[w] > 0) {
            edgeusage::count(shell.edges, {leaving[w] + arriving[w], leaving[w]});
        }
    }
    return shell;
}

} // namespace

MeshLists splitPinchedVertices(MeshLists mesh)
{
    splitPinched(mesh, edgeusage::slotUses(mesh.triangles));
    return mesh;
}

Shell buildShell(const MeshLists& mesh, const MeshPositions& normals, double shellMM)
{
    edgeusage::EdgeTally tally;
    const std::vector<edgeusage::EdgeUse> uses = edgeusage::slotUses(mesh.triangles, &tally);
    return shellFrom(mesh, normals, shellMM, uses, tally);
}

Expected<Result, Failure> thicken(const QString& objPath, const QString& destination, double shellMM,
                                  const MeshProgress& progress, std::stop_token cancel)
{
    using Kind = MeshToolFailure::Kind;
    if (!isUsableThicknessMm(shellMM)) {
        return unexpected(failed(Kind::thickness));
    }
    report(progress, "reading mesh\u2026");
    auto loaded = meshio::loadWeldedMesh(objPath);
    if (!loaded) {
        return unexpected(Failure{loaded.error()});
    }
    if (cancel.stop_requested()) {
        return unexpected(failed(Kind::cancelled));
    }
    MeshLists mesh = std::move(loaded->mesh);
    edgeusage::EdgeTally tally;
    const std::vector<edgeusage::EdgeUse> uses = edgeusage::slotUses(mesh.triangles, &tally);
    splitPinched(mesh, uses);
    const auto vertexCount = static_cast<std::int64_t>(mesh.positions.size());
    const auto faceCount = static_cast<std::int64_t>(mesh.triangles.size());

    report(progress, "computing vertex normals\u2026");
    const MeshPositions normals = vertexNormals(mesh.positions, mesh.triangles);
    std::string line = "offsetting inward ";
    appendInt(line, static_cast<std::int64_t>(std::round(shellMM)));
    line += " mm\u2026";
    report(progress, line);
    const Shell shell = shellFrom(mesh, normals, shellMM, uses, tally);
    if (cancel.stop_requested()) {
        return unexpected(failed(Kind::cancelled));
    }
    const std::int64_t bridgeFaces = 2 * shell.boundaryEdges;
    const std::int64_t totalFaces = 2 * faceCount + bridgeFaces;
    line = "writing OBJ (";
    appendInt(line, totalFaces);
    line += " faces)\u2026";
    report(progress, line);

    std::string text;
    text.reserve(static_cast<std::size_t>(vertexCount) * 64 + static_cast<std::size_t>(faceCount) * 32 +
                 1024);
    text += "# tovarine\u2122 Companion \u2014 thickened shell\n# source: ";
    text += meshio::fileName(objPath).toStdString();
    text += "\n# shell: ";
    textformat::appendFixed(text, shellMM, 2);
    text += " mm (offset along vertex normals)\n# units: millimeters\n# orientation: +Z up\n# vertices: ";
    appendInt(text, vertexCount);
    text += " outer + ";
    appendInt(text, vertexCount);
    text += " inner = ";
    appendInt(text, 2 * vertexCount);
    text += "\n# faces: ";
    appendInt(text, faceCount);
    text += " outer + ";
    appendInt(text, faceCount);
    text += " inner + ";
    appendInt(text, bridgeFaces);
    text += " bridge = ";
    appendInt(text, totalFaces);
    text += '\n';
    textformat::appendVertexLines(text, shell.positions);
    textformat::appendLines(text, shell.triangles.size(), [&](std::string& out, std::size_t i) {
        const MeshTriangle& t = shell.triangles[i];
        textformat::appendFaceLine(out, t[0], t[1], t[2]);
    });
    if (auto failure = meshio::writeAtomically(destination, text)) {
        return unexpected(Failure{*failure});
    }

    const edgeusage::EdgeTally& edges = shell.edges;
    return Result{faceCount,         faceCount,     bridgeFaces,         edges.open,
                  edges.nonManifold, edges.flipped, loaded->skippedFaces};
}

} // namespace tovarine::MeshThicken
