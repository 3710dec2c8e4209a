#pragma once

#include "Expected.h"
#include "MeshToolFailure.h"
#include "MeshTypes.h"

#include <QByteArray>
#include <optional>
#include <string>
#include <string_view>

// The file layer shared by the mesh tools: reading an OBJ into welded lists, and writing text atomically.
// Any thread; no state.
namespace tovarine::meshio {

// True when `bytes` is well-formed UTF-8 (no overlong forms, surrogates or values above U+10FFFF).
bool isValidUtf8(std::string_view bytes);

// Reads the whole file; fails with Kind::read (the cause in `text`) when it cannot be read or is not UTF-8.
Expected<QByteArray, MeshToolFailure> readUtf8File(const QString& path);

struct LoadedMesh
{
    MeshLists mesh;                // welded
    std::int64_t skippedFaces = 0; // valid faces dropped because a corner is unreadable or not finite
};

// The tools' common start: read, parse, drop invalid triangles, weld with the automatic tolerance.
// Faces that use an unreadable or non-finite vertex are dropped and counted. Fails with Kind::read,
// Kind::range when a vertex of a kept face lies kMaxCoordinateMm or more from the origin on some axis (the
// text names the first such vertex by its number in the file), or Kind::empty when no position or no
// valid triangle exists before or after the weld.
Expected<LoadedMesh, MeshToolFailure> loadWeldedMesh(const QString& path);

// Replaces `path` with `text` atomically (the old file or the whole new one, never a part); on failure
// returns Kind::write with the cause.
std::optional<MeshToolFailure> writeAtomically(const QString& path, std::string_view text);

// The last path component of `path`.
QString fileName(const QString& path);

} // namespace tovarine::meshio
