#pragma once

#include "Float3.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>
#include <span>

// The kit's binary STL writer for in-memory triangle meshes: welds, optionally subdivides, checks closure, and
// writes an 80-byte header, the little-endian facet count and 50 bytes per facet. Facet normals always come
// from the triangles, never from the input normals. Stateless, synchronous; any thread.
namespace ostrel::STLExporter {

// The weld threshold exportMesh uses, in the mesh's units.
inline constexpr float kExportWeldThreshold = 0.0001f;

struct ExportResult
{
    QByteArray data; // the whole file: 84 + 50 × faceCount bytes
    std::int64_t vertexCount = 0;
    std::int64_t faceCount = 0;
    bool isWatertight = false;
    std::optional<QString> filePath; // the written file; set by exportMesh on success only
    QString error; // why exportMesh wrote nothing (or not everything); empty on success and for build
};

// Header: the UTF-8 bytes of "<appName> Export", cut after 80 bytes, zero-padded; then the facet count
// (uint32); then per triangle the unit normal (b − a) × (c − a), or (0, 1, 0) when any of its components is
// not finite (a zero-area triangle), the three corners as float32 and a zero uint16.
// Returns the empty result (no data, counts 0, not watertight) for a mesh without vertices, and also for input
// outside the tools' limits (see MeshInputCheck) or more than 2^32 − 1 facets.
ExportResult build(std::span<const Float3> vertices, std::span<const Float3> normals,
                   std::span<const std::uint32_t> indices, const QString& appName, int subdivisions,
                   float weldThreshold);

// Builds with kExportWeldThreshold and writes the data atomically to `fileName` (with ".stl" appended unless
// it already ends in exactly ".stl") in `directory`, or when absent in the user's desktop folder (see
// MeshExportFiles::targetDirectory); no folder is created and a file of that name is replaced. A name
// beginning with ':' is a file inside the folder like any other. Writes nothing for an empty build, a file
// name holding '/', '\', NUL, ".." or a line break, or a folder that does not exist. Returns the build
// result, with filePath set only when the file was written, and otherwise (empty builds aside) `error`
// saying why.
ExportResult exportMesh(std::span<const Float3> vertices, std::span<const Float3> normals,
                        std::span<const std::uint32_t> indices, const QString& fileName, const QString& appName,
                        int subdivisions, const std::optional<QString>& directory = std::nullopt);

} // namespace ostrel::STLExporter
