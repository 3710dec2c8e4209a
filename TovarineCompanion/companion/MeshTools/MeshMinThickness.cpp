#include "MeshMinThickness.h"

#include "MeshToolIO.h"
#include "MeshTopology.h"
#include "TextFormat.h"

#include <algorithm>

namespace tovarine::MeshMinThickness {

namespace {

using textformat::appendFixed;
using textformat::appendInt;

const char* const kMtlHeader = "# tovarine\u2122 Companion \u2014 thinmap materials\n"
                               "# safe = neutral grey, thin = red\n";

Failure failed(MeshToolFailure::Kind kind, QString text = {})
{
    return Failure{{kind, std::move(text)}};
}

void report(const MeshProgress& progress, const std::string& line)
{
    if (progress) {
        progress(QString::fromStdString(line));
    }
}

} // namespace

const char* const kSafeThinMaterials = "newmtl safe\n"
                                       "Ka 0.05 0.05 0.05\n"
                                       "Kd 0.78 0.78 0.78\n"
                                       "Ks 0.10 0.10 0.10\n"
                                       "Ns 16\n"
                                       "illum 2\n"
                                       "newmtl thin\n"
                                       "Ka 0.20 0.05 0.04\n"
                                       "Kd 0.90 0.20 0.15\n"
                                       "Ks 0.20 0.10 0.10\n"
                                       "Ns 16\n"
                                       "illum 2\n";

ThinSplit splitThin(const ThicknessSamples& samples, double minThicknessMM)
{
    ThinSplit split;
    const std::size_t faceCount = samples.thicknessMM.size();
    split.thin.reserve(faceCount / 8);
    split.safe.reserve(faceCount);
    for (std::size_t f = 0; f < faceCount; ++f) {
        if (samples.measured[f] && samples.thicknessMM[f] < minThicknessMM) {
            split.thin.push_back(f);
        } else {
            split.safe.push_back(f);
        }
    }
    return split;
}

void appendFaceGroup(std::string& obj, const char* name, const MeshTriangles& triangles,
                     const std::vector<std::size_t>& faces)
{
    if (faces.empty()) {
        return;
    }
    obj += "g ";
    obj += name;
    obj += "\nusemtl ";
    obj += name;
    obj += '\n';
    textformat::appendLines(obj, faces.size(), [&](std::string& text, std::size_t i) {
        const MeshTriangle& t = triangles[faces[i]];
        textformat::appendFaceLine(text, t[0], t[1], t[2]);
    });
}

Expected<Result, Failure> analyze(const QString& objPath, const QString& destination,
                                  const QString& mtlDestination, double minThicknessMM,
                                  const MeshProgress& progress, std::stop_token cancel)
{
    using Kind = MeshToolFailure::Kind;
    if (!isUsableThicknessMm(minThicknessMM)) {
        return unexpected(failed(Kind::thickness));
    }
    report(progress, "reading mesh\u2026");
    auto loaded = meshio::loadWeldedMesh(objPath);
    if (!loaded) {
        return unexpected(Failure{loaded.error()});
    }
    const MeshLists& mesh = loaded->mesh;
    Result result;
    result.faceCount = static_cast<std::int64_t>(mesh.triangles.size());
    result.openEdges = MeshTopology::edgeReport(mesh.triangles).open;
    result.skippedFaces = loaded->skippedFaces;
    if (cancel.stop_requested()) {
        return unexpected(failed(Kind::cancelled));
    }

    std::string line = "indexing ";
    appendInt(line, result.faceCount);
    line += " tris\u2026";
    report(progress, line);
    const ThicknessGrid grid = buildThicknessGrid(mesh.positions, mesh.triangles);
    report(progress, "ray-sampling thickness\u2026");
    const ThicknessSamples samples = sampleThickness(mesh.positions, mesh.triangles, grid, progress, cancel);
    if (cancel.stop_requested()) {
        return unexpected(failed(Kind::cancelled));
    }

    std::vector<double> measured;
    measured.reserve(mesh.triangles.size());
    for (std::size_t f = 0; f < mesh.triangles.size(); ++f) {
        if (samples.measured[f]) {
            measured.push_back(samples.thicknessMM[f]);
        }
    }
    std::stable_sort(measured.begin(), measured.end());
    if (!measured.empty()) {
        result.minMM = measured.front();
        result.maxMM = measured.back();
        result.medianMM = measured[measured.size() / 2];
    }
    result.noHitCount = result.faceCount - static_cast<std::int64_t>(measured.size());

    const ThinSplit split = splitThin(samples, minThicknessMM);
    result.thinCount = static_cast<std::int64_t>(split.thin.size());

    line = "writing thinmap (";
    appendInt(line, result.thinCount);
    line += " thin faces)\u2026";
    report(progress, line);

    if (auto failure =
            meshio::writeAtomically(mtlDestination, std::string(kMtlHeader) + kSafeThinMaterials)) {
        return unexpected(Failure{*failure});
    }

    std::string text;
    text.reserve(mesh.triangles.size() * 48 + mesh.positions.size() * 28 + 1024);
    text += "# tovarine\u2122 Companion \u2014 min-thickness analysis\n";
    text += "# source: ";
    text += meshio::fileName(objPath).toStdString();
    text += "\n# threshold: ";
    appendFixed(text, minThicknessMM, 3);
    text += " mm\n# faces: ";
    appendInt(text, result.faceCount);
    text += " total \u00B7 ";
    appendInt(text, result.thinCount);
    text += " thin (";
    appendFixed(text, static_cast<double>(result.thinCount) / static_cast<double>(result.faceCount) * 100.0,
                1);
    text += "%) \u00B7 ";
    appendInt(text, result.noHitCount);
    text += " no-hit\n";
    if (result.openEdges > 0) {
        text += "# open edges: ";
        appendInt(text, result.openEdges);
        text += " (mesh is not closed; misses are not measurements)\n";
    }
    if (!measured.empty()) {
        text += "# measured: min ";
        appendFixed(text, result.minMM, 3);
        text += " mm \u00B7 median ";
        appendFixed(text, result.medianMM, 3);
        text += " mm \u00B7 max ";
        appendFixed(text, result.maxMM, 3);
        text += " mm\n";
    }
    text += "# units: millimeters\n"
            "# orientation: +Z up (inherited from source)\n"
            "# note: 'thin' faces are coloured red via the sibling .mtl;\n"
            "#       open in MeshLab / Rhino / Blender to view.\n"
            "mtllib ";
    text += meshio::fileName(mtlDestination).toStdString();
    text += '\n';
    textformat::appendVertexLines(text, mesh.positions);
    appendFaceGroup(text, "safe", mesh.triangles, split.safe);
    appendFaceGroup(text, "thin", mesh.triangles, split.thin);
    if (auto failure = meshio::writeAtomically(destination, text)) {
        return unexpected(Failure{*failure});
    }
    return result;
}

} // namespace tovarine::MeshMinThickness
