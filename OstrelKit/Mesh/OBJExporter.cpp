#include "OBJExporter.h"

#include "MeshExportFiles.h"
#include "MeshExportPipeline.h"
#include "MeshInputCheck.h"
#include "OstrelFileNames.h"

#include <charconv>

namespace ostrel::OBJExporter {

namespace {

void appendFixed6(std::string& out, float value)
{
    char buffer[64];
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 6);
    out.append(buffer, written.ptr);
}

void appendNumber(std::string& out, std::uint64_t value)
{
    char buffer[24];
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, written.ptr);
}

void appendTriples(std::string& out, const char* prefix, const std::vector<Float3>& values)
{
    for (const Float3& v : values) {
        out += prefix;
        appendFixed6(out, v.x);
        out += ' ';
        appendFixed6(out, v.y);
        out += ' ';
        appendFixed6(out, v.z);
        out += '\n';
    }
    out += '\n';
}

void appendCorner(std::string& out, std::uint32_t index)
{
    const std::uint64_t oneBased = std::uint64_t{index} + 1;
    appendNumber(out, oneBased);
    out += "//";
    appendNumber(out, oneBased);
}

} // namespace

ExportConfig::ExportConfig(QString appName, QString objectName, int subdivisions, float weldThreshold,
                           bool includeMaterial, std::function<QString()> materialBuilder)
    : appName(std::move(appName)),
      objectName(std::move(objectName)),
      subdivisions(subdivisions),
      weldThreshold(weldThreshold),
      includeMaterial(includeMaterial),
      materialBuilder(std::move(materialBuilder))
{
}

ExportResult build(std::span<const Float3> vertices, std::span<const Float3> normals,
                   std::span<const std::uint32_t> indices, const ExportConfig& config)
{
    const std::optional<MeshExportPipeline::PreparedMesh> mesh =
        MeshExportPipeline::prepare(vertices, normals, indices, config.weldThreshold, config.subdivisions);
    if (!mesh || MeshInputCheck::normalProblem(mesh->normals, mesh->normals.size())) {
        return {};
    }

    ExportResult result;
    result.vertexCount = static_cast<std::int64_t>(mesh->vertices.size());
    result.faceCount = static_cast<std::int64_t>(mesh->indices.size() / 3);
    result.isWatertight = mesh->isWatertight;

    // Names go inside lines: a line break in one would start a line of its own (a stray "v" line would shift
    // every later face index).
    const std::string object = MeshExportFiles::singleLine(config.objectName).toStdString();
    std::string& out = result.objString;
    // About 40 bytes per vertex line, as many per normal line, and 30 per face line.
    out.reserve(256 + mesh->vertices.size() * 80 + mesh->indices.size() * 10);
    out +=
        "# " + MeshExportFiles::singleLine(config.appName).toStdString() + " Export \u2014 " + object + '\n';
    out += "# Vertices: ";
    appendNumber(out, static_cast<std::uint64_t>(result.vertexCount));
    out += ", Faces: ";
    appendNumber(out, static_cast<std::uint64_t>(result.faceCount));
    out += '\n';
    out += result.isWatertight ? "# Watertight: YES\n" : "# Watertight: NO\n";
    if (config.includeMaterial) {
        out += "mtllib " + object + ".mtl\n";
    }
    out += "o " + object + "\n\n";
    appendTriples(out, "v ", mesh->vertices);
    appendTriples(out, "vn ", mesh->normals);
    if (config.includeMaterial) {
        out += "usemtl " + object + "_mat\n";
    }
    for (std::size_t t = 0; t + 2 < mesh->indices.size(); t += 3) {
        out += "f ";
        appendCorner(out, mesh->indices[t]);
        out += ' ';
        appendCorner(out, mesh->indices[t + 1]);
        out += ' ';
        appendCorner(out, mesh->indices[t + 2]);
        out += '\n';
    }
    return result;
}

ExportResult exportMesh(std::span<const Float3> vertices, std::span<const Float3> normals,
                        std::span<const std::uint32_t> indices, const ExportConfig& config,
                        const std::optional<QString>& directory)
{
    ExportResult result = build(vertices, normals, indices, config);
    if (result.objString.empty()) {
        return result;
    }
    if (!MeshExportFiles::isSafeName(config.objectName)) {
        result.error = MeshExportFiles::unsafeNameMessage();
        return result;
    }
    const QString folder = MeshExportFiles::targetDirectory(directory, &result.error);
    if (folder.isEmpty()) {
        return result;
    }
    const QString objPath = OstrelFileNames::childPath(folder, config.objectName + QStringLiteral(".obj"));
    if (!MeshExportFiles::writeAtomically(objPath, result.objString.data(),
                                          static_cast<qint64>(result.objString.size()), &result.error)) {
        return result;
    }
    if (config.includeMaterial && config.materialBuilder) {
        const QByteArray material = config.materialBuilder().toUtf8();
        if (!MeshExportFiles::writeAtomically(
                OstrelFileNames::childPath(folder, config.objectName + QStringLiteral(".mtl")),
                material.constData(), material.size(), &result.error)) {
            return result;
        }
    }
    result.filePath = objPath;
    return result;
}

} // namespace ostrel::OBJExporter
