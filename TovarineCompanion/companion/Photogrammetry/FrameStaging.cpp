#include "FrameStaging.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdio>
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
    const QDir input(inputFolder);
    const QFileInfo inputInfo(inputFolder);
    if (!inputInfo.isDir() || !inputInfo.isReadable()) {
        return unexpected(QStringLiteral("The frames folder %1 cannot be read.").arg(inputFolder));
    }
    const QFileInfoList entries = input.entryInfoList(QDir::Files | QDir::Readable, QDir::Name);
    QFileInfoList frames;
    for (const QFileInfo& entry : entries) {
        const QString suffix = entry.suffix().toLower();
        if (suffix == QLatin1String("jpg") || suffix == QLatin1String("jpeg") ||
            suffix == QLatin1String("heic")) {
            frames.append(entry);
        }
    }
    if (frames.isEmpty()) {
        return unexpected(QStringLiteral("No jpg, jpeg or heic frames were found in %1.").arg(inputFolder));
    }
    if (frames.size() < kMinFrames) {
        return unexpected(QStringLiteral("At least %1 frames are needed; %2 holds %3.")
                              .arg(kMinFrames)
                              .arg(inputFolder)
                              .arg(frames.size()));
    }

    const QDir images(imagesFolder);
    StagedFrames staged;
    for (const QFileInfo& frame : frames) {
        if (cancelled && cancelled->load()) {
            return unexpected(QString());
        }
        const QString target = frame.canonicalFilePath();
        std::pair<int, int> size{0, 0};
        if (frame.suffix().toLower() == QLatin1String("heic")) {
            const QString jpegPath = images.filePath(frame.fileName() + QStringLiteral(".jpg"));
            auto converted = convertHeicToJpeg(target, jpegPath);
            if (!converted) {
                return unexpected(converted.error());
            }
            size = *converted;
        } else {
            if (!QFile::link(target, images.filePath(frame.fileName()))) {
                return unexpected(QStringLiteral("The frame %1 could not be staged.").arg(frame.fileName()));
            }
            size = jpegSize(target);
        }
        staged.largestDimensionPx = std::max({staged.largestDimensionPx, size.first, size.second});
        ++staged.frameCount;
    }
    return staged;
}

} // namespace tovarine::FrameStaging
