#include "CaptureStaging.h"

#include "DropIntakeRules.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <filesystem>
#include <system_error>
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
    return fromPath(path) + QStringLiteral(": ") + QString::fromLocal8Bit(error.message());
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
        case fs::file_type::symlink:
            fs::copy_symlink(from / entry.relative, target, error);
            break;
        case fs::file_type::regular:
            fs::copy_file(from / entry.relative, target, error);
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
    // A failure here shows up as a failed copy below.
    QDir().mkpath(resultDir);

    const QString stagedImages = QDir(resultDir).filePath(QStringLiteral("Images"));
    const QString captureDir = QFileInfo(imagesDir).absolutePath();
    if (DropIntakeRules::isSameFolder(imagesDir, stagedImages)) {
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
