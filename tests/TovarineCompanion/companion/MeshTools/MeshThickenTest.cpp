#include "MeshThicken.h"

#include "HangCeiling.h"
#include "MeshFixtures.h"
#include "MeshTopology.h"
#include "OBJMeshReader.h"
#include "ScopedLocale.h"

#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <cmath>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <set>

namespace tovarine {
namespace {

using MeshTopology::EdgeReport;

// The lumpy sphere of test::lumpySphere without the quads (ring, segment) listed: each quad is the two
// triangles between rings `ring` and `ring + 1`, from segment s to s + 1.
MeshLists sphereWithHoles(int rings, int segments, const std::set<std::pair<int, int>>& holes)
{
    MeshLists sphere = test::lumpySphere(rings, segments, 40.0, 3);
    MeshTriangles kept;
    for (std::size_t t = 0; t < sphere.triangles.size(); ++t) {
        const auto quad = static_cast<int>((t - static_cast<std::size_t>(segments)) / 2);
        const bool inBand = t >= static_cast<std::size_t>(segments) &&
                            t < sphere.triangles.size() - static_cast<std::size_t>(segments);
        if (!inBand || !holes.count({1 + quad / segments, quad % segments})) {
            kept.push_back(sphere.triangles[t]);
        }
    }
    sphere.triangles = kept;
    return sphere;
}

// The counts admesh, an independent STL checker, gives for a mesh as read (its "Original" column) and for
// the repairs it would make. Empty when admesh is not installed.
std::map<QString, int> admeshCounts(const MeshLists& mesh, const QString& stlPath)
{
    std::string stl = "solid shell\n";
    for (const MeshTriangle& t : mesh.triangles) {
        stl += "facet normal 0 0 0\nouter loop\n";
        for (std::int64_t v : t) {
            stl += "vertex";
            for (double c : mesh.positions[static_cast<std::size_t>(v)]) {
                stl += ' ' + test::numberText(c, 9);
            }
            stl += "\n";
        }
        stl += "endloop\nendfacet\n";
    }
    stl += "endsolid shell\n";
    EXPECT_TRUE(test::writeFile(stlPath, stl));
    QProcess admesh;
    admesh.start(QStringLiteral("admesh"), {stlPath});
    if (!admesh.waitForStarted(tovarine::test::kHangCeilingMs) ||
        !admesh.waitForFinished(tovarine::test::kHangCeilingMs)) {
        return {};
    }
    std::map<QString, int> counts;
    const QStringList lines = QString::fromUtf8(admesh.readAllStandardOutput()).split(QLatin1Char('\n'));
    for (const QString& line : lines) {
        for (const char* key :
             {"Total disconnected facets", "Degenerate facets", "Edges fixed", "Facets removed",
              "Facets added", "Facets reversed", "Backwards edges", "Number of parts"}) {
            if (line.startsWith(QLatin1String(key))) {
                const QString afterColon = line.mid(line.indexOf(QLatin1Char(':')) + 1).trimmed();
                counts[QLatin1String(key)] = afterColon.section(QLatin1Char(' '), 0, 0).toInt();
            }
        }
    }
    return counts;
}

// An application runs under its user's locale, and the files the mesh tools read and write hold the same
// bytes in every one: these tests run under a locale with a decimal comma wherever the machine has one.
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

    const test::ScopedLocale m_locale{test::kCommaLocale};
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
    // A triangle and its reverse: every corner's normals cancel.
    ASSERT_TRUE(run({{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}, {0, 2, 1}}}, 0.4));
    const MeshLists shell = written();
    ASSERT_EQ(shell.positions.size(), 6u);
    EXPECT_EQ(shell.positions[3], (Vec3{0, 0, -0.4}));
    EXPECT_EQ(shell.positions[4], (Vec3{1, 0, -0.4}));
}

TEST_F(Thicken, ProgressRoundsHalvesAwayFromZeroAndRefusesUnusableThickness)
{
    QStringList lines;
    ASSERT_TRUE(run(test::box({0, 0, 0}, {10, 10, 10}), 0.4, &lines));
    EXPECT_EQ(lines[2], "offsetting inward 0 mm\u2026");
    lines.clear();
    ASSERT_TRUE(run(test::box({0, 0, 0}, {10, 10, 10}), 2.5, &lines));
    EXPECT_EQ(lines[2], "offsetting inward 3 mm\u2026");

    // Zero or below would put the inner skin on or outside the outer one.
    QFile::remove(path(QStringLiteral("model_thick_2mm.obj")));
    for (double bad : {0.0, -0.0, -1.0, std::nan(""), -double(INFINITY), 2e6}) {
        lines.clear();
        const auto refused = run(test::box({0, 0, 0}, {10, 10, 10}), bad, &lines);
        ASSERT_FALSE(refused);
        EXPECT_EQ(refused.error().kind, MeshToolFailure::Kind::thickness);
        EXPECT_EQ(refused.error().localizedDescription(),
                  QStringLiteral("thickness must be a number of millimetres above 0, at most 1000000"));
        EXPECT_TRUE(lines.isEmpty());
        EXPECT_FALSE(QFile::exists(path(QStringLiteral("model_thick_2mm.obj"))));
    }
    const auto unwritable = MeshThicken::thicken(path(QStringLiteral("model.obj")),
                                                 path(QStringLiteral("no/such/folder.obj")), 1.0);
    ASSERT_FALSE(unwritable);
    EXPECT_TRUE(
        unwritable.error().localizedDescription().startsWith(QStringLiteral("couldn't write shell: ")));
}

TEST_F(Thicken, UnreadableVertexLineDropsOnlyItsFaces)
{
    // A cube whose file has an unreadable vertex line in the middle and one face that uses it; the other
    // faces are numbered as the file means them, so the shell is the cube's.
    const MeshLists cube = test::box({0, 0, 0}, {10, 10, 10});
    std::string text;
    for (std::size_t v = 0; v < cube.positions.size(); ++v) {
        if (v == 4) {
            text += "v 10 10 1O\n";
        }
        const Vec3& p = cube.positions[v];
        text += "v " + test::numberText(p[0]) + " " + test::numberText(p[1]) + " " + test::numberText(p[2]) +
                "\n";
    }
    for (const MeshTriangle& t : cube.triangles) {
        text += "f";
        for (std::int64_t index : t) {
            text += " " + std::to_string(index < 4 ? index + 1 : index + 2);
        }
        text += "\n";
    }
    text += "f 1 2 5\n";
    ASSERT_TRUE(test::writeFile(path(QStringLiteral("model.obj")), text));
    const auto result = MeshThicken::thicken(path(QStringLiteral("model.obj")),
                                             path(QStringLiteral("model_thick_2mm.obj")), 1.0);
    ASSERT_TRUE(result) << result.error().localizedDescription().toStdString();
    EXPECT_EQ(result->outerFaces, 12);
    EXPECT_EQ(result->skippedFaces, 1);
    EXPECT_EQ((EdgeReport{result->open, result->nonManifold, result->flipped}), (EdgeReport{0, 0, 0}));
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

// Holes that meet at a vertex leave it with two fans of faces after the weld; each fan gets its own copy of
// the vertex, so no edge of the shell is used by more than two faces, and an outside checker agrees.
TEST_F(Thicken, HolesMeetingAtAVertexGiveAClosedManifoldShell)
{
    std::mt19937 rng(21);
    std::set<std::pair<int, int>> scattered;
    for (int ring = 2; ring < 22; ++ring) {
        for (int s = 0; s < 36; ++s) {
            if (rng() % 100 < 18) {
                scattered.insert({ring, s});
            }
        }
    }
    struct Case
    {
        const char* name;
        std::set<std::pair<int, int>> holes;
        std::int64_t pinches; // vertices split
    };
    const Case cases[] = {
        {"two holes touching at a corner", {{10, 5}, {11, 6}}, 1},
        {"a scan with many small holes", scattered, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const MeshLists scan = sphereWithHoles(24, 36, c.holes);
        const MeshLists split = MeshThicken::splitPinchedVertices(scan);
        if (c.pinches >= 0) {
            EXPECT_EQ(split.positions.size(), scan.positions.size() + static_cast<std::size_t>(c.pinches));
        } else {
            EXPECT_GT(split.positions.size(), scan.positions.size() + 5);
        }
        const auto result = run(scan, 2.0);
        ASSERT_TRUE(result) << result.error().localizedDescription().toStdString();
        EXPECT_GT(result->bridgeFaces, 0);
        EXPECT_EQ((EdgeReport{result->open, result->nonManifold, result->flipped}), (EdgeReport{0, 0, 0}));
        const MeshLists shell = written();
        EXPECT_EQ(shell.positions.size(), 2 * split.positions.size());
        EXPECT_EQ(MeshTopology::edgeReport(shell.triangles), (EdgeReport{0, 0, 0}));
        // Joined by position, as a slicer reads it: the copies of a split vertex meet again, but no edge
        // gains a third face.
        const MeshLists joined = MeshTopology::weld(shell.positions, shell.triangles, 1e-9);
        EXPECT_EQ(joined.triangles.size(), shell.triangles.size());
        EXPECT_EQ(MeshTopology::edgeReport(joined.triangles), (EdgeReport{0, 0, 0}));

        // admesh confirms the shell closed and consistently wound (it pairs the faces of an edge two by
        // two, so it cannot see an edge shared by four).
        const std::map<QString, int> admesh = admeshCounts(shell, path(QStringLiteral("shell.stl")));
        ASSERT_FALSE(admesh.empty()) << "admesh is not installed (Debian package admesh)";
        for (const auto& [key, count] : admesh) {
            EXPECT_EQ(count, key == QStringLiteral("Number of parts") ? count : 0) << key.toStdString();
        }
    }
}

TEST_F(Thicken, SplittingLeavesUnpinchedVerticesAlone)
{
    // A box with a hole, a non-manifold fin and a closed box touching another at a corner: nothing to split.
    MeshLists open = test::box({0, 0, 0}, {10, 10, 10});
    open.triangles.erase(open.triangles.begin() + 2, open.triangles.begin() + 4);
    const MeshLists fin{{{0, 0, 0}, {10, 0, 0}, {5, 8, 0}, {5, -8, 0}, {5, 0, 8}},
                        {{0, 1, 2}, {1, 0, 3}, {0, 1, 4}}};
    const MeshLists corners = MeshTopology::weld(
        test::merged(test::box({0, 0, 0}, {10, 10, 10}), test::box({10, 10, 10}, {20, 20, 20})).positions,
        test::merged(test::box({0, 0, 0}, {10, 10, 10}), test::box({10, 10, 10}, {20, 20, 20})).triangles);
    ASSERT_EQ(corners.positions.size(), 15u);
    for (const MeshLists& mesh : {open, fin, corners}) {
        const MeshLists split = MeshThicken::splitPinchedVertices(mesh);
        EXPECT_EQ(split.positions, mesh.positions);
        EXPECT_EQ(split.triangles, mesh.triangles);
    }
}

// The shell's edge report is worked out from the input's edges; counting the written shell's own edges
// must give the same on any input, split or not, however broken.
TEST_F(Thicken, ShellEdgeReportEqualsCountingTheShellsEdges)
{
    MeshLists openBox = test::box({0, 0, 0}, {10, 10, 10});
    openBox.triangles.erase(openBox.triangles.begin() + 2, openBox.triangles.begin() + 4);
    MeshLists flippedOpen = openBox;
    std::swap(flippedOpen.triangles[0][1], flippedOpen.triangles[0][2]);
    MeshLists flippedCube = test::box({0, 0, 0}, {10, 10, 10});
    std::swap(flippedCube.triangles[5][0], flippedCube.triangles[5][1]);
    const MeshLists fin{{{0, 0, 0}, {10, 0, 0}, {5, 8, 0}, {5, -8, 0}, {5, 0, 8}},
                        {{0, 1, 2}, {1, 0, 3}, {0, 1, 4}}};
    const MeshLists bowtie{{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {-1, 0, 0}}, {{0, 1, 2}, {0, 3, 4}}};
    const MeshLists folded{{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}, {0, 2, 1}}};
    std::mt19937 rng(5);
    std::set<std::pair<int, int>> holes;
    for (int k = 0; k < 120; ++k) {
        holes.insert({2 + static_cast<int>(rng() % 18), static_cast<int>(rng() % 30)});
    }
    const MeshLists holed = sphereWithHoles(22, 30, holes);
    MeshLists messy = holed;
    for (std::size_t t = 0; t < messy.triangles.size(); t += 7) {
        std::swap(messy.triangles[t][0], messy.triangles[t][1]);
    }
    for (const MeshLists& mesh :
         {MeshLists{{{0, 0, 0}, {10, 0, 0}, {0, 10, 0}}, {{0, 1, 2}}}, openBox, flippedOpen, flippedCube, fin,
          bowtie, folded, holed, messy, test::sheet(5, 10)}) {
        for (const MeshLists& input : {mesh, MeshThicken::splitPinchedVertices(mesh)}) {
            const MeshThicken::Shell shell = MeshThicken::buildShell(
                input, MeshThicken::vertexNormals(input.positions, input.triangles), 1.0);
            const EdgeReport counted = MeshTopology::edgeReport(shell.triangles);
            EXPECT_EQ((EdgeReport{shell.edges.open, shell.edges.nonManifold, shell.edges.flipped}), counted);
        }
    }
}

} // namespace

} // namespace tovarine
