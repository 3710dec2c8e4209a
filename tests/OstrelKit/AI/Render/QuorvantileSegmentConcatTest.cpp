#include "QuorvantileSegmentConcat.h"

#include "HangCeiling.h"
#include "RunFfmpeg.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace ostrel;
using tovarine::test::runFfmpeg;

namespace {

QString probe(const QString& movie, const QString& entry)
{
    QProcess process;
    process.start(QStringLiteral("ffprobe"),
                  {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-count_frames"),
                   QStringLiteral("-select_streams"), QStringLiteral("v:0"), QStringLiteral("-show_entries"),
                   entry, QStringLiteral("-of"), QStringLiteral("csv=p=0"), movie});
    process.waitForFinished(tovarine::test::kHangCeilingMs);
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

class SegmentConcatTest : public ::testing::Test
{
protected:
    // `seconds` of one colour at 24 frames per second.
    QString movie(const QString& name, int seconds, const QString& size = QStringLiteral("64x48"))
    {
        const QString path = folder.filePath(name);
        EXPECT_TRUE(runFfmpeg({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                               QStringLiteral("color=c=red:s=%1:r=24:d=%2").arg(size).arg(seconds),
                               QStringLiteral("-c:v"), QStringLiteral("libx264"), QStringLiteral("-pix_fmt"),
                               QStringLiteral("yuv420p"), path}));
        return path;
    }

    QTemporaryDir folder;
};

} // namespace

TEST_F(SegmentConcatTest, MatchingSegmentsPlayBackToBackWithEveryFrame)
{
    const QString sound = folder.filePath(QStringLiteral("sound.mov"));
    ASSERT_TRUE(runFfmpeg({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                           QStringLiteral("anullsrc=r=44100:cl=mono"), QStringLiteral("-t"),
                           QStringLiteral("1"), QStringLiteral("-c:a"), QStringLiteral("aac"), sound}));
    const QStringList segments{movie(QStringLiteral("a.mov"), 2), movie(QStringLiteral("b.mov"), 3), sound,
                               movie(QStringLiteral("c.mov"), 1)};
    const QString output = folder.filePath(QStringLiteral("out.mov"));
    const auto result = QuorvantileSegmentConcat::concatenate(segments, output);
    ASSERT_TRUE(result.ok()) << result.message.toStdString();
    EXPECT_EQ(*result.value, output);
    EXPECT_EQ(probe(output, QStringLiteral("stream=nb_read_frames")), QStringLiteral("144"));
    EXPECT_NEAR(probe(output, QStringLiteral("stream=duration")).toDouble(), 6.0, 0.05);

    // The output is never replaced.
    const auto again = QuorvantileSegmentConcat::concatenate(segments, output);
    EXPECT_EQ(again.error, QuorvantileRenderError::compositionFailed);
}

TEST_F(SegmentConcatTest, DifferentSegmentsAreReencodedWithEachFrameOnce)
{
    // Test-pattern segments of a given frame count, size and rate ("num/den" or whole frames per second).
    const auto segment = [&](const QString& name, int frames, const QString& size, const QString& rate) {
        const QString path = folder.filePath(name);
        EXPECT_TRUE(
            runFfmpeg({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                       QStringLiteral("testsrc=s=%1:r=%2").arg(size, rate), QStringLiteral("-frames:v"),
                       QString::number(frames), QStringLiteral("-c:v"), QStringLiteral("libx264"),
                       QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"), path}));
        return path;
    };
    const auto r24 = [&](const QString& name, int frames) { return segment(name, frames, "64x48", "24"); };
    // Frame times: the second segment starts where the first ends, and the last frame comes one frame of
    // the last segment before the end, which is the sum of the segments' lengths. A last frame starting on
    // a whole millisecond (a last segment at 25 or 50 fps) was the one a join lost.
    const struct
    {
        const char* what;
        QStringList segments;
        int frames;
        int firstSegmentFrames;
        double secondStartSeconds;
        double seconds;
        double lastFrameRate;
    } cases[] = {
        {"sizes differ", {r24("a.mov", 24), segment("small.mov", 48, "32x24", "24")}, 72, 24, 1.0, 3.0, 24},
        {"24 then 30 fps", {r24("r24.mov", 48), segment("r30.mov", 30, "64x48", "30")}, 78, 48, 2.0, 3.0, 30},
        {"24 then 25 fps", {r24("r24.mov", 48), segment("r25.mov", 25, "64x48", "25")}, 73, 48, 2.0, 3.0, 25},
        {"30 then 25 fps",
         {segment("r30.mov", 30, "64x48", "30"), segment("r25.mov", 25, "64x48", "25")},
         55,
         30,
         1.0,
         2.0,
         25},
        {"24 then 50 fps", {r24("r24.mov", 48), segment("r50.mov", 50, "64x48", "50")}, 98, 48, 2.0, 3.0, 50},
        {"24 then 12.5 fps",
         {r24("r24.mov", 48), segment("r12.mov", 10, "64x48", "25/2")},
         58,
         48,
         2.0,
         2.8,
         12.5},
        {"29.97 then 25 fps",
         {segment("ntsc.mov", 20, "64x48", "30000/1001"), segment("r25.mov", 25, "64x48", "25")},
         45,
         20,
         20 * 1.001 / 30,
         20 * 1.001 / 30 + 1.0,
         25},
        {"rates and sizes differ",
         {segment("r30b.mov", 15, "64x48", "30"), segment("r25b.mov", 25, "32x24", "25"),
          r24("r24b.mov", 12)},
         52,
         15,
         0.5,
         2.0,
         24},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QString output = folder.filePath(QStringLiteral("joined-%1.mov").arg(c.frames));
        const auto result = QuorvantileSegmentConcat::concatenate(c.segments, output);
        ASSERT_TRUE(result.ok()) << result.message.toStdString();
        EXPECT_EQ(probe(output, QStringLiteral("stream=nb_read_frames")).toInt(), c.frames);
        EXPECT_EQ(probe(output, QStringLiteral("stream=width,height")), QStringLiteral("64,48"));
        // The stated length (the container's, in whole milliseconds) ends where the last frame does.
        EXPECT_NEAR(probe(output, QStringLiteral("format=duration")).toDouble(), c.seconds, 1.5e-3);
        // One line per frame (a frame with side data adds an empty line and a comma).
        QList<double> times;
        for (const QString& line :
             probe(output, QStringLiteral("frame=pts_time")).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            times.append(line.section(QLatin1Char(','), 0, 0).toDouble());
        }
        ASSERT_EQ(times.size(), c.frames);
        for (qsizetype i = 1; i < times.size(); ++i) {
            ASSERT_LT(times[i - 1], times[i]) << "frame " << i;
        }
        EXPECT_NEAR(times[c.firstSegmentFrames], c.secondStartSeconds, 1e-3);
        EXPECT_NEAR(times.last(), c.seconds - 1.0 / c.lastFrameRate, 1e-3);
        const QStringList rate = probe(output, QStringLiteral("stream=r_frame_rate")).split(QLatin1Char('/'));
        ASSERT_EQ(rate.size(), 2);
        EXPECT_LE(rate[0].toDouble() / rate[1].toDouble(), 600.0) << "a frame rate a player can keep";
        EXPECT_LT(QFileInfo(output).size(), 1024 * 1024);
    }
}

TEST_F(SegmentConcatTest, SegmentsWithSoundStartTheirFirstFrameAtZero)
{
    // Segments as a camera or an editor writes them: H.264 with B-frames and AAC sound (whose encoder delay
    // starts the sound before zero). The sound is left out and the frames keep their own times from zero.
    const auto segment = [&](const QString& name, int frames, const QString& rate) {
        const QString path = folder.filePath(name);
        EXPECT_TRUE(runFfmpeg(
            {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
             QStringLiteral("testsrc=s=64x48:r=%1").arg(rate), QStringLiteral("-f"), QStringLiteral("lavfi"),
             QStringLiteral("-i"), QStringLiteral("sine=frequency=440:sample_rate=48000"),
             QStringLiteral("-frames:v"), QString::number(frames), QStringLiteral("-shortest"),
             QStringLiteral("-c:v"), QStringLiteral("libx264"), QStringLiteral("-pix_fmt"),
             QStringLiteral("yuv420p"), QStringLiteral("-c:a"), QStringLiteral("aac"), path}));
        return path;
    };
    const struct
    {
        const char* what;
        QStringList segments;
        int frames;
        double seconds;
    } cases[] = {
        {"same shape, joined by stream copy",
         {segment(QStringLiteral("a25.mov"), 50, QStringLiteral("25")),
          segment(QStringLiteral("b25.mov"), 50, QStringLiteral("25"))},
         100,
         4.0},
        {"rates differ, joined by re-encoding",
         {segment(QStringLiteral("c25.mov"), 50, QStringLiteral("25")),
          segment(QStringLiteral("d24.mov"), 48, QStringLiteral("24"))},
         98,
         4.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QString output = folder.filePath(QStringLiteral("sound-joined-%1.mov").arg(c.frames));
        const auto result = QuorvantileSegmentConcat::concatenate(c.segments, output);
        ASSERT_TRUE(result.ok()) << result.message.toStdString();
        EXPECT_EQ(probe(output, QStringLiteral("stream=nb_read_frames")).toInt(), c.frames);
        const QString firstFrame =
            probe(output, QStringLiteral("frame=pts_time")).section(QLatin1Char('\n'), 0, 0);
        EXPECT_EQ(firstFrame.section(QLatin1Char(','), 0, 0).toDouble(), 0.0) << firstFrame.toStdString();
        EXPECT_EQ(probe(output, QStringLiteral("stream=start_time")).toDouble(), 0.0);
        EXPECT_NEAR(probe(output, QStringLiteral("format=duration")).toDouble(), c.seconds, 1.5e-3);
    }
}

TEST_F(SegmentConcatTest, ASegmentPathWithALineBreakIsJoinedToo)
{
    // The demuxer's segment list is line-based: such a path goes to ffmpeg as an argument instead.
    const QString output = folder.filePath(QStringLiteral("joined.mov"));
    const auto result = QuorvantileSegmentConcat::concatenate(
        {movie(QStringLiteral("first\nline.mov"), 1), movie(QStringLiteral("second\r.mov"), 2)}, output);
    ASSERT_TRUE(result.ok()) << result.message.toStdString();
    EXPECT_EQ(probe(output, QStringLiteral("stream=nb_read_frames")), QStringLiteral("72"));
}

TEST_F(SegmentConcatTest, EdgeCases)
{
    EXPECT_EQ(QuorvantileSegmentConcat::concatenate({}, folder.filePath(QStringLiteral("x.mov"))).error,
              QuorvantileRenderError::noSegments);
    EXPECT_EQ(QuorvantileSegmentConcat::concatenate({}, QString()).message,
              QStringLiteral("No segments to concatenate"));

    // One segment is copied byte for byte, whatever it holds.
    const QString text = folder.filePath(QStringLiteral("note.txt"));
    QFile file(text);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not a movie");
    file.close();
    const QString copy = folder.filePath(QStringLiteral("copy.mov"));
    ASSERT_TRUE(QuorvantileSegmentConcat::concatenate({text}, copy).ok());
    QFile copied(copy);
    ASSERT_TRUE(copied.open(QIODevice::ReadOnly));
    EXPECT_EQ(copied.readAll(), QByteArray("not a movie"));
    const auto exists = QuorvantileSegmentConcat::concatenate({text}, copy);
    EXPECT_FALSE(exists.ok());
    EXPECT_FALSE(exists.message.isEmpty());

    // A segment that cannot be read ends the call with the reader's message.
    const auto unreadable =
        QuorvantileSegmentConcat::concatenate({text, text}, folder.filePath(QStringLiteral("y.mov")));
    EXPECT_FALSE(unreadable.ok());
    EXPECT_FALSE(unreadable.error.has_value());
    EXPECT_TRUE(unreadable.message.contains(QStringLiteral("ffprobe")));
}
