#include "CaptureStaging.h"

#include "DiskSpace.h"
#include "DropIntakeRules.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <filesystem>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace tovarine::CaptureStaging {

namespace fs = std::filesystem;

namespace {

fs::path toPath(const QString& path)
{
    return fs::path(QFile::encodeName(path).toStdString());
}

QString fromPath(const fs::path& path)
{
    return QFile::decodeName(QByteArray::fromStdString(path.native()));
}

QString describe(const fs::path& path, const std::error_code& error)
{
    if (error == std::errc::no_space_on_device) {
        return QStringLiteral("not enough space on ") + fromPath(path.parent_path());
    }
    if (error == std::errc::read_only_file_system || error == std::errc::permission_denied) {
        return fromPath(path.parent_path()) + QStringLiteral(" is not writable");
    }
    return fromPath(path) + QStringLiteral(": ") + QString::fromLocal8Bit(error.message());
}

// The nearest folder of `path` (itself or an ancestor) that exists.
QString existingAncestor(QString path)
{
    while (!QFileInfo::exists(path) && QFileInfo(path).absolutePath() != path) {
        path = QFileInfo(path).absolutePath();
    }
    return path;
}

bool isWritableFolder(const QString& path)
{
    return ::access(QFile::encodeName(path).constData(), W_OK | X_OK) == 0;
}

// The bytes of the regular files in a folder tree (links are not copied, so not counted).
qint64 treeBytes(const QString& folder)
{
    qint64 total = 0;
    std::error_code error;
    for (fs::recursive_directory_iterator it(toPath(folder), error), end; !error && it != end;
         it.increment(error)) {
        std::error_code statError;
        if (it->symlink_status(statError).type() == fs::file_type::regular) {
            total += static_cast<qint64>(it->file_size(statError));
        }
    }
    return total;
}

// Checks before anything is copied: the result folder is one safe name directly inside tovarine/, a folder
// we can write to, on a file system with room for the frames. Error: a sentence with the path.
Expected<void, QString> checkResultFolder(const QString& tovarineDir, const QString& resultDir,
                                          const QString& framesDir, bool copyFrames)
{
    const QString name = QFileInfo(resultDir).fileName();
    const QString parent = QDir::cleanPath(QFileInfo(resultDir).absolutePath());
    if (!DropIntakeRules::isSafeComponent(name) ||
        parent != QDir::cleanPath(QFileInfo(tovarineDir).absoluteFilePath())) {
        return unexpected(QStringLiteral("the result folder name \"%1\" is not usable.").arg(name));
    }
    if (!QDir().mkpath(resultDir)) {
        return unexpected(existingAncestor(resultDir) + QStringLiteral(" is not writable."));
    }
    if (!isWritableFolder(resultDir)) {
        return unexpected(resultDir + QStringLiteral(" is not writable."));
    }
    if (copyFrames) {
        const qint64 needed = treeBytes(framesDir);
        // The new frames are copied beside a reused folder's Images/ before it goes: both fit at once.
        const qint64 free = DiskSpace::freeBytes(resultDir);
        if (free >= 0 && needed > free) {
            return unexpected(
                QStringLiteral("not enough space on %1: the frames need %2 and %3 are free.")
                    .arg(resultDir, DiskSpace::formatBytes(needed), DiskSpace::formatBytes(free)));
        }
    }
    return {};
}

bool isAbandoned(const std::atomic<bool>* abandoned)
{
    return abandoned != nullptr && abandoned->load();
}

} // namespace

Expected<void, QString> copyFolder(const QString& source, const QString& destination,
                                   const std::atomic<bool>* abandoned)
{
    const fs::path from = toPath(source);
    const fs::path to = toPath(destination);
    std::error_code error;
    if (fs::exists(fs::symlink_status(to, error))) {
        return unexpected(describe(to, std::make_error_code(std::errc::file_exists)));
    }

    struct Entry
    {
        fs::path relative;
        fs::file_type type;
    };
    std::vector<Entry> entries;
    fs::recursive_directory_iterator it(from, error);
    if (error) {
        return unexpected(describe(from, error));
    }
    for (const fs::recursive_directory_iterator end; it != end; it.increment(error)) {
        const fs::file_status status = it->symlink_status(error);
        if (error) {
            return unexpected(describe(it->path(), error));
        }
        entries.push_back({it->path().lexically_relative(from), status.type()});
    }
    if (error) {
        return unexpected(describe(from, error));
    }

    if (!fs::create_directory(to, error) || error) {
        return unexpected(describe(to, error ? error : std::make_error_code(std::errc::file_exists)));
    }
    for (const Entry& entry : entries) {
        if (isAbandoned(abandoned)) {
            return unexpected(QStringLiteral("abandoned"));
        }
        const fs::path target = to / entry.relative;
        switch (entry.type) {
        case fs::file_type::directory:
            fs::create_directory(target, error);
            break;
        case fs::file_type::symlink: // never followed nor copied: it could point anywhere
            break;
        case fs::file_type::regular:
            if (fs::copy_file(from / entry.relative, target, error)) {
                DropIntakeRules::giveNewFileMode(fromPath(target));
            }
            break;
        default: // sockets, pipes and devices are not frames
            break;
        }
        if (error) {
            return unexpected(describe(target, error));
        }
    }
    return {};
}

Expected<Staged, QString> stage(const Request& request)
{
    const QString imagesDir = DropIntakeRules::findImagesDir(request.rootPath);
    if (imagesDir.isEmpty()) {
        return unexpected(QStringLiteral("No Images/ folder with JPEG frames was found inside the drop."));
    }

    const DropIntakeRules::OutputName name =
        DropIntakeRules::outputName(request.rootPath, request.nowSeconds);
    const QString resultDir = DropIntakeRules::resultFolderPath(request.tovarineDir, name, imagesDir);
    const QString stagedImages = QDir(resultDir).filePath(QStringLiteral("Images"));
    const bool copyFrames = !DropIntakeRules::isSameFolder(imagesDir, stagedImages);
    const Expected<void, QString> usable =
        checkResultFolder(request.tovarineDir, resultDir, imagesDir, copyFrames);
    if (!usable) {
        return unexpected(QStringLiteral("Couldn't stage frames: ") + usable.error());
    }

    const QString captureDir = QFileInfo(imagesDir).absolutePath();
    if (!copyFrames) {
        DropIntakeRules::copyLabel(captureDir, resultDir);
        DropIntakeRules::copyPhoneMorvelSettings(captureDir, resultDir, request.tovarineDir);
        return Staged{resultDir, stagedImages};
    }

    // The frames are copied beside the old Images/ and swapped in only once complete: the frames folder may
    // lie inside the Images/ it replaces, and a failed copy leaves the old frames as they were.
    const fs::path incoming = toPath(QDir(resultDir).filePath(QStringLiteral(".Images-incoming")));
    std::error_code error;
    fs::remove_all(incoming, error);
    const Expected<void, QString> copied = copyFolder(imagesDir, fromPath(incoming), request.abandoned.get());
    if (!copied) {
        fs::remove_all(incoming, error);
        return unexpected(QStringLiteral("Couldn't stage frames: ") + copied.error());
    }
    // The capture's own files are read before the old Images/, which may hold them, goes.
    DropIntakeRules::copyLabel(captureDir, resultDir);
    DropIntakeRules::copyPhoneMorvelSettings(captureDir, resultDir, request.tovarineDir);
    fs::remove_all(toPath(stagedImages), error);
    fs::rename(incoming, toPath(stagedImages), error);
    if (error) {
        const QString reason = describe(toPath(stagedImages), error);
        fs::remove_all(incoming, error);
        return unexpected(QStringLiteral("Couldn't stage frames: ") + reason);
    }
    return Staged{resultDir, stagedImages};
}

} // namespace tovarine::CaptureStaging
