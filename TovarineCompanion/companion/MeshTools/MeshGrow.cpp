#include "MeshGrow.h"

#include "MeshThicken.h"
#include "MeshToolIO.h"
#include "MeshTopology.h"
#include "TextFormat.h"
#include "VecMath.h"

#include <algorithm>
#include <limits>

namespace tovarine::MeshGrow {

namespace {

using MeshMinThickness::ThicknessSamples;
using textformat::appendFixed;
using textformat::appendInt;

const char* const kMtlHeader = "# tovarine\u2122 Companion \u2014 grown-mesh materials\n"
                               "# safe = neutral grey, thin = red (mirrors thinmap)\n";

constexpr std::int64_t kLargest = std::numeric_limits<std::int64_t>::max();

struct Measurement
{
    ThicknessSamples samples;
    std::int64_t thin = 0;
    double minMM = 0.0;
    double medianMM = 0.0;
};

Measurement summarise(ThicknessSamples samples, double minThicknessMM)
{
    Measurement m;
    std::vector<double> measured;
    measured.reserve(samples.thicknessMM.size());
    for (std::size_t f = 0; f < samples.thicknessMM.size(); ++f) {
        if (samples.measured[f]) {
            measured.push_back(samples.thicknessMM[f]);
            m.thin += samples.thicknessMM[f] < minThicknessMM ? 1 : 0;
        }
    }
    std::sort(measured.begin(), measured.end());
    if (!measured.empty()) {
        m.minMM = measured.front();
        m.medianMM = measured[measured.size() / 2];
    }
    m.samples = std::move(samples);
    return m;
}

QString text(const std::string& line)
{
    return QString::fromStdString(line);
}

Failure failed(MeshToolFailure::Kind kind)
{
    return Failure{{kind, {}}};
}

} // namespace

Adjacency vertexAdjacency(std::size_t vertexCount, const MeshTriangles& triangles)
{
    Adjacency adjacency;
    adjacency.offsets.assign(vertexCount + 1, 0);
    for (const MeshTriangle& t : triangles) {
        for (std::int64_t corner : t) {
            adjacency.offsets[static_cast<std::size_t>(corner) + 1] += 2;
        }
    }
    for (std::size_t v = 0; v < vertexCount; ++v) {
        adjacency.offsets[v + 1] += adjacency.offsets[v];
    }
    std::vector<std::uint32_t> all(adjacency.offsets[vertexCount]);
    std::vector<std::size_t> fill(adjacency.offsets.begin(), adjacency.offsets.end() - 1);
    for (const MeshTriangle& t : triangles) {
        for (int k = 0; k < 3; ++k) {
            const auto v = static_cast<std::size_t>(t[k]);
            all[fill[v]++] = static_cast<std::uint32_t>(t[(k + 1) % 3]);
            all[fill[v]++] = static_cast<std::uint32_t>(t[(k + 2) % 3]);
        }
    }
    // Sort and deduplicate each vertex's list, compacting in place.
    adjacency.neighbours.reserve(all.size());
    std::size_t begin = 0;
    for (std::size_t v = 0; v < vertexCount; ++v) {
        const std::size_t end = adjacency.offsets[v + 1];
        std::sort(all.begin() + static_cast<std::ptrdiff_t>(begin),
                  all.begin() + static_cast<std::ptrdiff_t>(end));
        const auto last = std::unique(all.begin() + static_cast<std::ptrdiff_t>(begin),
                                      all.begin() + static_cast<std::ptrdiff_t>(end));
        adjacency.offsets[v] = adjacency.neighbours.size();
        adjacency.neighbours.insert(adjacency.neighbours.end(),
                                    all.begin() + static_cast<std::ptrdiff_t>(begin), last);
        begin = end;
    }
    adjacency.offsets[vertexCount] = adjacency.neighbours.size();
    return adjacency;
}

Grown growPositions(const MeshLists& mesh, const Adjacency& adjacency, double minThicknessMM,
                    int maxIterations, int smoothingPasses, double smoothingAlpha,
                    const MeshProgress& progress, std::stop_token cancel, int threadCount)
{
    using namespace vecmath;
    const MeshTriangles& faces = mesh.triangles;
    const std::size_t vertexCount = mesh.positions.size();
    const int cap = std::max(maxIterations, 0);
    auto report = [&](const std::string& line) {
        if (progress) {
            progress(text(line));
        }
    };
    auto measure = [&](const MeshPositions& positions, const std::string& prefix) {
        const QString qprefix = text(prefix);
        MeshProgress prefixed;
        if (progress) {
            prefixed = [&](const QString& line) { progress(qprefix + line); };
        }
        return summarise(MeshMinThickness::sampleThickness(positions, faces, prefixed, cancel, threadCount),
                         minThicknessMM);
    };

    MeshPositions current = mesh.positions;
    MeshPositions bestPositions;
    Measurement best;
    std::int64_t bestThin = kLargest;
    std::int64_t previousThin = kLargest;
    std::int64_t initialThin = -1;
    std::int64_t iterations = 0;
    bool haveBest = false;
    bool writeBest = false;
    Measurement written;

    bool needsFinal = true;
    for (int k = 1; k <= cap; ++k) {
        std::string prefix = "iter ";
        appendInt(prefix, k);
        prefix += '/';
        appendInt(prefix, cap);
        prefix += " \u00B7 ";
        report(prefix + "sampling thickness\u2026");
        Measurement m = measure(current, prefix);
        if (cancel.stop_requested()) {
            return {current, std::move(m.samples), {}};
        }
        const std::int64_t thin = m.thin;
        std::vector<double> push(vertexCount, 0.0);
        for (std::size_t f = 0; f < faces.size(); ++f) {
            if (m.samples.measured[f] && m.samples.thicknessMM[f] < minThicknessMM) {
                const double s = (minThicknessMM - m.samples.thicknessMM[f]) * 0.5;
                for (std::int64_t corner : faces[f]) {
                    double& amount = push[static_cast<std::size_t>(corner)];
                    if (s > amount) {
                        amount = s;
                    }
                }
            }
        }
        if (initialThin == -1) {
            initialThin = thin;
        }
        if (thin < bestThin) {
            bestThin = thin;
            bestPositions = current;
            best = m;
            haveBest = true;
        }
        if (thin == 0 || !(thin < previousThin)) {
            iterations = k;
            writeBest = true;
            needsFinal = false;
            break;
        }

        report(prefix + "computing normals\u2026");
        const MeshPositions normals = MeshThicken::vertexNormals(current, faces);
        std::string line = prefix + "growing ";
        appendInt(line, thin);
        line += " thin faces\u2026";
        report(line);
        std::vector<std::uint32_t> moved;
        for (std::size_t v = 0; v < vertexCount; ++v) {
            if (push[v] > 0.0) {
                current[v] = add(current[v], scale(normals[v], push[v]));
                moved.push_back(static_cast<std::uint32_t>(v));
            }
        }
        if (!moved.empty() && smoothingPasses >= 1) {
            line = prefix + "smoothing ";
            appendInt(line, static_cast<std::int64_t>(moved.size()));
            line += " verts\u2026";
            report(line);
            std::vector<Vec3> updated(moved.size());
            for (int pass = 0; pass < smoothingPasses; ++pass) {
                for (std::size_t m2 = 0; m2 < moved.size(); ++m2) {
                    const std::uint32_t v = moved[m2];
                    const std::size_t first = adjacency.offsets[v];
                    const std::size_t last = adjacency.offsets[v + 1];
                    if (first == last) {
                        updated[m2] = current[v];
                        continue;
                    }
                    Vec3 sum{0.0, 0.0, 0.0};
                    for (std::size_t n = first; n < last; ++n) {
                        sum = add(sum, current[adjacency.neighbours[n]]);
                    }
                    const auto count = static_cast<double>(last - first);
                    const Vec3 mean{sum[0] / count, sum[1] / count, sum[2] / count};
                    updated[m2] = add(scale(current[v], 1.0 - smoothingAlpha), scale(mean, smoothingAlpha));
                }
                for (std::size_t m2 = 0; m2 < moved.size(); ++m2) {
                    current[moved[m2]] = updated[m2];
                }
            }
        }
        if (cancel.stop_requested()) {
            return {current, std::move(m.samples), {}};
        }
        if (k == cap) {
            iterations = cap;
            break;
        }
        previousThin = thin;
    }

    if (needsFinal) {
        report("final sample\u2026");
        written = measure(current, "final \u00B7 ");
        if (haveBest && bestThin < written.thin) {
            writeBest = true;
        }
    }
    Grown grown;
    if (writeBest) {
        grown.positions = std::move(bestPositions);
        written = std::move(best);
    } else {
        grown.positions = std::move(current);
    }
    grown.result.faceCount = static_cast<std::int64_t>(faces.size());
    grown.result.initialThin = initialThin;
    grown.result.finalThin = written.thin;
    grown.result.iterations = iterations;
    grown.result.finalMinMM = written.minMM;
    grown.result.finalMedianMM = written.medianMM;
    for (std::size_t v = 0; v < vertexCount; ++v) {
        const Vec3& a = grown.positions[v];
        const Vec3& b = mesh.positions[v];
        grown.result.displacedVertices += (a[0] != b[0] || a[1] != b[1] || a[2] != b[2]) ? 1 : 0;
    }
    grown.samples = std::move(written.samples);
    return grown;
}

Expected<Result, Failure> grow(const QString& objPath, const QString& destination,
                               const QString& mtlDestination, double minThicknessMM, int maxIterations,
                               int smoothingPasses, double smoothingAlpha, const MeshProgress& progress,
                               std::stop_token cancel)
{
    using Kind = MeshToolFailure::Kind;
    if (!isUsableThicknessMm(minThicknessMM)) {
        return unexpected(failed(Kind::thickness));
    }
    if (progress) {
        progress(QStringLiteral("reading mesh\u2026"));
    }
    auto loaded = meshio::loadWeldedMesh(objPath);
    if (!loaded) {
        return unexpected(Failure{loaded.error()});
    }
    const MeshLists& mesh = loaded->mesh;
    const std::int64_t openEdges = MeshTopology::edgeReport(mesh.triangles).open;
    if (progress) {
        progress(QStringLiteral("building vertex adjacency\u2026"));
    }
    const Adjacency adjacency = vertexAdjacency(mesh.positions.size(), mesh.triangles);
    Grown grown = growPositions(mesh, adjacency, minThicknessMM, maxIterations, smoothingPasses,
                                smoothingAlpha, progress, cancel);
    if (cancel.stop_requested()) {
        return unexpected(failed(Kind::cancelled));
    }
    Result result = grown.result;
    result.openEdges = openEdges;
    result.skippedFaces = loaded->skippedFaces;

    const MeshMinThickness::ThinSplit split = MeshMinThickness::splitThin(grown.samples, minThicknessMM);
    std::string line = "writing grown mesh (";
    appendInt(line, result.finalThin);
    line += " thin remaining)\u2026";
    if (progress) {
        progress(text(line));
    }

    if (auto failure = meshio::writeAtomically(mtlDestination, std::string(kMtlHeader) +
                                                                   MeshMinThickness::kSafeThinMaterials)) {
        return unexpected(Failure{*failure});
    }
    std::string obj;
    obj.reserve(mesh.positions.size() * 48 + mesh.triangles.size() * 28 + 1024);
    obj += "# tovarine\u2122 Companion \u2014 grown mesh\n# source: ";
    obj += meshio::fileName(objPath).toStdString();
    obj += "\n# threshold: ";
    appendFixed(obj, minThicknessMM, 3);
    obj += " mm\n# iterations: ";
    appendInt(obj, result.iterations);
    obj += " of ";
    appendInt(obj, std::max(maxIterations, 0));
    obj += " (cap)\n# faces: ";
    appendInt(obj, result.faceCount);
    obj += " total \u00B7 ";
    appendInt(obj, result.finalThin);
    obj += " thin remaining \u00B7 ";
    appendInt(obj, result.displacedVertices);
    obj += " displaced verts\n# initial thin: ";
    appendInt(obj, result.initialThin);
    obj += " \u2192 final thin: ";
    appendInt(obj, result.finalThin);
    obj += '\n';
    if (result.finalMinMM > 0.0) {
        obj += "# final measured: min ";
        appendFixed(obj, result.finalMinMM, 3);
        obj += " mm \u00B7 median ";
        appendFixed(obj, result.finalMedianMM, 3);
        obj += " mm\n";
    }
    obj += "# units: millimeters\n"
           "# orientation: +Z up (inherited from source)\n"
           "# topology preserved; positions displaced + Laplacian-smoothed\n"
           "mtllib ";
    obj += meshio::fileName(mtlDestination).toStdString();
    obj += '\n';
    textformat::appendVertexLines(obj, grown.positions);
    MeshMinThickness::appendFaceGroup(obj, "safe", mesh.triangles, split.safe);
    MeshMinThickness::appendFaceGroup(obj, "thin", mesh.triangles, split.thin);
    if (auto failure = meshio::writeAtomically(destination, obj)) {
        return unexpected(Failure{*failure});
    }
    return result;
}

} // namespace tovarine::MeshGrow
