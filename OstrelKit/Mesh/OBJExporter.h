#pragma once

#include "Float3.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

// The kit's Wavefront OBJ writer for in-memory triangle meshes (unrelated to the application's model-file
// converter of the same name): welds, optionally subdivides, checks closure, and writes OBJ text with the
// counts and the closure verdict in its header, optionally beside a material file. Stateless, synchronous;
// any thread.
namespace ostrel::OBJExporter {

struct ExportConfig
{
    ExportConfig(QString appName, QString objectName, int subdivisions, float weldThreshold, bool includeMaterial,
                 std::function<QString()> materialBuilder = {});

    QString appName;    // named in the first header line
    QString objectName; // object, material-library and material names; the file name stem
    int subdivisions = 0;        // subdivision rounds; 0 or less for none
    float weldThreshold = 0.0f;  // distance below which vertices merge, in the mesh's units
    bool includeMaterial = false; // adds the mtllib/usemtl lines and allows the material file
    std::function<QString()> materialBuilder; // the material file's whole text; empty for no file
};

struct ExportResult
{
    std::string objString; // UTF-8, lines ending in "\n"
    std::int64_t vertexCount = 0;
    std::int64_t faceCount = 0;
    bool isWatertight = false;
    std::optional<QString> filePath; // the written .obj file; set by exportMesh on success only
    QString error; // why exportMesh wrote nothing (or not everything); empty on success and for build
};

// The OBJ text: header comments ("# <appName> Export — <objectName>", "# Vertices: <v>, Faces: <f>",
// "# Watertight: YES|NO"), "mtllib <objectName>.mtl" with a material, "o <objectName>", the vertices and
// normals with six decimals ("v %.6f %.6f %.6f", "vn …", independent of the locale), "usemtl
// <objectName>_mat" with a material, and one "f a//a b//b c//c" line per triangle (1-based). A line break in
// appName or objectName is written as a space (see MeshExportFiles::singleLine).
// Returns the empty result ("", counts 0, not watertight) for a mesh without vertices, and also for input
// outside the tools' limits (see MeshInputCheck; here also a non-finite normal that would be written).
ExportResult build(std::span<const Float3> vertices, std::span<const Float3> normals,
                   std::span<const std::uint32_t> indices, const ExportConfig& config);

// Builds, then writes "<objectName>.obj" (and, with includeMaterial and a materialBuilder,
// "<objectName>.mtl") into `directory`, or when absent into the user's desktop folder (see
// MeshExportFiles::targetDirectory); no folder is created and existing files of those names are replaced,
// each atomically. A name beginning with ':' is a file inside the folder like any other. Writes nothing for
// an empty build, an objectName holding '/', '\', NUL, ".." or a line break, or a folder that does not exist.
// Returns the build result, with filePath set only when every file was written, and otherwise (empty builds
// aside) `error` saying why; a .obj already written stays when the .mtl write fails.
ExportResult exportMesh(std::span<const Float3> vertices, std::span<const Float3> normals,
                        std::span<const std::uint32_t> indices, const ExportConfig& config,
                        const std::optional<QString>& directory = std::nullopt);

} // namespace ostrel::OBJExporter
