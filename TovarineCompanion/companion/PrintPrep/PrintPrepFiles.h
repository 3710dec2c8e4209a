#pragma once

#include "Expected.h"

#include <QDateTime>
#include <QString>
#include <cstdint>
#include <optional>

// Finds, names and dates the files the print-prep tools read and write. Nothing here keeps state between
// calls: every answer is read from the file system at the moment of the call, and nothing is ever deleted.
// Any thread.
namespace tovarine::PrintPrepFiles {

// The newest closed mesh of a result folder and whether stale ones were skipped.
struct ClosedMeshAnswer
{
    std::optional<QString>
        current;             // newest "model_thick_" / "model_watertight_" OBJ not older than the result
    bool olderExist = false; // at least one closed mesh was skipped for being older than the result
};

// 64-bit FNV-1a over the UTF-8 bytes of the cleaned absolute path, in lowercase hex without leading zeros
// ("cbf29ce484222325" for an empty path). Different spellings of one path ("a/./b", "a/c/../b") agree.
QString folderName(const QString& path);

// The folder holding every working copy: "<per-user cache>/tovarine-printprep". The cache is the user's own
// (XDG cache home), never the shared temporary folder.
QString workingCopyRoot();

// The millimetre working copy of `meshPath` (a model file in metres):
// "<workingCopyRoot()>/<folderName(meshPath)>/model.obj". Reused when both dates exist and the copy's is
// later than or equal to the mesh's; otherwise the folders are created private to the user (0700) and the
// model is exported (millimetres, scale 1) to a temporary name in the same folder, then renamed over the
// copy, so a half-written copy never carries the copy's name. Error: the user-facing message of the failure
// (folder not created, the exporter's failure, or the rename). Blocks for the export: worker threads only.
Expected<QString, QString> millimetreSource(const QString& meshPath);

// Same, under `root` in place of workingCopyRoot().
Expected<QString, QString> millimetreSource(const QString& meshPath, const QString& root);

// The modification time of the item at `path`, or none when it cannot be read.
std::optional<QDateTime> modified(const QString& path);

// The newest closed mesh directly inside `resultDir`: an entry whose extension, lower-cased, is "obj" and
// whose name begins with "model_thick_" or "model_watertight_" (case-sensitive). Entries older than the
// later of the dates of `meshPath` and "<resultDir>/model.obj" are skipped and set olderExist; among equal
// dates the first in listing order wins. An unreadable folder gives (none, false).
ClosedMeshAnswer latestClosedMesh(const QString& resultDir, const QString& meshPath);

// " · N open edges in hairline gaps" when 0 < openEdges and openEdges is below 1 % of the estimated edge
// count (faces × 3 / 2, at least 1); otherwise empty. A non-empty note lets the panel count a mesh as closed.
QString smallGapNote(std::int64_t openEdges, std::int64_t faces);

// The thickness as written in file names: rounded to hundredths (halves away from zero); a whole value as an
// integer ("2", "0"), else "%g" with "." as "p" ("2p03", "0p5"). Values too large for a 64-bit integer are
// written whole without a fraction; a value that is not finite gives "nan" or "inf".
QString thicknessTag(double mm);

} // namespace tovarine::PrintPrepFiles
