#include "PrintPrepFiles.h"

#include "OBJExporter.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUuid>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace tovarine::PrintPrepFiles {

namespace {

constexpr QFileDevice::Permissions kPrivateFolder = QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                    QFileDevice::ExeOwner | QFileDevice::ReadUser |
                                                    QFileDevice::WriteUser | QFileDevice::ExeUser;

// Creates `path` (its parent must exist) readable by the user alone; an existing folder is narrowed to the
// user alone too, so a copy is never left readable by others.
bool makePrivateFolder(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        QDir parent = info.dir();
        if (!parent.mkdir(info.fileName(), kPrivateFolder) && !QFileInfo(path).isDir()) {
            return false;
        }
    } else if (!info.isDir()) {
        return false;
    }
    std::error_code error;
    std::filesystem::permissions(std::filesystem::path(path.toStdString()), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::replace, error);
    return !error;
}

} // namespace

QString folderName(const QString& path)
{
    const QString cleaned = path.isEmpty() ? QString() : QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (const char byte : cleaned.toUtf8()) {
        hash ^= std::uint64_t(static_cast<unsigned char>(byte));
        hash *= 0x100000001b3ULL;
    }
    return QString::number(hash, 16);
}

QString workingCopyRoot()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           QStringLiteral("/tovarine-printprep");
}

Expected<QString, QString> millimetreSource(const QString& meshPath)
{
    return millimetreSource(meshPath, workingCopyRoot());
}

Expected<QString, QString> millimetreSource(const QString& meshPath, const QString& root)
{
    const QString folder = root + QLatin1Char('/') + folderName(meshPath);
    const QString copy = folder + QStringLiteral("/model.obj");

    const auto copyDate = modified(copy);
    const auto meshDate = modified(meshPath);
    if (copyDate && meshDate && *copyDate >= *meshDate) {
        return copy;
    }

    const QString rootParent = QFileInfo(root).absolutePath();
    if (!QDir().mkpath(rootParent) || !makePrivateFolder(root) || !makePrivateFolder(folder)) {
        return unexpected(QStringLiteral("couldn't create the working folder ") + folder);
    }
    const QString partial = folder + QStringLiteral("/model.obj.") +
                            QUuid::createUuid().toString(QUuid::Id128) + QStringLiteral(".part");
    if (const auto failure =
            OBJExporter::exportModel(meshPath, partial, QStringLiteral("mm"), {1.0f, 1.0f, 1.0f})) {
        QFile::remove(partial);
        return unexpected(failure->localizedDescription());
    }
    std::error_code error;
    std::filesystem::rename(std::filesystem::path(partial.toStdString()),
                            std::filesystem::path(copy.toStdString()), error);
    if (error) {
        QFile::remove(partial);
        return unexpected(QStringLiteral("couldn't write OBJ: ") + QString::fromStdString(error.message()));
    }
    return copy;
}

std::optional<QDateTime> modified(const QString& path)
{
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists()) {
        return std::nullopt;
    }
    const QDateTime date = info.lastModified();
    if (!date.isValid()) {
        return std::nullopt;
    }
    return date;
}

ClosedMeshAnswer latestClosedMesh(const QString& resultDir, const QString& meshPath)
{
    ClosedMeshAnswer answer;
    const QDir dir(resultDir);
    if (resultDir.isEmpty() || !dir.exists()) {
        return answer;
    }
    const QStringList entries =
        dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted);

    // The later of the two dates; a missing date counts as the distant past.
    std::optional<QDateTime> threshold = modified(meshPath);
    if (const auto objDate = modified(dir.filePath(QStringLiteral("model.obj")))) {
        if (!threshold || *objDate > *threshold) {
            threshold = objDate;
        }
    }

    QDateTime bestDate;
    for (const QString& name : entries) {
        if (QFileInfo(name).suffix().toLower() != QLatin1String("obj")) {
            continue;
        }
        if (!name.startsWith(QLatin1String("model_thick_")) &&
            !name.startsWith(QLatin1String("model_watertight_"))) {
            continue;
        }
        const QString path = dir.filePath(name);
        const auto date = modified(path);
        if (!date) {
            continue;
        }
        if (threshold && *date < *threshold) {
            answer.olderExist = true;
            continue;
        }
        if (!answer.current || *date > bestDate) {
            answer.current = path;
            bestDate = *date;
        }
    }
    return answer;
}

QString smallGapNote(std::int64_t openEdges, std::int64_t faces)
{
    if (openEdges < 1) {
        return {};
    }
    // faces × 3 / 2 without overflowing for absurd counts.
    const __int128 tripled = __int128(faces) * 3;
    const double estimatedEdges = tripled > 1 ? double(tripled / 2) : 1.0;
    if (double(openEdges) / estimatedEdges < 0.01) {
        return QStringLiteral(" · ") + QString::number(openEdges) +
               QStringLiteral(" open edges in hairline gaps");
    }
    return {};
}

QString thicknessTag(double mm)
{
    const double v = std::round(mm * 100.0) / 100.0;
    if (!std::isfinite(v)) {
        return std::isnan(v) ? QStringLiteral("nan") : QStringLiteral("inf");
    }
    if (v == std::trunc(v)) {
        if (std::fabs(v) < 9.2e18) {
            return QString::number(static_cast<qint64>(v));
        }
        return QString::asprintf("%.0f", v);
    }
    return QString::asprintf("%g", v).replace(QLatin1Char('.'), QLatin1Char('p'));
}

} // namespace tovarine::PrintPrepFiles
