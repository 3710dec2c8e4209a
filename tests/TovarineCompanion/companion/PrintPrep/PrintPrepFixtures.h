#pragma once

#include <QString>
#include <array>
#include <optional>
#include <ostream>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE

namespace tovarine::test {

// Writes a closed, outward-wound box model file (metres, +Y up) at `path` with UsdzFile::write:
// `widthM` along X, `heightM` along Y, `depthM` along Z, its corner at the origin; with `openTop` the +Y face
// is left out (an open scan); each face is a grid of `divisions` × `divisions` squares of two triangles, as
// fine as a scan where that is wanted. False when writing failed.
bool writeBoxModel(const QString& path, double widthM, double heightM, double depthM, bool openTop = false,
                   int divisions = 1);

// The X, Y, Z extents of the "v" lines of an OBJ file; none when it cannot be read or holds no vertex.
std::optional<std::array<double, 3>> objExtents(const QString& path);

// Sets the modification time of `path` to `secondsSinceEpoch` (whole seconds, so dates compare exactly).
bool setModified(const QString& path, qint64 secondsSinceEpoch);

} // namespace tovarine::test
