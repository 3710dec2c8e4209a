#include "STLExporter.h"

#include "MeshExportFiles.h"
#include "MeshExportPipeline.h"
#include "OstrelFileNames.h"

#include <QtEndian>

#include <cstring>
#include <limits>

namespace ostrel::STLExporter {

namespace {

constexpr qsizetype kHeaderBytes = 80;
constexpr qsizetype kFacetBytes = 50;

char* putFloat3(char* out, const Float3& v)
{
    qToLittleEndian(v.x, out);
    qToLittleEndian(v.y, out + 4);
    qToLittleEndian(v.z, out + 8);
    return out + 12;
}

} // namespace

ExportResult build(std::span<const Float3> vertices, std::span<const Float3> normals,
                   std::span<const std::uint32_t> indices, const QString& appName, int subdivisions,
                   float weldThreshold)
{
    const std::optional<MeshExportPipeline::PreparedMesh> mesh =
        MeshExportPipeline::prepare(vertices, normals, indices, weldThreshold, subdivisions);
    const std::size_t facets = mesh ? mesh->indices.size() / 3 : 0;
    if (!mesh || facets > std::numeric_limits<std::uint32_t>::max()) {
        return {};
    }

    ExportResult result;
    result.vertexCount = static_cast<std::int64_t>(mesh->vertices.size());
    result.faceCount = static_cast<std::int64_t>(facets);
    result.isWatertight = mesh->isWatertight;

    result.data = QByteArray(kHeaderBytes + 4 + kFacetBytes * static_cast<qsizetype>(facets), '\0');
    char* out = result.data.data();
    const QByteArray title = (appName + QStringLiteral(" Export")).toUtf8();
    std::memcpy(out, title.constData(), static_cast<std::size_t>(std::min(title.size(), kHeaderBytes)));
    qToLittleEndian(static_cast<std::uint32_t>(facets), out + kHeaderBytes);
    out += kHeaderBytes + 4;

    const std::vector<Float3>& v = mesh->vertices;
    for (std::size_t t = 0; t < facets; ++t) {
        const Float3& a = v[mesh->indices[3 * t]];
        const Float3& b = v[mesh->indices[3 * t + 1]];
        const Float3& c = v[mesh->indices[3 * t + 2]];
        const Float3 n = unguardedFaceNormal(a, b, c);
        out = putFloat3(out, isFinite(n) ? n : kFallbackNormal);
        out = putFloat3(out, a);
        out = putFloat3(out, b);
        out = putFloat3(out, c);
        out += 2; // attribute byte count, already zero
    }
    return result;
}

ExportResult exportMesh(std::span<const Float3> vertices, std::span<const Float3> normals,
                        std::span<const std::uint32_t> indices, const QString& fileName, const QString& appName,
                        int subdivisions, const std::optional<QString>& directory)
{
    ExportResult result = build(vertices, normals, indices, appName, subdivisions, kExportWeldThreshold);
    if (result.data.isEmpty()) {
        return result;
    }
    const QString name = fileName.endsWith(QStringLiteral(".stl")) ? fileName : fileName + QStringLiteral(".stl");
    if (!MeshExportFiles::isSafeName(name)) {
        result.error = MeshExportFiles::unsafeNameMessage();
        return result;
    }
    const QString folder = MeshExportFiles::targetDirectory(directory, &result.error);
    if (folder.isEmpty()) {
        return result;
    }
    const QString path = OstrelFileNames::childPath(folder, name);
    if (MeshExportFiles::writeAtomically(path, result.data.constData(), result.data.size(), &result.error)) {
        result.filePath = path;
    }
    return result;
}

} // namespace ostrel::STLExporter
