#include "FrameStaging.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <jpeglib.h>
#include <libheif/heif.h>
#include <memory>

namespace tovarine::FrameStaging {
namespace {

bool writeJpeg(const QString& path, const std::uint8_t* rgb, int width, int height, int stride)
{
    FILE* file = std::fopen(QFile::encodeName(path).constData(), "wb");
    if (!file) {
        return false;
    }
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 95, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(rgb + static_cast<std::size_t>(info.next_scanline) * stride);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    const bool ok = std::fflush(file) == 0;
    return std::fclose(file) == 0 && ok;
}

} // namespace

std::pair<int, int> jpegSize(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {0, 0};
    }
    // The frame header normally sits within the first few hundred kilobytes (after EXIF and thumbnails).
    const QByteArray data = file.read(1 << 20);
    const auto byte = [&](qsizetype i) { return static_cast<unsigned char>(data[i]); };
    if (data.size() < 4 || byte(0) != 0xFF || byte(1) != 0xD8) {
        return {0, 0};
    }
    qsizetype i = 2;
    while (i + 9 < data.size()) {
        if (byte(i) != 0xFF) {
            return {0, 0};
        }
        const unsigned char marker = byte(i + 1);
        if (marker == 0xFF) {
            ++i;
            continue;
        }
        const int length = (byte(i + 2) << 8) | byte(i + 3);
        const bool startOfFrame =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (startOfFrame) {
            return {(byte(i + 7) << 8) | byte(i + 8), (byte(i + 5) << 8) | byte(i + 6)};
        }
        i += 2 + length;
    }
    return {0, 0};
}

Expected<std::pair<int, int>, QString> convertHeicToJpeg(const QString& heicPath, const QString& jpegPath)
{
    const QString failure =
        QStringLiteral("The HEIC frame %1 could not be decoded.").arg(QFileInfo(heicPath).fileName());
    std::unique_ptr<heif_context, decltype(&heif_context_free)> context(heif_context_alloc(),
                                                                        heif_context_free);
    if (!context) {
        return unexpected(failure);
    }
    if (heif_context_read_from_file(context.get(), QFile::encodeName(heicPath).constData(), nullptr).code !=
        heif_error_Ok) {
        return unexpected(failure);
    }
    heif_image_handle* rawHandle = nullptr;
    if (heif_context_get_primary_image_handle(context.get(), &rawHandle).code != heif_error_Ok) {
        return unexpected(failure);
    }
    std::unique_ptr<heif_image_handle, decltype(&heif_image_handle_release)> handle(
        rawHandle, heif_image_handle_release);
    heif_image* rawImage = nullptr;
    if (heif_decode_image(handle.get(), &rawImage, heif_colorspace_RGB, heif_chroma_interleaved_RGB, nullptr)
            .code != heif_error_Ok) {
        return unexpected(failure);
    }
    std::unique_ptr<heif_image, decltype(&heif_image_release)> image(rawImage, heif_image_release);
    int stride = 0;
    const std::uint8_t* pixels =
        heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    const int width = heif_image_get_width(image.get(), heif_channel_interleaved);
    const int height = heif_image_get_height(image.get(), heif_channel_interleaved);
    if (!pixels || width <= 0 || height <= 0) {
        return unexpected(failure);
    }
    if (!writeJpeg(jpegPath, pixels, width, height, stride)) {
        QFile::remove(jpegPath);
        return unexpected(QStringLiteral("The HEIC frame %1 could not be converted to JPEG.")
                              .arg(QFileInfo(heicPath).fileName()));
    }
    return std::pair{width, height};
}

Expected<StagedFrames, QString> stage(const QString& inputFolder, const QString& imagesFolder,
                                      const std::atomic<bool>* cancelled)
{
    namespace fs = std::filesystem;
    const QFileInfo inputInfo(inputFolder);
    if (!inputInfo.isDir() || !inputInfo.isReadable()) {
        return unexpected(QStringLiteral("The frames folder %1 cannot be read.").arg(inputFolder));
    }
    // Listed by the file system's own bytes: a name that is not UTF-8 is still a frame, and a name with a
    // newline or other control characters is harmless because COLMAP only ever sees our own names.
    struct Frame
    {
        fs::path path;
        std::string nativeName;
        bool heic = false;
    };
    std::vector<Frame> frames;
    std::error_code error;
    for (fs::directory_iterator it(fs::path(QFile::encodeName(inputFolder).toStdString()), error), end;
         !error && it != end; it.increment(error)) {
        std::error_code statError;
        // Links are followed here (mixed captures are staged as links to the frames), to regular files only.
        if (!fs::is_regular_file(it->status(statError))) {
            continue;
        }
        const std::string name = it->path().filename().native();
        const std::size_t dot = name.rfind('.');
        std::string extension = dot == std::string::npos || dot == 0 ? std::string() : name.substr(dot + 1);
        std::transform(extension.begin(), extension.end(), extension.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (extension == "jpg" || extension == "jpeg" || extension == "heic") {
            frames.push_back({it->path(), name, extension == "heic"});
        }
    }
    if (error) {
        return unexpected(QStringLiteral("The frames folder %1 cannot be read.").arg(inputFolder));
    }
    std::sort(frames.begin(), frames.end(),
              [](const Frame& a, const Frame& b) { return a.nativeName < b.nativeName; });
    if (frames.empty()) {
        return unexpected(QStringLiteral("No jpg, jpeg or heic frames were found in %1.").arg(inputFolder));
    }
    if (frames.size() < static_cast<std::size_t>(kMinFrames)) {
        return unexpected(QStringLiteral("At least %1 frames are needed; %2 holds %3.")
                              .arg(kMinFrames)
                              .arg(inputFolder)
                              .arg(frames.size()));
    }

    const QDir images(imagesFolder);
    StagedFrames staged;
    for (const Frame& frame : frames) {
        if (cancelled && cancelled->load()) {
            return unexpected(QString());
        }
        const QString original = QFile::decodeName(QByteArray::fromStdString(frame.nativeName));
        const QString stagedName =
            QStringLiteral("frame_%1.jpg").arg(staged.frameCount, 5, 10, QLatin1Char('0'));
        const QString stagedPath = images.filePath(stagedName);
        const fs::path source = fs::canonical(frame.path, error);
        if (error) {
            return unexpected(QStringLiteral("The frame %1 could not be staged.").arg(original));
        }
        // The frame is reached through a link with our own name; HEIC frames decode from such a link too.
        const QString linkPath =
            frame.heic ? images.filePath(stagedName + QStringLiteral(".heic")) : stagedPath;
        fs::create_symlink(source, fs::path(QFile::encodeName(linkPath).toStdString()), error);
        if (error) {
            return unexpected(QStringLiteral("The frame %1 could not be staged.").arg(original));
        }
        std::pair<int, int> size{0, 0};
        if (frame.heic) {
            auto converted = convertHeicToJpeg(linkPath, stagedPath);
            QFile::remove(linkPath);
            if (!converted) {
                return unexpected(QStringLiteral("The HEIC frame %1 could not be decoded.").arg(original));
            }
            size = *converted;
        } else {
            size = jpegSize(stagedPath);
        }
        staged.largestDimensionPx = std::max({staged.largestDimensionPx, size.first, size.second});
        staged.originalNames.push_back({stagedName, original});
        ++staged.frameCount;
    }
    return staged;
}

} // namespace tovarine::FrameStaging
