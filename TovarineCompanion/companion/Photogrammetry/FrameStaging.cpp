#include "FrameStaging.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cstdio>
#include <cstring>
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

// Reads a file forward in chunks for readJpegFrame; steps over a length without reading what it skips.
class ChunkReader
{
public:
    explicit ChunkReader(QFile& file) : m_file(file), m_size(file.size()) {}

    // The next byte, or -1 at the end of the file.
    int next()
    {
        if (m_index >= m_chunk.size() && !fill()) {
            return -1;
        }
        return static_cast<unsigned char>(m_chunk[m_index++]);
    }

    // Steps over `count` bytes; false when the file ends first.
    bool skip(qint64 count)
    {
        const qint64 target = position() + count;
        if (count < 0 || target > m_size) {
            return false;
        }
        if (target <= m_chunkStart + m_chunk.size()) {
            m_index = target - m_chunkStart;
            return true;
        }
        m_chunk.clear();
        m_index = 0;
        m_chunkStart = target;
        return m_file.seek(target);
    }

    // Steps to just after the next 0xFF byte; false when the file ends first.
    bool skipPastNextFF()
    {
        for (;;) {
            if (m_index >= m_chunk.size() && !fill()) {
                return false;
            }
            const char* start = m_chunk.constData() + m_index;
            const void* found = std::memchr(start, 0xFF, static_cast<std::size_t>(m_chunk.size() - m_index));
            if (found) {
                m_index += static_cast<const char*>(found) - start + 1;
                return true;
            }
            m_index = m_chunk.size();
        }
    }

private:
    static constexpr qint64 kChunkBytes = 256 * 1024;

    qint64 position() const { return m_chunkStart + m_index; }

    bool fill()
    {
        m_chunkStart += m_chunk.size();
        m_index = 0;
        m_chunk = m_file.read(kChunkBytes);
        return !m_chunk.isEmpty();
    }

    QFile& m_file;
    qint64 m_size = 0;
    QByteArray m_chunk;
    qint64 m_chunkStart = 0; // file position of m_chunk's first byte
    qsizetype m_index = 0;
};

bool isStartOfFrame(int marker)
{
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

QString namesShown(const QStringList& frameNames)
{
    constexpr int kNamesShown = 5;
    QString names = frameNames.mid(0, kNamesShown).join(QStringLiteral(", "));
    if (frameNames.size() > kNamesShown) {
        names += QStringLiteral(" and %1 more").arg(frameNames.size() - kNamesShown);
    }
    return names;
}

} // namespace

QString unreadableFramesMessage(const QStringList& frameNames, int frameCount, const QString& reason)
{
    return QStringLiteral("The frames could not be read: %1 of %2 %3 (%4).")
        .arg(frameNames.size())
        .arg(frameCount)
        .arg(reason, namesShown(frameNames));
}

QString leftOutFramesNote(const StagedFrames& staged)
{
    const auto part = [](const QStringList& names, const char* what) {
        return names.isEmpty() ? QString()
                               : QStringLiteral("%1 %2 %3 (%4)")
                                     .arg(names.size())
                                     .arg(names.size() == 1 ? QStringLiteral("is") : QStringLiteral("are"),
                                          QLatin1String(what), namesShown(names));
    };
    QStringList parts{part(staged.cutShortFrames, "cut short"),
                      part(staged.notJpegFrames,
                           staged.notJpegFrames.size() == 1 ? "not a JPEG image" : "not JPEG images")};
    parts.removeAll(QString());
    if (parts.isEmpty()) {
        return {};
    }
    const qsizetype leftOut = staged.cutShortFrames.size() + staged.notJpegFrames.size();
    return QStringLiteral("%1 of %2 frames were left out: %3.")
        .arg(leftOut)
        .arg(staged.frameCount + leftOut)
        .arg(parts.join(QStringLiteral("; ")));
}

JpegFrame readJpegFrame(const QString& path)
{
    JpegFrame frame;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return frame;
    }
    ChunkReader reader(file);
    if (reader.next() != 0xFF || reader.next() != 0xD8) {
        return frame;
    }
    const auto cutShort = [&frame] {
        frame.kind = JpegFrame::Kind::cutShort;
        return frame;
    };
    bool sawFrame = false;
    bool inScan = false;
    for (;;) {
        // To the next marker: in a scan's coded data past stuffed bytes (0xFF 0x00) and restart markers;
        // between segments the marker comes at once (past any fill bytes), and once the frame header is read
        // stray bytes are stepped over as a decoder does.
        if (inScan || sawFrame) {
            if (!reader.skipPastNextFF()) {
                return cutShort();
            }
        } else if (const int byte = reader.next(); byte != 0xFF) {
            return byte < 0 ? cutShort() : frame;
        }
        int marker = reader.next();
        while (marker == 0xFF) {
            marker = reader.next();
        }
        if (marker < 0) {
            return cutShort();
        }
        if (inScan && (marker == 0x00 || (marker >= 0xD0 && marker <= 0xD7))) {
            continue;
        }
        inScan = false;
        if (marker == 0xD9) {
            if (sawFrame) {
                frame.kind = JpegFrame::Kind::whole;
            }
            return frame;
        }
        // Markers without a length: restarts, TEM, a stray 0x00; a second start of image is broken.
        if ((marker >= 0xD0 && marker <= 0xD7) || marker == 0x01 || marker == 0x00 || marker == 0xD8) {
            if (!sawFrame) {
                return frame;
            }
            continue;
        }
        const int high = reader.next();
        const int low = reader.next();
        if (low < 0) {
            return cutShort();
        }
        const int length = (high << 8) | low;
        if (length < 2) {
            if (!sawFrame) {
                return frame;
            }
            continue;
        }
        int read = 2;
        if (isStartOfFrame(marker) && !sawFrame) {
            int header[5] = {};
            for (int& value : header) {
                value = reader.next();
                if (value < 0) {
                    return cutShort();
                }
            }
            read += 5;
            if (length < read) {
                return frame;
            }
            frame.heightPx = (header[1] << 8) | header[2];
            frame.widthPx = (header[3] << 8) | header[4];
            sawFrame = true;
        } else if (marker == 0xDA) {
            // A scan before any frame header: not a frame this reader can use.
            if (!sawFrame) {
                return frame;
            }
            inScan = true;
        }
        if (!reader.skip(length - read)) {
            return cutShort();
        }
    }
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
        return unexpected(QStringLiteral("The capture's frames folder cannot be read."));
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
        // ASCII letters only, whatever the locale: under a Turkish one the C library keeps "HEIC" as it is.
        std::transform(extension.begin(), extension.end(), extension.begin(),
                       [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
        if (extension == "jpg" || extension == "jpeg" || extension == "heic") {
            frames.push_back({it->path(), name, extension == "heic"});
        }
    }
    if (error) {
        return unexpected(QStringLiteral("The capture's frames folder cannot be read."));
    }
    std::sort(frames.begin(), frames.end(),
              [](const Frame& a, const Frame& b) { return a.nativeName < b.nativeName; });
    if (frames.empty()) {
        return unexpected(QStringLiteral("No jpg, jpeg or heic frames were found in the capture."));
    }
    if (frames.size() < static_cast<std::size_t>(kMinFrames)) {
        return unexpected(QStringLiteral("At least %1 frames are needed; the capture holds %2.")
                              .arg(kMinFrames)
                              .arg(frames.size()));
    }

    const QDir images(imagesFolder);
    StagedFrames staged;
    // JPEG frames without a readable frame header (random bytes, another format under a .jpg name) are left
    // out, as COLMAP would leave them, and so are frames cut short (an interrupted transfer), which COLMAP
    // would read as whole with the missing part grey; too few whole ones end the staging here, naming them.
    QStringList leftOut; // both kinds, in the frames' order
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
            const JpegFrame jpeg = readJpegFrame(stagedPath);
            if (jpeg.kind != JpegFrame::Kind::whole || jpeg.widthPx <= 0 || jpeg.heightPx <= 0) {
                // Its staged name goes to the next frame.
                QFile::remove(stagedPath);
                (jpeg.kind == JpegFrame::Kind::cutShort ? staged.cutShortFrames : staged.notJpegFrames)
                    .append(original);
                leftOut.append(original);
                continue;
            }
            size = {jpeg.widthPx, jpeg.heightPx};
        }
        staged.largestDimensionPx = std::max({staged.largestDimensionPx, size.first, size.second});
        staged.originalNames.push_back({stagedName, original});
        ++staged.frameCount;
    }
    if (staged.frameCount < kMinFrames && !leftOut.isEmpty()) {
        const QString reason = staged.cutShortFrames.isEmpty() ? QStringLiteral("are not JPEG images")
                               : staged.notJpegFrames.isEmpty()
                                   ? QStringLiteral("are cut short")
                                   : QStringLiteral("are not JPEG images or are cut short");
        return unexpected(unreadableFramesMessage(leftOut, static_cast<int>(frames.size()), reason));
    }
    return staged;
}

} // namespace tovarine::FrameStaging
