#include "FrameStaging.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <libheif/heif.h>

using namespace tovarine;

namespace {

QByteArray jpegHeader(int width, int height)
{
    QByteArray bytes("\xFF\xD8\xFF\xE0\x00\x04\x00\x00\xFF\xC0\x00\x11\x08", 13);
    bytes.append(char(height >> 8))
        .append(char(height & 0xFF))
        .append(char(width >> 8))
        .append(char(width & 0xFF));
    bytes.append(QByteArray(10, '\x01'));
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
        EXPECT_EQ(FrameStaging::jpegSize(staged + QStringLiteral("/frame_00002.jpg")),
                  std::make_pair(64, 48));
    } else {
        GTEST_LOG_(INFO) << "no HEVC encoder: HEIC decoding not exercised";
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
        EXPECT_EQ(FrameStaging::jpegSize(staged + QStringLiteral("/frame_0000%1.jpg").arg(i)),
                  std::make_pair(640, 480));
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
        const QString input = dir.filePath(QStringLiteral("Images"));
        const QString staged = dir.filePath(QStringLiteral("staged"));
        ASSERT_TRUE(QDir().mkpath(input));
        ASSERT_TRUE(QDir().mkpath(staged));
        for (int i = 0; i < c.frames.size(); ++i) {
            writeFile(input + QStringLiteral("/frame_%1.jpg").arg(i, 5, 10, QLatin1Char('0')), c.frames[i]);
        }
        const auto result = FrameStaging::stage(input, staged);
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
        EXPECT_EQ(FrameStaging::jpegSize(staged + QStringLiteral("/frame_00002.jpg")),
                  std::make_pair(800, 600));
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

    EXPECT_EQ(FrameStaging::jpegSize(input + QStringLiteral("/c.heic")), std::make_pair(0, 0));
}
