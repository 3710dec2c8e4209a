#include "PrintPrepFiles.h"

#include "PrintPrepFixtures.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <limits>

using namespace tovarine;
using tovarine::test::setModified;
using tovarine::test::writeBoxModel;

namespace {

constexpr qint64 kT0 = 1'700'000'000;

void touch(const QString& path, qint64 seconds)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Append));
    file.close();
    ASSERT_TRUE(setModified(path, seconds));
}

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

TEST(PrintPrepFiles, FolderNameIsFnv1aOfTheStandardisedPath)
{
    EXPECT_EQ(PrintPrepFiles::folderName(QString()), QStringLiteral("cbf29ce484222325"));
    // FNV-1a 64 of "/a": 0xcbf29ce484222325 ^ '/' * prime, ^ 'a' * prime.
    std::uint64_t h = 0xcbf29ce484222325ULL;
    for (char c : std::string("/a")) {
        h = (h ^ std::uint64_t(c)) * 0x100000001b3ULL;
    }
    EXPECT_EQ(PrintPrepFiles::folderName(QStringLiteral("/a")), QString::number(h, 16));
    EXPECT_EQ(PrintPrepFiles::folderName(QStringLiteral("/r/x/./y/../model.usdz")),
              PrintPrepFiles::folderName(QStringLiteral("/r/x/model.usdz")));
    EXPECT_NE(PrintPrepFiles::folderName(QStringLiteral("/r/one/model.usdz")),
              PrintPrepFiles::folderName(QStringLiteral("/r/two/model.usdz")));
}

TEST(PrintPrepFiles, WorkingCopyIsReusedUnlessOlderThanItsSource)
{
    QTemporaryDir result;
    QTemporaryDir cache;
    const QString mesh = result.filePath(QStringLiteral("model.usdz"));
    ASSERT_TRUE(writeBoxModel(mesh, 0.2, 0.05, 0.1));
    ASSERT_TRUE(setModified(mesh, kT0));
    const QString root = cache.filePath(QStringLiteral("tovarine-printprep"));

    // Missing copy: exported, in millimetres, +Z up.
    const auto first = PrintPrepFiles::millimetreSource(mesh, root);
    ASSERT_TRUE(first) << first.error().toStdString();
    EXPECT_EQ(*first,
              root + QLatin1Char('/') + PrintPrepFiles::folderName(mesh) + QStringLiteral("/model.obj"));
    const auto extents = test::objExtents(*first);
    ASSERT_TRUE(extents);
    EXPECT_NEAR((*extents)[0], 200.0, 1e-3);
    EXPECT_NEAR((*extents)[1], 100.0, 1e-3);
    EXPECT_NEAR((*extents)[2], 50.0, 1e-3);
    // The folders are the user's alone, and only the copy is left in its folder.
    EXPECT_EQ(QFileInfo(root).permissions() & 0x0077, 0);
    EXPECT_EQ(QFileInfo(QFileInfo(*first).path()).permissions() & 0x0077, 0);
    EXPECT_EQ(QDir(QFileInfo(*first).path()).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("model.obj")});

    struct Case
    {
        const char* name;
        qint64 copyTime;
        bool reused;
    };
    const Case cases[] = {{"newer", kT0 + 10, true}, {"equal", kT0, true}, {"older", kT0 - 10, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        {
            QFile marker(*first);
            ASSERT_TRUE(marker.open(QIODevice::WriteOnly | QIODevice::Truncate));
            marker.write("marker\n");
        }
        ASSERT_TRUE(setModified(*first, c.copyTime));
        const auto again = PrintPrepFiles::millimetreSource(mesh, root);
        ASSERT_TRUE(again);
        EXPECT_EQ(*again, *first);
        EXPECT_EQ(contents(*again) == "marker\n", c.reused);
    }
}

TEST(PrintPrepFiles, WorkingCopyFailuresAreReportedAndLeaveNoPartialFile)
{
    QTemporaryDir result;
    QTemporaryDir cache;
    const QString root = cache.filePath(QStringLiteral("tovarine-printprep"));
    const QString missing = result.filePath(QStringLiteral("model.usdz"));
    const auto failed = PrintPrepFiles::millimetreSource(missing, root);
    ASSERT_FALSE(failed);
    EXPECT_EQ(failed.error(), QStringLiteral("mesh had no usable geometry"));
    const QString folder = root + QLatin1Char('/') + PrintPrepFiles::folderName(missing);
    EXPECT_TRUE(QDir(folder).entryList(QDir::Files | QDir::Hidden).isEmpty());

    // A root that cannot be created (a file stands in its way).
    const QString blocked = cache.filePath(QStringLiteral("blocked"));
    touch(blocked, kT0);
    ASSERT_TRUE(writeBoxModel(missing, 0.1, 0.1, 0.1));
    const auto noFolder = PrintPrepFiles::millimetreSource(missing, blocked);
    ASSERT_FALSE(noFolder);
    EXPECT_TRUE(noFolder.error().startsWith(QStringLiteral("couldn't create the working folder")));
}

TEST(PrintPrepFiles, DefaultWorkingCopyLivesInTheUsersCacheNotTheSharedTemporaryFolder)
{
    QTemporaryDir cache;
    qputenv("XDG_CACHE_HOME", cache.path().toUtf8());
    EXPECT_EQ(PrintPrepFiles::workingCopyRoot(), cache.path() + QStringLiteral("/tovarine-printprep"));
    EXPECT_NE(PrintPrepFiles::workingCopyRoot(), QDir::tempPath() + QStringLiteral("/tovarine-printprep"));
}

TEST(PrintPrepFiles, LatestClosedMeshSkipsStaleAndForeignFiles)
{
    QTemporaryDir dir;
    const QString mesh = dir.filePath(QStringLiteral("model.usdz"));
    touch(mesh, kT0);
    touch(dir.filePath(QStringLiteral("model.obj")), kT0 + 5);

    auto answer = PrintPrepFiles::latestClosedMesh(dir.path(), mesh);
    EXPECT_FALSE(answer.current);
    EXPECT_FALSE(answer.olderExist);

    touch(dir.filePath(QStringLiteral("model_thick_2mm.obj")), kT0 + 1); // before model.obj: stale
    answer = PrintPrepFiles::latestClosedMesh(dir.path(), mesh);
    EXPECT_FALSE(answer.current);
    EXPECT_TRUE(answer.olderExist);

    // Not candidates: wrong case of the prefix, another prefix, another extension.
    touch(dir.filePath(QStringLiteral("MODEL_THICK_2mm.obj")), kT0 + 50);
    touch(dir.filePath(QStringLiteral("model_thinmap_2mm.obj")), kT0 + 50);
    touch(dir.filePath(QStringLiteral("model_thick_2mm.mtl")), kT0 + 50);
    answer = PrintPrepFiles::latestClosedMesh(dir.path(), mesh);
    EXPECT_FALSE(answer.current);

    touch(dir.filePath(QStringLiteral("model_thick_3mm.OBJ")), kT0 + 5); // exactly at the threshold: current
    answer = PrintPrepFiles::latestClosedMesh(dir.path(), mesh);
    ASSERT_TRUE(answer.current);
    EXPECT_EQ(*answer.current, dir.filePath(QStringLiteral("model_thick_3mm.OBJ")));
    EXPECT_TRUE(answer.olderExist);

    touch(dir.filePath(QStringLiteral("model_watertight_a.obj")), kT0 + 9);
    answer = PrintPrepFiles::latestClosedMesh(dir.path(), mesh);
    ASSERT_TRUE(answer.current);
    EXPECT_EQ(*answer.current, dir.filePath(QStringLiteral("model_watertight_a.obj")));

    answer = PrintPrepFiles::latestClosedMesh(dir.filePath(QStringLiteral("absent")), mesh);
    EXPECT_FALSE(answer.current);
    EXPECT_FALSE(answer.olderExist);
}

TEST(PrintPrepFiles, SmallGapNote)
{
    struct Case
    {
        std::int64_t open, faces;
        const char* note;
    };
    const Case cases[] = {
        {0, 1000, ""},
        {5, 1000, " · 5 open edges in hairline gaps"},
        {15, 1000, ""}, // exactly 1 % of 1,500
        {14, 1000, " · 14 open edges in hairline gaps"},
        {1, 0, ""}, // estimate 1
        {-3, 1000, ""},
        {1, std::numeric_limits<std::int64_t>::max(), " · 1 open edges in hairline gaps"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PrintPrepFiles::smallGapNote(c.open, c.faces), QString::fromUtf8(c.note))
            << c.open << " " << c.faces;
    }
}

TEST(PrintPrepFiles, ThicknessTag)
{
    const std::pair<double, const char*> cases[] = {
        {2.0, "2"},      {2.032, "2p03"}, {1.016, "1p02"},
        {0.5, "0p5"},    {0.004, "0"},    {25.4, "25p4"},
        {0.005, "0p01"}, {1.0, "1"},      {1e20, "100000000000000000000"},
    };
    for (const auto& [mm, tag] : cases) {
        EXPECT_EQ(PrintPrepFiles::thicknessTag(mm), QString::fromLatin1(tag)) << mm;
    }
}
