#include "QuorvantileSegmentConcat.h"

#include "HangCeiling.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace ostrel;

namespace {

bool ffmpeg(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral("ffmpeg"),
                  QStringList{QStringLiteral("-hide_banner"), QStringLiteral("-loglevel"),
                              QStringLiteral("error"), QStringLiteral("-y")} +
                      arguments);
    return process.waitForFinished(tovarine::test::kHangCeilingMs) && process.exitCode() == 0;
}

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
        EXPECT_TRUE(ffmpeg({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
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
    ASSERT_TRUE(ffmpeg({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                        QStringLiteral("anullsrc=r=44100:cl=mono"), QStringLiteral("-t"), QStringLiteral("1"),
                        QStringLiteral("-c:a"), QStringLiteral("aac"), sound}));
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

TEST_F(SegmentConcatTest, DifferentSegmentsAreReencoded)
{
    const QString output = folder.filePath(QStringLiteral("mixed.mov"));
    const auto result = QuorvantileSegmentConcat::concatenate(
        {movie(QStringLiteral("a.mov"), 1), movie(QStringLiteral("small.mov"), 2, QStringLiteral("32x24"))},
        output);
    ASSERT_TRUE(result.ok()) << result.message.toStdString();
    EXPECT_EQ(probe(output, QStringLiteral("stream=nb_read_frames")), QStringLiteral("72"));
    EXPECT_EQ(probe(output, QStringLiteral("stream=width,height")), QStringLiteral("64,48"));
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
