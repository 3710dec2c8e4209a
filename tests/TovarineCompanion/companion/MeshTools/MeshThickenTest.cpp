#include "MeshThicken.h"

#include "MeshFixtures.h"
#include "MeshTopology.h"
#include "OBJMeshReader.h"

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <cmath>
#include <gtest/gtest.h>

namespace tovarine {
namespace {

using MeshTopology::EdgeReport;

class Thicken : public ::testing::Test
{
protected:
    QString path(const QString& name) const { return m_dir.filePath(name); }

    Expected<MeshThicken::Result, MeshThicken::Failure> run(const MeshLists& mesh, double mm,
                                                            QStringList* lines = nullptr)
    {
        EXPECT_TRUE(test::writeFile(path(QStringLiteral("model.obj")), test::objText(mesh)));
        return MeshThicken::thicken(path(QStringLiteral("model.obj")),
                                    path(QStringLiteral("model_thick_2mm.obj")), mm,
                                    [lines](const QString& line) {
                                        if (lines) {
                                            *lines << line;
                                        }
                                    });
    }

    // The written shell, read back with the tools' own reader.
    MeshLists written() const
    {
        QFile file(path(QStringLiteral("model_thick_2mm.obj")));
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        return OBJMeshReader::parse(
            std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    }

    QTemporaryDir m_dir;
};

TEST_F(Thicken, SingleTriangleBecomesAClosedPrism)
{
    QStringList lines;
    const auto result = run({{{0, 0, 0}, {10, 0, 0}, {0, 10, 0}}, {{0, 1, 2}}}, 2.0, &lines);
    ASSERT_TRUE(result) << result.error().localizedDescription().toStdString();
    EXPECT_EQ(result->outerFaces, 1);
    EXPECT_EQ(result->innerFaces, 1);
    EXPECT_EQ(result->bridgeFaces, 6);
    EXPECT_EQ((EdgeReport{result->open, result->nonManifold, result->flipped}), (EdgeReport{0, 0, 0}));
    EXPECT_EQ(lines, (QStringList{"reading mesh\u2026", "computing vertex normals\u2026",
                                  "offsetting inward 2 mm\u2026", "writing OBJ (8 faces)\u2026"}));

    const QStringList obj = test::readLines(path(QStringLiteral("model_thick_2mm.obj")));
    EXPECT_EQ(obj, (QStringList{"# tovarine\u2122 Companion \u2014 thickened shell",
                                "# source: model.obj",
                                "# shell: 2.00 mm (offset along vertex normals)",
                                "# units: millimeters",
                                "# orientation: +Z up",
                                "# vertices: 3 outer + 3 inner = 6",
                                "# faces: 1 outer + 1 inner + 6 bridge = 8",
                                "v 0.000000 0.000000 0.000000",
                                "v 10.000000 0.000000 0.000000",
                                "v 0.000000 10.000000 0.000000",
                                "v 0.000000 0.000000 -2.000000",
                                "v 10.000000 0.000000 -2.000000",
                                "v 0.000000 10.000000 -2.000000",
                                "f 1 2 3",
                                "f 4 6 5",
                                "f 2 1 4",
                                "f 2 4 5",
                                "f 3 2 5",
                                "f 3 5 6",
                                "f 1 3 6",
                                "f 1 6 4"}));
    const MeshLists shell = written();
    EXPECT_EQ(MeshTopology::edgeReport(shell.triangles), (EdgeReport{0, 0, 0}));
}

TEST_F(Thicken, ClosedInputGetsNoBridges)
{
    const auto result = run(test::box({0, 0, 0}, {10, 10, 10}), 1.0);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->bridgeFaces, 0);
    EXPECT_EQ((EdgeReport{result->open, result->nonManifold, result->flipped}), (EdgeReport{0, 0, 0}));
    const MeshLists shell = written();
    ASSERT_EQ(shell.positions.size(), 16u);
    // Corner 7 (10, 10, 10) moves inward along its area-weighted normal, the cube's diagonal here.
    const double s = 1.0 / std::sqrt(3.0);
    for (int a = 0; a < 3; ++a) {
        EXPECT_NEAR(shell.positions[15][a], 10.0 - s, 1e-6);
    }
}

TEST_F(Thicken, OpenBoxBridgesExactlyItsHole)
{
    MeshLists open = test::box({0, 0, 0}, {10, 10, 10});
    open.triangles.erase(open.triangles.begin() + 2, open.triangles.begin() + 4); // no top
    QStringList lines;
    const auto result = run(open, 2.5, &lines);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->outerFaces, 10);
    EXPECT_EQ(result->bridgeFaces, 8);
    EXPECT_EQ((EdgeReport{result->open, result->nonManifold, result->flipped}), (EdgeReport{0, 0, 0}));
    EXPECT_EQ(lines[2], "offsetting inward 3 mm\u2026");
    EXPECT_EQ(lines[3], "writing OBJ (28 faces)\u2026");
    const QStringList obj = test::readLines(path(QStringLiteral("model_thick_2mm.obj")));
    EXPECT_EQ(obj[6], "# faces: 10 outer + 10 inner + 8 bridge = 28");
    EXPECT_EQ(written().triangles.size(), 28u);
}

TEST_F(Thicken, NonManifoldEdgeIsNotBridgedAndShowsInTheReport)
{
    MeshLists fin{{{0, 0, 0}, {10, 0, 0}, {5, 8, 0}, {5, -8, 0}, {5, 0, 8}},
                  {{0, 1, 2}, {1, 0, 3}, {0, 1, 4}}};
    const auto result = run(fin, 1.0);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->bridgeFaces, 12); // the six edges used once, two triangles each
    EXPECT_GE(result->nonManifold, 1);
}

TEST_F(Thicken, FlippedFaceShowsAsInsideOutEdges)
{
    MeshLists cube = test::box({0, 0, 0}, {10, 10, 10});
    std::swap(cube.triangles[0][1], cube.triangles[0][2]);
    const auto result = run(cube, 1.0);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->bridgeFaces, 0);
    EXPECT_EQ(result->open, 0);
    EXPECT_EQ(result->nonManifold, 0);
    EXPECT_EQ(result->flipped, 6); // three edges on each skin
}

TEST_F(Thicken, VertexWithCancellingNormalsMovesStraightDown)
{
    // Vertex 0 is shared by two equal triangles facing +Z and -Z.
    MeshLists bowtie{{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {-1, 0, 0}}, {{0, 1, 2}, {0, 3, 4}}};
    const MeshPositions normals = MeshThicken::vertexNormals(bowtie.positions, bowtie.triangles);
    EXPECT_EQ(normals[0], (Vec3{0, 0, 1}));
    EXPECT_EQ(normals[3], (Vec3{0, 0, -1}));
    ASSERT_TRUE(run(bowtie, 0.4));
    EXPECT_EQ(written().positions[5], (Vec3{0, 0, -0.4}));
}

TEST_F(Thicken, ProgressRoundsHalvesAwayFromZeroAndRefusesUnusableThickness)
{
    QStringList lines;
    ASSERT_TRUE(run(test::box({0, 0, 0}, {10, 10, 10}), 0.4, &lines));
    EXPECT_EQ(lines[2], "offsetting inward 0 mm\u2026");
    lines.clear();
    ASSERT_TRUE(run(test::box({0, 0, 0}, {10, 10, 10}), -2.5, &lines));
    EXPECT_EQ(lines[2], "offsetting inward -3 mm\u2026");

    for (double bad : {std::nan(""), -double(INFINITY), 2e6}) {
        lines.clear();
        const auto refused = run(test::box({0, 0, 0}, {10, 10, 10}), bad, &lines);
        ASSERT_FALSE(refused);
        EXPECT_EQ(refused.error().kind, MeshToolFailure::Kind::thickness);
        EXPECT_TRUE(lines.isEmpty());
    }
    const auto unwritable = MeshThicken::thicken(path(QStringLiteral("model.obj")),
                                                 path(QStringLiteral("no/such/folder.obj")), 1.0);
    ASSERT_FALSE(unwritable);
    EXPECT_TRUE(
        unwritable.error().localizedDescription().startsWith(QStringLiteral("couldn't write shell: ")));
}

TEST_F(Thicken, ScanLikeOpenSurfaceBecomesWatertight)
{
    MeshLists scan = MeshTopology::weld(test::lumpySphere(30, 48, 40.0, 3).positions,
                                        test::lumpySphere(30, 48, 40.0, 3).triangles);
    scan.triangles.resize(scan.triangles.size() - 200); // cut a hole around the south pole
    const auto result = run(scan, 2.0);
    ASSERT_TRUE(result);
    EXPECT_GT(result->bridgeFaces, 0);
    EXPECT_EQ((EdgeReport{result->open, result->nonManifold, result->flipped}), (EdgeReport{0, 0, 0}));
}

} // namespace

} // namespace tovarine
