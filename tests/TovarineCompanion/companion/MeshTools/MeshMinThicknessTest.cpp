#include "MeshMinThickness.h"

#include "MeshFixtures.h"

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <stop_token>

namespace tovarine {
namespace {

// A 20 mm cube with a cavity that leaves a 0.5 mm top wall and 1 mm walls elsewhere.
MeshLists thinTopBox()
{
    return test::merged(test::box({0, 0, 0}, {20, 20, 20}), test::box({1, 1, 1}, {19, 19, 19.5}, true));
}

class MinThicknessGuard : public ::testing::Test
{
protected:
    QString path(const QString& name) const { return m_dir.filePath(name); }

    QString writeMesh(const MeshLists& mesh, const QString& name = QStringLiteral("model_thick_2mm.obj"))
    {
        EXPECT_TRUE(test::writeFile(path(name), test::objText(mesh)));
        return path(name);
    }

    Expected<MeshMinThickness::Result, MeshMinThickness::Failure> run(const QString& source, double mm,
                                                                      QStringList* lines = nullptr)
    {
        return MeshMinThickness::analyze(source, path(QStringLiteral("model_thinmap_1mm.obj")),
                                         path(QStringLiteral("model_thinmap_1mm.mtl")), mm,
                                         [lines](const QString& line) {
                                             if (lines) {
                                                 *lines << line;
                                             }
                                         });
    }

    QTemporaryDir m_dir;
};

TEST_F(MinThicknessGuard, WritesTheThinmapWithThinFacesGroupedLast)
{
    QStringList lines;
    const auto result = run(writeMesh(thinTopBox()), 0.8, &lines);
    ASSERT_TRUE(result) << result.error().localizedDescription().toStdString();
    EXPECT_EQ(result->faceCount, 24);
    EXPECT_EQ(result->thinCount, 4);
    EXPECT_EQ(result->noHitCount, 0);
    EXPECT_NEAR(result->minMM, 0.5, 1e-9);
    EXPECT_NEAR(result->medianMM, 1.0, 1e-9);
    EXPECT_NEAR(result->maxMM, 1.0, 1e-9);
    EXPECT_EQ(result->openEdges, 0);
    EXPECT_EQ(lines,
              (QStringList{"reading mesh\u2026", "indexing 24 tris\u2026", "ray-sampling thickness\u2026",
                           "ray-sampling thickness \u00B7 0%", "writing thinmap (4 thin faces)\u2026"}));

    const QStringList mtl = test::readLines(path(QStringLiteral("model_thinmap_1mm.mtl")));
    EXPECT_EQ(mtl, (QStringList{"# tovarine\u2122 Companion \u2014 thinmap materials",
                                "# safe = neutral grey, thin = red", "newmtl safe", "Ka 0.05 0.05 0.05",
                                "Kd 0.78 0.78 0.78", "Ks 0.10 0.10 0.10", "Ns 16", "illum 2", "newmtl thin",
                                "Ka 0.20 0.05 0.04", "Kd 0.90 0.20 0.15", "Ks 0.20 0.10 0.10", "Ns 16",
                                "illum 2"}));

    const QStringList obj = test::readLines(path(QStringLiteral("model_thinmap_1mm.obj")));
    ASSERT_EQ(obj.size(), 10 + 16 + 2 + 20 + 2 + 4);
    EXPECT_EQ(obj.mid(0, 11),
              (QStringList{"# tovarine\u2122 Companion \u2014 min-thickness analysis",
                           "# source: model_thick_2mm.obj", "# threshold: 0.800 mm",
                           "# faces: 24 total \u00B7 4 thin (16.7%) \u00B7 0 no-hit",
                           "# measured: min 0.500 mm \u00B7 median 1.000 mm \u00B7 max 1.000 mm",
                           "# units: millimeters", "# orientation: +Z up (inherited from source)",
                           "# note: 'thin' faces are coloured red via the sibling .mtl;",
                           "#       open in MeshLab / Rhino / Blender to view.",
                           "mtllib model_thinmap_1mm.mtl", "v 0.000000 0.000000 0.000000"}));
    EXPECT_EQ(obj[25], "v 19.000000 19.000000 19.500000");
    EXPECT_EQ(obj[26], "g safe");
    EXPECT_EQ(obj[27], "usemtl safe");
    EXPECT_EQ(obj[28], "f 1 3 4");
    EXPECT_EQ(obj[48], "g thin");
    EXPECT_EQ(obj[49], "usemtl thin");
    // The top of the outer box (faces 3, 4) and the top of the cavity (faces 15, 16), in face order.
    EXPECT_EQ(obj.mid(50), (QStringList{"f 5 6 8", "f 5 8 7", "f 13 16 14", "f 13 15 16"}));
}

TEST_F(MinThicknessGuard, MedianIsTheUpperMiddleMeasurement)
{
    // A 30 mm box whose walls are 1 and 2 mm (x), 3 and 4 mm (y), 1 and 4 mm (z): four faces measure each
    // x and y wall and eight each of 1 and 4 mm, so the sorted 24 thicknesses hold 2 at index 11 and 3
    // at index 12, the median.
    const MeshLists walls =
        test::merged(test::box({0, 0, 0}, {30, 30, 30}), test::box({1, 3, 1}, {28, 26, 26}, true));
    const auto result = run(writeMesh(walls), 0.5);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->noHitCount, 0);
    EXPECT_NEAR(result->minMM, 1.0, 1e-9);
    EXPECT_NEAR(result->medianMM, 3.0, 1e-9);
    EXPECT_NEAR(result->maxMM, 4.0, 1e-9);
    EXPECT_EQ(test::readLines(path(QStringLiteral("model_thinmap_1mm.obj")))[4],
              QStringLiteral("# measured: min 1.000 mm \u00B7 median 3.000 mm \u00B7 max 4.000 mm"));
}

TEST_F(MinThicknessGuard, ThresholdEqualToAMeasurementIsSafe)
{
    const QString source = writeMesh(test::hollowBox({0, 0, 0}, {10, 10, 10}, 1.5, 2));
    const auto first = run(source, 1.0);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->thinCount, 0);
    const auto atMinimum = run(source, first->minMM);
    ASSERT_TRUE(atMinimum);
    EXPECT_EQ(atMinimum->thinCount, 0);
    const auto above = run(source, std::nextafter(first->minMM, 10.0));
    ASSERT_TRUE(above);
    EXPECT_GE(above->thinCount, 1);
    const auto allThin = run(source, 5.0);
    ASSERT_TRUE(allThin);
    EXPECT_EQ(allThin->thinCount, allThin->faceCount);
    const QStringList obj = test::readLines(path(QStringLiteral("model_thinmap_1mm.obj")));
    EXPECT_FALSE(obj.contains(QStringLiteral("g safe")));
    EXPECT_TRUE(obj.contains(QStringLiteral("g thin")));
}

TEST_F(MinThicknessGuard, OpenMeshCountsMissesAndSaysSo)
{
    const auto result = run(writeMesh({{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}}}), 1.0);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->openEdges, 3);
    EXPECT_EQ(result->noHitCount, 1);
    EXPECT_EQ(result->thinCount, 0);
    EXPECT_EQ(result->minMM, 0.0);
    EXPECT_EQ(result->medianMM, 0.0);
    const QStringList obj = test::readLines(path(QStringLiteral("model_thinmap_1mm.obj")));
    EXPECT_EQ(obj[3], "# faces: 1 total \u00B7 0 thin (0.0%) \u00B7 1 no-hit");
    EXPECT_EQ(obj[4], "# open edges: 3 (mesh is not closed; misses are not measurements)");
    EXPECT_EQ(obj[5], "# units: millimeters");
    EXPECT_EQ(obj.mid(obj.size() - 3), (QStringList{"g safe", "usemtl safe", "f 1 2 3"}));
}

TEST_F(MinThicknessGuard, FacesCollapsedByTheWeldAreNotCounted)
{
    std::string text = test::objText(test::box({0, 0, 0}, {10, 10, 10}));
    text += "v 0 0 0\nf 1 9 2\n"; // vertex 9 duplicates vertex 1: the face collapses
    ASSERT_TRUE(test::writeFile(path(QStringLiteral("in.obj")), text));
    const auto result = run(path(QStringLiteral("in.obj")), 1.0);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->faceCount, 12);
}

TEST_F(MinThicknessGuard, CrLfAndByteOrderMarkFilesGiveTheSameResult)
{
    const std::string plain = test::objText(thinTopBox());
    std::string crlf = "\xEF\xBB\xBF";
    for (char c : plain) {
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    }
    ASSERT_TRUE(test::writeFile(path(QStringLiteral("crlf.obj")), crlf));
    const auto result = run(path(QStringLiteral("crlf.obj")), 0.8);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->faceCount, 24);
    EXPECT_EQ(result->thinCount, 4);
}

TEST_F(MinThicknessGuard, FailuresCarryTheirMessages)
{
    using Kind = MeshToolFailure::Kind;
    auto missing = run(path(QStringLiteral("missing.obj")), 1.0);
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().kind, Kind::read);
    EXPECT_TRUE(missing.error().localizedDescription().startsWith(QStringLiteral("couldn't read mesh: ")));

    ASSERT_TRUE(
        test::writeFile(path(QStringLiteral("latin1.obj")), "v 0 0 0 \xE9\nv 1 0 0\nv 0 1 0\nf 1 2 3\n"));
    auto latin1 = run(path(QStringLiteral("latin1.obj")), 1.0);
    ASSERT_FALSE(latin1);
    EXPECT_EQ(latin1.error().kind, Kind::read);

    for (const std::string& text : {std::string("v 0 0 0\nv 1 0 0\n"), std::string("f 1 2 3\n"),
                                    std::string("v 0 0 0\nv 0 0 0\nv 0 0 0\nf 1 2 3\n"),
                                    std::string("v nan 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n")}) {
        ASSERT_TRUE(test::writeFile(path(QStringLiteral("empty.obj")), text));
        auto empty = run(path(QStringLiteral("empty.obj")), 1.0);
        ASSERT_FALSE(empty);
        EXPECT_EQ(empty.error().localizedDescription(), QStringLiteral("mesh had no usable geometry"));
    }

    // One far-away vertex: named, not blamed on the geometry as a whole. An unused one changes nothing.
    const std::string cube = test::objText(test::box({0, 0, 0}, {10, 10, 10}));
    ASSERT_TRUE(test::writeFile(path(QStringLiteral("far.obj")), cube + "v 0 0 1e9\nf 1 2 9\n"));
    auto far = run(path(QStringLiteral("far.obj")), 1.0);
    ASSERT_FALSE(far);
    EXPECT_EQ(far.error().kind, Kind::range);
    EXPECT_EQ(far.error().localizedDescription(),
              QStringLiteral("coordinates out of range: vertex 9 lies 1e9 mm or more from the origin"));
    ASSERT_TRUE(test::writeFile(path(QStringLiteral("far.obj")), cube + "v 0 -2e9 0\n"));
    EXPECT_TRUE(run(path(QStringLiteral("far.obj")), 1.0));

    QStringList lines;
    for (double bad : {0.0, -1.0, std::nan(""), double(INFINITY), 1e300}) {
        auto refused = run(writeMesh(thinTopBox()), bad, &lines);
        ASSERT_FALSE(refused);
        EXPECT_EQ(refused.error().kind, Kind::thickness);
    }
    EXPECT_TRUE(lines.isEmpty());
}

TEST_F(MinThicknessGuard, FailedObjWriteLeavesTheMtl)
{
    const QString source = writeMesh(thinTopBox());
    ASSERT_TRUE(QDir(m_dir.path()).mkdir(QStringLiteral("blocked.obj")));
    const auto result = MeshMinThickness::analyze(source, path(QStringLiteral("blocked.obj")),
                                                  path(QStringLiteral("blocked.mtl")), 1.0);
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().kind, MeshToolFailure::Kind::write);
    EXPECT_TRUE(result.error().localizedDescription().startsWith(QStringLiteral("couldn't write thinmap: ")));
    EXPECT_TRUE(QFile::exists(path(QStringLiteral("blocked.mtl"))));

    const auto noFolder = MeshMinThickness::analyze(source, path(QStringLiteral("none/x.obj")),
                                                    path(QStringLiteral("none/x.mtl")), 1.0);
    ASSERT_FALSE(noFolder);
    EXPECT_EQ(noFolder.error().kind, MeshToolFailure::Kind::write);
}

TEST_F(MinThicknessGuard, StopRequestEndsTheRunWithoutWriting)
{
    std::stop_source stop;
    stop.request_stop();
    const auto result = MeshMinThickness::analyze(writeMesh(thinTopBox()), path(QStringLiteral("t.obj")),
                                                  path(QStringLiteral("t.mtl")), 1.0, {}, stop.get_token());
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().kind, MeshToolFailure::Kind::cancelled);
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("t.mtl"))));
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("t.obj"))));

    const MeshLists cube = test::box({0, 0, 0}, {10, 10, 10});
    const auto samples =
        MeshMinThickness::sampleThickness(cube.positions, cube.triangles, {}, stop.get_token());
    EXPECT_EQ(std::count(samples.measured.begin(), samples.measured.end(), 1), 0);
}

} // namespace
} // namespace tovarine
