#include "FrameStaging.h"

#include "ScopedLocale.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <jpeglib.h>
#include <libheif/heif.h>
#include <vector>

using namespace tovarine;

namespace {

// A JPEG with its frame header and a token scan up to the end of the image: enough for staging, which reads
// sizes and looks for the end.
QByteArray jpegHeader(int width, int height)
{
    QByteArray bytes("\xFF\xD8\xFF\xE0\x00\x04\x00\x00\xFF\xC0\x00\x11\x08", 13);
    bytes.append(char(height >> 8))
        .append(char(height & 0xFF))
        .append(char(width >> 8))
        .append(char(width & 0xFF));
    bytes.append(QByteArray(10, '\x01'));
    bytes.append("\xFF\xDA\x00\x08\x01\x01\x00\x00\x3F\x00", 10);
    bytes.append("\x12\x34\xFF\x00\x56\xFF\xD9", 7);
    return bytes;
}

struct JpegOptions
{
    bool progressive = false;
    int restartRows = 0;   // a restart marker every so many rows of blocks; 0: none
    QByteArray appSegment; // written as an APP1 segment when not empty
};

// A real JPEG of a noisy gradient, encoded by libjpeg.
QByteArray encodeJpeg(int width, int height, const JpegOptions& options = {})
{
    std::vector<unsigned char> rgb(static_cast<std::size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            unsigned char* pixel = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
            pixel[0] = static_cast<unsigned char>(x * 255 / width);
            pixel[1] = static_cast<unsigned char>(y * 255 / height);
            pixel[2] = static_cast<unsigned char>((x * 7919 + y * 104729) % 251);
        }
    }
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 90, TRUE);
    if (options.progressive) {
        jpeg_simple_progression(&info);
    }
    info.restart_in_rows = options.restartRows;
    jpeg_start_compress(&info, TRUE);
    if (!options.appSegment.isEmpty()) {
        jpeg_write_marker(&info, JPEG_APP0 + 1,
                          reinterpret_cast<const JOCTET*>(options.appSegment.constData()),
                          static_cast<unsigned int>(options.appSegment.size()));
    }
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = &rgb[static_cast<std::size_t>(info.next_scanline) * width * 3];
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    const QByteArray bytes(reinterpret_cast<const char*>(buffer), static_cast<qsizetype>(size));
    std::free(buffer);
    return bytes;
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// Encodes a small gradient as HEIC with libheif's own encoder; false when no HEVC encoder is available.
bool writeHeic(const QString& path, int width, int height)
{
    heif_context* context = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    if (heif_context_get_encoder_for_format(context, heif_compression_HEVC, &encoder).code != heif_error_Ok) {
        heif_context_free(context);
        return false;
    }
    heif_image* image = nullptr;
    heif_image_create(width, height, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &image);
    heif_image_add_plane(image, heif_channel_interleaved, width, height, 8);
    int stride = 0;
    uint8_t* pixels = heif_image_get_plane(image, heif_channel_interleaved, &stride);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            pixels[y * stride + 3 * x] = static_cast<uint8_t>(x * 4);
            pixels[y * stride + 3 * x + 1] = static_cast<uint8_t>(y * 4);
            pixels[y * stride + 3 * x + 2] = 128;
        }
    }
    const bool ok =
        heif_context_encode_image(context, image, encoder, nullptr, nullptr).code == heif_error_Ok &&
        heif_context_write_to_file(context, QFile::encodeName(path).constData()).code == heif_error_Ok;
    heif_encoder_release(encoder);
    heif_image_release(image);
    heif_context_free(context);
    return ok;
}

// Writes `frames` as <dir>/Images/frame_00000.jpg and on, and stages them into <dir>/staged.
Expected<StagedFrames, QString> stageFrames(const QTemporaryDir& dir, const QList<QByteArray>& frames)
{
    const QString input = dir.filePath(QStringLiteral("Images"));
    const QString staged = dir.filePath(QStringLiteral("staged"));
    QDir().mkpath(input);
    QDir().mkpath(staged);
    for (int i = 0; i < frames.size(); ++i) {
        writeFile(input + QStringLiteral("/frame_%1.jpg").arg(i, 5, 10, QLatin1Char('0')), frames[i]);
    }
    return FrameStaging::stage(input, staged);
}

// Width and height from a file's JPEG frame header; {0, 0} without one.
std::pair<int, int> frameSize(const QString& path)
{
    const JpegFrame frame = FrameStaging::readJpegFrame(path);
    return {frame.widthPx, frame.heightPx};
}

} // namespace

TEST(FrameStaging, LinksJpegsDecodesHeicAndIgnoresEverythingElse)
{
    QTemporaryDir dir;
    const QString input = dir.filePath(QStringLiteral("Images"));
    const QString staged = dir.filePath(QStringLiteral("staged"));
    ASSERT_TRUE(QDir().mkpath(input + QStringLiteral("/sub.jpg")));
    ASSERT_TRUE(QDir().mkpath(staged));
    writeFile(input + QStringLiteral("/frame_00000.jpg"), jpegHeader(4032, 3024));
    writeFile(input + QStringLiteral("/frame_00001.JPEG"), jpegHeader(3024, 4032));
    writeFile(input + QStringLiteral("/notes.txt"), "not a frame");
    const bool haveEncoder = writeHeic(input + QStringLiteral("/frame_00002.HEIC"), 64, 48);

    const auto result = FrameStaging::stage(input, staged);
    ASSERT_TRUE(result.hasValue()) << result.error().toStdString();
    EXPECT_EQ(result->largestDimensionPx, 4032);
    QStringList expected{QStringLiteral("frame_00000.jpg"), QStringLiteral("frame_00001.jpg")};
    if (haveEncoder) {
        expected.append(QStringLiteral("frame_00002.jpg"));
    }
    EXPECT_EQ(result->frameCount, expected.size());
    EXPECT_EQ(QDir(staged).entryList(QDir::Files | QDir::System, QDir::Name), expected);
    EXPECT_EQ(QFileInfo(staged + QStringLiteral("/frame_00000.jpg")).symLinkTarget(),
              QFileInfo(input + QStringLiteral("/frame_00000.jpg")).canonicalFilePath());
    if (haveEncoder) {
        EXPECT_EQ(frameSize(staged + QStringLiteral("/frame_00002.jpg")), std::make_pair(64, 48));
    } else {
        GTEST_LOG_(INFO) << "no HEVC encoder: HEIC decoding not exercised";
    }
}

// A frame's extension counts in any case under any locale: under a Turkish one the C library does not lower
// "I" to "i", and a phone's IMG_0004.HEIC is still a frame.
TEST(FrameStaging, ExtensionsMatchInAnyCaseUnderATurkishLocale)
{
    const tovarine::test::ScopedLocale turkish(tovarine::test::kDotlessILocale);
    if (!turkish.active()) {
        GTEST_SKIP() << tovarine::test::kDotlessILocale << " is not available here";
    }
    QTemporaryDir dir;
    const QString input = dir.filePath(QStringLiteral("Images"));
    const QString staged = dir.filePath(QStringLiteral("staged"));
    ASSERT_TRUE(QDir().mkpath(input));
    ASSERT_TRUE(QDir().mkpath(staged));
    writeFile(input + QStringLiteral("/IMG_0001.JPG"), jpegHeader(640, 480));
    writeFile(input + QStringLiteral("/IMG_0002.jpeg"), jpegHeader(640, 480));
    writeFile(input + QStringLiteral("/IMG_0003.JpEg"), jpegHeader(640, 480));
    if (writeHeic(input + QStringLiteral("/IMG_0004.HEIC"), 64, 48) &&
        writeHeic(input + QStringLiteral("/IMG_0005.HeIc"), 64, 48)) {
        const auto result = FrameStaging::stage(input, staged);
        ASSERT_TRUE(result.hasValue()) << result.error().toStdString();
        EXPECT_EQ(result->frameCount, 5);
        ASSERT_EQ(result->originalNames.size(), 5u);
        EXPECT_EQ(result->originalNames[3],
                  std::make_pair(QStringLiteral("frame_00003.jpg"), QStringLiteral("IMG_0004.HEIC")));
        EXPECT_EQ(result->originalNames[4].second, QStringLiteral("IMG_0005.HeIc"));
    } else {
        // Without an encoder: a HEIC frame that does not decode stops the staging, so it was taken as one.
        writeFile(input + QStringLiteral("/IMG_0004.HEIC"), "not decodable");
        const auto result = FrameStaging::stage(input, staged);
        ASSERT_FALSE(result.hasValue());
        EXPECT_TRUE(result.error().contains(QStringLiteral("IMG_0004.HEIC"))) << result.error().toStdString();
    }
}

TEST(FrameStaging, HostileFrameNamesAreStagedUnderOurOwnNamesWithTheMapping)
{
    QTemporaryDir dir;
    const QString input = dir.filePath(QStringLiteral("Images"));
    const QString staged = dir.filePath(QStringLiteral("staged"));
    ASSERT_TRUE(QDir().mkpath(input));
    ASSERT_TRUE(QDir().mkpath(staged));
    // A newline (which breaks COLMAP's images.txt), bytes that are not UTF-8, and an ordinary name.
    const QByteArray nativeInput = QFile::encodeName(input);
    const QByteArray names[] = {QByteArray("a\nb.jpg"), QByteArray("b\xff\xfe.jpg"), QByteArray("c.jpg")};
    for (const QByteArray& name : names) {
        const QByteArray full = nativeInput + '/' + name;
        FILE* file = std::fopen(full.constData(), "wb");
        ASSERT_NE(file, nullptr);
        const QByteArray bytes = jpegHeader(640, 480);
        std::fwrite(bytes.constData(), 1, bytes.size(), file);
        std::fclose(file);
    }

    const auto result = FrameStaging::stage(input, staged);
    ASSERT_TRUE(result.hasValue()) << result.error().toStdString();
    EXPECT_EQ(result->frameCount, 3);
    EXPECT_EQ(QDir(staged).entryList(QDir::Files | QDir::System, QDir::Name),
              (QStringList{QStringLiteral("frame_00000.jpg"), QStringLiteral("frame_00001.jpg"),
                           QStringLiteral("frame_00002.jpg")}));
    ASSERT_EQ(result->originalNames.size(), 3u);
    EXPECT_EQ(result->originalNames[0].first, QStringLiteral("frame_00000.jpg"));
    EXPECT_EQ(result->originalNames[0].second, QStringLiteral("a\nb.jpg"));
    EXPECT_EQ(result->originalNames[2].second, QStringLiteral("c.jpg"));
    // Every staged link reaches its frame, the one with the non-UTF-8 name included.
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(frameSize(staged + QStringLiteral("/frame_0000%1.jpg").arg(i)), std::make_pair(640, 480));
    }
    // QTemporaryDir cannot remove a name it cannot spell.
    std::filesystem::remove_all(std::filesystem::path(nativeInput.toStdString()));
}

// Frames with the right names and sizes whose bytes are no JPEG: left out while enough readable frames
// remain, named in the error when they do not. A frame header far into a large file still counts.
TEST(FrameStaging, FramesThatAreNoJpegAreNamedOrLeftOut)
{
    QByteArray noise(200000, Qt::Uninitialized);
    for (qsizetype i = 0; i < noise.size(); ++i) {
        noise[i] = static_cast<char>((i * 7919 + 13) % 251);
    }
    // 20 comment segments of 64 KB (1.3 MB of metadata) before the frame header.
    QByteArray farHeader("\xFF\xD8", 2);
    for (int i = 0; i < 20; ++i) {
        farHeader.append("\xFF\xFE\xFF\xFF", 4).append(QByteArray(0xFFFF - 2, 'm'));
    }
    farHeader.append(jpegHeader(800, 600).mid(8)); // without its own start of image and APP0
    const struct
    {
        const char* name;
        QList<QByteArray> frames;
        QString error; // empty: staged
        QStringList stagedFrom;
    } cases[] = {
        {"all noise",
         {noise, noise, noise, noise},
         QStringLiteral("The frames could not be read: 4 of 4 are not JPEG images (frame_00000.jpg, "
                        "frame_00001.jpg, frame_00002.jpg, frame_00003.jpg)."),
         {}},
        {"too few readable",
         {noise, jpegHeader(64, 48), noise, noise, noise, noise, jpegHeader(64, 48), noise},
         QStringLiteral("The frames could not be read: 6 of 8 are not JPEG images (frame_00000.jpg, "
                        "frame_00002.jpg, frame_00003.jpg, frame_00004.jpg, frame_00005.jpg and 1 more)."),
         {}},
        {"one noisy frame among readable ones",
         {jpegHeader(64, 48), noise, jpegHeader(64, 48), farHeader},
         {},
         {QStringLiteral("frame_00000.jpg"), QStringLiteral("frame_00002.jpg"),
          QStringLiteral("frame_00003.jpg")}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString staged = dir.filePath(QStringLiteral("staged"));
        const auto result = stageFrames(dir, c.frames);
        if (!c.error.isEmpty()) {
            ASSERT_FALSE(result.hasValue());
            EXPECT_EQ(result.error(), c.error);
            continue;
        }
        ASSERT_TRUE(result.hasValue()) << result.error().toStdString();
        EXPECT_EQ(result->largestDimensionPx, 800);
        QStringList stagedFrom;
        for (const auto& [stagedName, original] : result->originalNames) {
            stagedFrom.append(original);
        }
        EXPECT_EQ(stagedFrom, c.stagedFrom);
        EXPECT_EQ(QDir(staged).entryList(QDir::Files | QDir::System, QDir::Name),
                  (QStringList{QStringLiteral("frame_00000.jpg"), QStringLiteral("frame_00001.jpg"),
                               QStringLiteral("frame_00002.jpg")}));
        EXPECT_EQ(frameSize(staged + QStringLiteral("/frame_00002.jpg")), std::make_pair(800, 600));
    }
}

// Frames cut short by an interrupted transfer (the rest of the file missing, or never written and left as
// zeros) are left out like frames that are no JPEG, and counted in the note for the run's log; whole frames
// stay, whatever follows their end (a second image, padding) and whatever their metadata holds.
TEST(FrameStaging, FramesCutShortAreLeftOutAndCounted)
{
    const QByteArray baseline = encodeJpeg(96, 64);
    const QByteArray progressive = encodeJpeg(96, 64, {true, 0, {}});
    const QByteArray restarts = encodeJpeg(96, 64, {false, 1, {}});
    // Metadata holding a thumbnail, whose own end-of-image marker is not the frame's.
    const QByteArray thumbnail = encodeJpeg(16, 16);
    const QByteArray withThumbnail = encodeJpeg(96, 64, {false, 0, QByteArray("Exif\0\0", 6) + thumbnail});
    const qsizetype thumbnailEnd = withThumbnail.indexOf(thumbnail) + thumbnail.size();
    // Larger than the chunks the reader reads the file in.
    const QByteArray large = encodeJpeg(1600, 1200);
    ASSERT_GT(large.size(), 512 * 1024);
    QByteArray zeroedHalf = baseline;
    zeroedHalf.replace(zeroedHalf.size() / 2, zeroedHalf.size() - zeroedHalf.size() / 2,
                       QByteArray(zeroedHalf.size() - zeroedHalf.size() / 2, '\0'));
    const struct
    {
        const char* name;
        QByteArray frame;
        bool cutShort;
    } cases[] = {
        {"whole", baseline, false},
        {"whole, progressive", progressive, false},
        {"whole, with restart markers", restarts, false},
        {"whole, with a thumbnail in its metadata", withThumbnail, false},
        {"whole, with a second image and padding after its end",
         baseline + thumbnail + QByteArray(5000, '\xFF'), false},
        {"whole, over half a megabyte", large, false},
        {"cut in half", baseline.left(baseline.size() / 2), true},
        {"cut one byte before its end", baseline.chopped(1), true},
        {"cut two bytes before its end", baseline.chopped(2), true},
        {"cut in half, progressive", progressive.left(progressive.size() / 2), true},
        {"cut in half, with restart markers", restarts.left(restarts.size() / 2), true},
        {"cut right after the thumbnail in its metadata", withThumbnail.left(thumbnailEnd), true},
        {"cut in half, with a thumbnail in its metadata", withThumbnail.left(withThumbnail.size() / 2), true},
        {"cut one byte before its end, over half a megabyte", large.chopped(1), true},
        {"the second half never written", zeroedHalf, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString input = dir.filePath(QStringLiteral("Images"));
        const QString staged = dir.filePath(QStringLiteral("staged"));
        ASSERT_TRUE(QDir().mkpath(input));
        ASSERT_TRUE(QDir().mkpath(staged));
        const QList<QByteArray> frames{baseline, c.frame, baseline, baseline};
        for (int i = 0; i < frames.size(); ++i) {
            writeFile(input + QStringLiteral("/frame_%1.jpg").arg(i, 5, 10, QLatin1Char('0')), frames[i]);
        }
        const auto result = FrameStaging::stage(input, staged);
        ASSERT_TRUE(result.hasValue()) << result.error().toStdString();
        QStringList stagedFrom;
        for (const auto& [stagedName, original] : result->originalNames) {
            stagedFrom.append(original);
        }
        QStringList expected{QStringLiteral("frame_00000.jpg"), QStringLiteral("frame_00001.jpg"),
                             QStringLiteral("frame_00002.jpg"), QStringLiteral("frame_00003.jpg")};
        if (c.cutShort) {
            expected.removeAt(1);
        }
        EXPECT_EQ(stagedFrom, expected);
        EXPECT_EQ(result->cutShortFrames,
                  c.cutShort ? QStringList{QStringLiteral("frame_00001.jpg")} : QStringList());
        EXPECT_TRUE(result->notJpegFrames.isEmpty());
        EXPECT_EQ(FrameStaging::leftOutFramesNote(*result),
                  c.cutShort
                      ? QStringLiteral("1 of 4 frames were left out: 1 is cut short (frame_00001.jpg).")
                      : QString());
        EXPECT_EQ(QDir(staged).entryList(QDir::Files | QDir::System).size(), expected.size());
    }
}

// However a frame is cut, the reader never takes it for whole: every shorter prefix of a whole frame reads as
// cut short once its start is there, or as no JPEG before that.
TEST(FrameStaging, EveryPrefixOfAWholeFrameIsCutShort)
{
    const QByteArray thumbnail = encodeJpeg(16, 16);
    const struct
    {
        const char* name;
        QByteArray frame;
    } cases[] = {
        {"baseline", encodeJpeg(48, 32)},
        {"progressive", encodeJpeg(48, 32, {true, 0, {}})},
        {"with restart markers", encodeJpeg(48, 32, {false, 1, {}})},
        {"with a thumbnail in its metadata",
         encodeJpeg(48, 32, {false, 0, QByteArray("Exif\0\0", 6) + thumbnail})},
    };
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("frame.jpg"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(path, c.frame + QByteArray("\x00\xFF\xD8 trailing", 11));
        const JpegFrame whole = FrameStaging::readJpegFrame(path);
        EXPECT_EQ(whole.kind, JpegFrame::Kind::whole);
        EXPECT_EQ(std::make_pair(whole.widthPx, whole.heightPx), std::make_pair(48, 32));
        // Shortened a byte at a time, from one byte short down to nothing.
        writeFile(path, c.frame);
        for (qsizetype length = c.frame.size() - 1; length >= 0; --length) {
            ASSERT_TRUE(QFile::resize(path, length));
            const JpegFrame::Kind expected =
                length < 2 ? JpegFrame::Kind::notJpeg : JpegFrame::Kind::cutShort;
            ASSERT_EQ(FrameStaging::readJpegFrame(path).kind, expected) << "cut to " << length << " bytes";
        }
    }
}

// Too few whole frames: the error names every frame left out, whatever was wrong with it; with enough whole
// ones the note counts each kind.
TEST(FrameStaging, FramesLeftOutForEitherReasonAreNamedTogether)
{
    const QByteArray whole = encodeJpeg(96, 64);
    const QByteArray cut = whole.left(whole.size() / 2);
    const QByteArray noise(4096, '\x5A');
    const struct
    {
        const char* name;
        QList<QByteArray> frames;
        QString error; // empty: staged, with `note`
        QString note;
    } cases[] = {
        {"all cut short",
         {cut, cut, cut},
         QStringLiteral(
             "The frames could not be read: 3 of 3 are cut short (frame_00000.jpg, frame_00001.jpg, "
             "frame_00002.jpg)."),
         {}},
        {"too few whole among noise and cut frames",
         {noise, cut, whole, cut, whole},
         QStringLiteral("The frames could not be read: 3 of 5 are not JPEG images or are cut short "
                        "(frame_00000.jpg, frame_00001.jpg, frame_00003.jpg)."),
         {}},
        {"enough whole among noise and cut frames",
         {whole, cut, noise, whole, cut, noise, cut, whole},
         {},
         QStringLiteral("5 of 8 frames were left out: 3 are cut short (frame_00001.jpg, frame_00004.jpg, "
                        "frame_00006.jpg); 2 are not JPEG images (frame_00002.jpg, frame_00005.jpg).")},
        {"enough whole, one noise frame",
         {whole, noise, whole, whole},
         {},
         QStringLiteral("1 of 4 frames were left out: 1 is not a JPEG image (frame_00001.jpg).")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const auto result = stageFrames(dir, c.frames);
        if (!c.error.isEmpty()) {
            ASSERT_FALSE(result.hasValue());
            EXPECT_EQ(result.error(), c.error);
            continue;
        }
        ASSERT_TRUE(result.hasValue()) << result.error().toStdString();
        EXPECT_EQ(FrameStaging::leftOutFramesNote(*result), c.note);
    }
}

TEST(FrameStaging, UnusableInputIsAClearError)
{
    QTemporaryDir dir;
    const QString staged = dir.filePath(QStringLiteral("staged"));
    ASSERT_TRUE(QDir().mkpath(staged));
    const QString input = dir.filePath(QStringLiteral("Images"));
    ASSERT_TRUE(QDir().mkpath(input));

    auto missing = FrameStaging::stage(dir.filePath(QStringLiteral("nothing")), staged);
    ASSERT_FALSE(missing.hasValue());
    EXPECT_TRUE(missing.error().contains(QStringLiteral("cannot be read")));

    writeFile(input + QStringLiteral("/a.jpg"), jpegHeader(10, 10));
    writeFile(input + QStringLiteral("/b.jpg"), jpegHeader(10, 10));
    writeFile(input + QStringLiteral("/c.heic"), "not really a heic file");
    auto broken = FrameStaging::stage(input, staged);
    ASSERT_FALSE(broken.hasValue());
    EXPECT_TRUE(broken.error().contains(QStringLiteral("c.heic could not be decoded")))
        << broken.error().toStdString();

    EXPECT_EQ(frameSize(input + QStringLiteral("/c.heic")), std::make_pair(0, 0));
}
