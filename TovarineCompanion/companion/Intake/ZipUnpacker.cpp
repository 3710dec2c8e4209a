#include "ZipUnpacker.h"

#include "DiskSpace.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <archive.h>
#include <archive_entry.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tovarine::ZipUnpacker {

using DiskSpace::formatBytes;
using DiskSpace::freeBytes;

namespace {

using ArchivePtr = std::unique_ptr<archive, decltype(&archive_read_free)>;

constexpr std::size_t kBlockBytes = 1 << 16;

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

Expected<ArchivePtr, QString> openZip(const QString& zipPath)
{
    ArchivePtr reader(archive_read_new(), archive_read_free);
    if (!reader) {
        return unexpected(QStringLiteral("out of memory"));
    }
    archive_read_support_format_zip(reader.get());
    if (archive_read_open_filename(reader.get(), QFile::encodeName(zipPath).constData(), kBlockBytes) !=
        ARCHIVE_OK) {
        return unexpected(QStringLiteral("%1: %2").arg(
            zipPath, QString::fromLocal8Bit(archive_error_string(reader.get()))));
    }
    return reader;
}

QString archiveError(archive* reader)
{
    const char* text = archive_error_string(reader);
    return text ? QString::fromLocal8Bit(text) : QStringLiteral("the zip is damaged");
}

// The entry's name split into components, or empty when it must not be written: an absolute name, a ".."
// component, or nothing but "." and empty components.
std::vector<std::string> safeComponents(const char* name)
{
    std::vector<std::string> parts;
    if (name == nullptr || name[0] == '/') {
        return {};
    }
    std::string current;
    for (const char* c = name;; ++c) {
        if (*c == '/' || *c == '\\' || *c == '\0') {
            if (current == "..") {
                return {};
            }
            if (!current.empty() && current != ".") {
                parts.push_back(current);
            }
            current.clear();
            if (*c == '\0') {
                break;
            }
            continue;
        }
        current.push_back(*c);
    }
    return parts;
}

bool isRegularEntry(archive_entry* entry)
{
    return archive_entry_filetype(entry) == AE_IFREG && archive_entry_hardlink(entry) == nullptr &&
           archive_entry_symlink(entry) == nullptr;
}

// Makes every folder of `parts` but the last below `root` (0700); existing components must be real folders.
bool makeParents(const std::string& root, const std::vector<std::string>& parts, std::size_t folders)
{
    std::string path = root;
    for (std::size_t i = 0; i < folders; ++i) {
        path += '/';
        path += parts[i];
        if (::mkdir(path.c_str(), 0700) != 0) {
            struct stat info
            {
            };
            if (errno != EEXIST || ::lstat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
                return false;
            }
        }
    }
    return true;
}

QString noSpace(const QString& folder, qint64 needed, qint64 free)
{
    return QStringLiteral("not enough space on %1: the zip unpacks to %2 and %3 are free.")
        .arg(folder, formatBytes(needed), formatBytes(std::max<qint64>(free, 0)));
}

Expected<void, QString> writeEntries(archive* reader, const QString& destination, qint64 budgetBytes,
                                     const std::atomic<bool>* abandoned)
{
    const std::string root = QFile::encodeName(destination).toStdString();
    std::vector<char> buffer(kBlockBytes);
    qint64 written = 0;
    archive_entry* entry = nullptr;
    int status = ARCHIVE_OK;
    while ((status = archive_read_next_header(reader, &entry)) == ARCHIVE_OK || status == ARCHIVE_WARN) {
        if (abandoned && abandoned->load()) {
            return unexpected(QStringLiteral("abandoned"));
        }
        const std::vector<std::string> parts = safeComponents(archive_entry_pathname(entry));
        if (parts.empty()) {
            continue;
        }
        const bool folder = archive_entry_filetype(entry) == AE_IFDIR;
        if (!folder && !isRegularEntry(entry)) {
            continue; // links, hard links, devices and pipes are never written
        }
        if (!makeParents(root, parts, folder ? parts.size() : parts.size() - 1)) {
            return unexpected(QStringLiteral("couldn't create a folder for %1 in %2")
                                  .arg(QString::fromUtf8(archive_entry_pathname(entry)), destination));
        }
        if (folder) {
            continue;
        }
        std::string path = root;
        for (const std::string& part : parts) {
            path += '/';
            path += part;
        }
        // A second entry of the same name is skipped: the first one stands.
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST) {
                continue;
            }
            return unexpected(errno == ENOSPC ? noSpace(destination, budgetBytes, 0)
                                              : QStringLiteral("%1: %2").arg(QFile::decodeName(path.c_str()),
                                                                             systemError(errno)));
        }
        const qint64 declared = archive_entry_size_is_set(entry) ? archive_entry_size(entry) : -1;
        qint64 entryBytes = 0;
        QString failure;
        for (;;) {
            const la_ssize_t got = archive_read_data(reader, buffer.data(), buffer.size());
            if (got == 0) {
                break;
            }
            if (got < 0) {
                failure = archiveError(reader);
                break;
            }
            entryBytes += got;
            written += got;
            // The data may not outgrow what the zip declared: the space check relied on it.
            if ((declared >= 0 && entryBytes > declared) || written > budgetBytes) {
                failure = QStringLiteral("%1 holds more data than it declares; it is damaged or hostile.")
                              .arg(QString::fromUtf8(archive_entry_pathname(entry)));
                break;
            }
            if (abandoned && abandoned->load()) {
                failure = QStringLiteral("abandoned");
                break;
            }
            for (la_ssize_t off = 0; off < got;) {
                const ssize_t n = ::write(fd, buffer.data() + off, static_cast<std::size_t>(got - off));
                if (n < 0 && errno == EINTR) {
                    continue;
                }
                if (n <= 0) {
                    failure = errno == ENOSPC ? noSpace(destination, budgetBytes, freeBytes(destination))
                                              : QStringLiteral("%1: %2").arg(QFile::decodeName(path.c_str()),
                                                                             systemError(errno));
                    break;
                }
                off += n;
            }
            if (!failure.isEmpty()) {
                break;
            }
        }
        if (::close(fd) != 0 && failure.isEmpty()) {
            failure = errno == ENOSPC ? noSpace(destination, budgetBytes, freeBytes(destination))
                                      : systemError(errno);
        }
        if (!failure.isEmpty()) {
            return unexpected(failure);
        }
    }
    if (status != ARCHIVE_EOF) {
        return unexpected(archiveError(reader));
    }
    return {};
}

} // namespace

Expected<void, QString> unpack(const QString& zipPath, const QString& destination,
                               const std::atomic<bool>* abandoned, const Limits& limits)
{
    // First pass: the declared sizes, before anything is written.
    qint64 declaredBytes = 0;
    {
        auto reader = openZip(zipPath);
        if (!reader) {
            return unexpected(reader.error());
        }
        archive_entry* entry = nullptr;
        int status = ARCHIVE_OK;
        while ((status = archive_read_next_header(reader->get(), &entry)) == ARCHIVE_OK ||
               status == ARCHIVE_WARN) {
            if (isRegularEntry(entry) && archive_entry_size_is_set(entry)) {
                declaredBytes += std::max<qint64>(archive_entry_size(entry), 0);
            }
            if (abandoned && abandoned->load()) {
                return unexpected(QStringLiteral("abandoned"));
            }
        }
        if (status != ARCHIVE_EOF) {
            return unexpected(archiveError(reader->get()));
        }
    }
    const qint64 zipBytes = QFileInfo(zipPath).size();
    if (declaredBytes > limits.ratioFreeBytes &&
        static_cast<double>(declaredBytes) > limits.maxExpansionRatio * static_cast<double>(zipBytes)) {
        return unexpected(
            QStringLiteral("the zip claims to unpack to %1 from %2, more than %3 times its size; "
                           "it is damaged or hostile.")
                .arg(formatBytes(declaredBytes), formatBytes(zipBytes))
                .arg(limits.maxExpansionRatio));
    }
    const QString parent = QFileInfo(destination).absolutePath();
    const qint64 free = limits.freeBytesOverride >= 0 ? limits.freeBytesOverride : freeBytes(parent);
    if (free >= 0 && declaredBytes + limits.reserveBytes > free) {
        return unexpected(noSpace(parent, declaredBytes, free));
    }

    if (::mkdir(QFile::encodeName(destination).constData(), 0700) != 0) {
        return unexpected(
            QStringLiteral("couldn't create the folder %1: %2").arg(destination, systemError(errno)));
    }
    auto reader = openZip(zipPath);
    Expected<void, QString> result = reader
                                         ? writeEntries(reader->get(), destination, declaredBytes, abandoned)
                                         : Expected<void, QString>(unexpected(reader.error()));
    if (!result) {
        QDir(destination).removeRecursively();
    }
    return result;
}

} // namespace tovarine::ZipUnpacker
