#include "QuorvantileSegmentCheck.h"

#include "RunFfmpeg.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace ostrel;
using tovarine::test::runFfmpeg;

namespace {

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

TEST(SegmentCheck, OnlyAWholeSegmentOfTheFramesAskedForCounts)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    // 50 frames of H.264 at 24 fps, with the movie's index at the end (as the stand-in and most encoders
    // write it) or at the front (a "fast start" movie, whose cut body still opens).
    const auto movie = [&](const QString& name, const QStringList& extra) {
        const QString path = folder.filePath(name);
        EXPECT_TRUE(
            runFfmpeg(QStringList{QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                                  QStringLiteral("testsrc=s=64x48:r=24"), QStringLiteral("-frames:v"),
                                  QStringLiteral("50"), QStringLiteral("-c:v"), QStringLiteral("libx264"),
                                  QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p")} +
                      extra + QStringList{path}));
        return path;
    };
    const QString indexAtEnd = movie(QStringLiteral("end.mov"), {});
    const QString fastStart =
        movie(QStringLiteral("front.mov"), {QStringLiteral("-movflags"), QStringLiteral("+faststart")});
    const auto cut = [&](const QString& from, const QString& name, qsizetype bytes) {
        const QString path = folder.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(readAll(from).left(bytes));
        return path;
    };
    const qsizetype endSize = readAll(indexAtEnd).size();
    const qsizetype frontSize = readAll(fastStart).size();
    const QString sound = folder.filePath(QStringLiteral("sound.mov"));
    ASSERT_TRUE(runFfmpeg({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                           QStringLiteral("sine=sample_rate=48000"), QStringLiteral("-t"),
                           QStringLiteral("1"), QStringLiteral("-c:a"), QStringLiteral("aac"), sound}));
    const QString text = folder.filePath(QStringLiteral("page.mov"));
    {
        QFile file(text);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("<html>502 Bad Gateway</html>");
    }
    const struct
    {
        const char* what;
        QString path;
        std::int64_t expected;
        bool whole;
    } cases[] = {
        {"whole, index at the end", indexAtEnd, 50, true},
        {"whole, fast start", fastStart, 50, true},
        {"more frames than asked", indexAtEnd, 49, false},
        {"fewer frames than asked", fastStart, 51, false},
        {"index at the end, cut at half", cut(indexAtEnd, QStringLiteral("end-half.mov"), endSize / 2), 50,
         false},
        {"fast start, cut at half", cut(fastStart, QStringLiteral("front-half.mov"), frontSize / 2), 50,
         false},
        {"fast start, one byte short", cut(fastStart, QStringLiteral("front-1.mov"), frontSize - 1), 50,
         false},
        {"fast start, index only", cut(fastStart, QStringLiteral("front-index.mov"), frontSize / 4), 50,
         false},
        {"sound only", sound, 50, false},
        {"not a movie", text, 50, false},
        {"no file", folder.filePath(QStringLiteral("missing.mov")), 50, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QByteArray before = readAll(c.path);
        const auto result = QuorvantileSegmentCheck::check(c.path, c.expected);
        EXPECT_EQ(result.ok(), c.whole) << result.message.toStdString();
        if (c.whole) {
            EXPECT_EQ(*result.value, c.path);
        } else {
            EXPECT_FALSE(result.message.isEmpty());
        }
        EXPECT_EQ(readAll(c.path), before) << "the check changes nothing";
    }
    // A missing ffprobe is a failure too, never a pass.
    QuorvantileSegmentCheck::Options noProbe;
    noProbe.ffprobeProgram = folder.filePath(QStringLiteral("no-ffprobe"));
    EXPECT_FALSE(QuorvantileSegmentCheck::check(indexAtEnd, 50, noProbe).ok());
}

TEST(SegmentCheck, ReadsTheDecodedFrameCountOfTheFirstVideoStream)
{
    const struct
    {
        const char* json;
        std::optional<std::int64_t> frames;
    } cases[] = {
        {R"({"programs":[],"streams":[{"codec_type":"video","nb_read_frames":"50"}]})", 50},
        {R"({"streams":[{"codec_type":"video","nb_read_frames":"0"}]})", 0},
        {R"({"streams":[{"codec_type":"video","nb_read_frames":12}]})", 12},
        {R"({"streams":[{"codec_type":"video"}]})", std::nullopt}, // nothing decoded
        {R"({"streams":[{"codec_type":"audio","nb_read_frames":"50"}]})", std::nullopt},
        {R"({"streams":[]})", std::nullopt},
        {R"({"streams":[{"codec_type":"video","nb_read_frames":"-5"}]})", std::nullopt},
        {R"({"streams":[{"codec_type":"video","nb_read_frames":"5x"}]})", std::nullopt},
        {R"({"streams":[{"codec_type":"video","nb_read_frames":"99999999999999999999"}]})", std::nullopt},
        {R"({"streams":[{"codec_type":"video","nb_read_frames":2.5}]})", std::nullopt},
        {R"({"streams":[{"codec_type":"video","nb_read_frames":"N/A"}]})", std::nullopt},
        {"not json", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(QuorvantileSegmentCheck::decodedVideoFrames(QByteArray(c.json)), c.frames) << c.json;
    }
}
