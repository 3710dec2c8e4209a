#include "MeshGrow.h"

#include "MeshFixtures.h"
#include "MeshTopology.h"

#include <QFile>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <set>

namespace tovarine {
namespace {

// A closed shell: a lumpy sphere and a copy scaled by `innerScale`, wound inward, as its cavity.
MeshLists sphereShell(int rings, int segments, double radius, double innerScale, double lumpiness = 1.0)
{
    const MeshLists raw = test::lumpySphere(rings, segments, radius, 9, lumpiness);
    const MeshLists outer = MeshTopology::weld(raw.positions, raw.triangles);
    MeshLists inner = outer;
    for (Vec3& p : inner.positions) {
        p = {p[0] * innerScale, p[1] * innerScale, p[2] * innerScale};
    }
    for (MeshTriangle& t : inner.triangles) {
        std::swap(t[1], t[2]);
    }
    return test::merged(outer, inner);
}

class Grow : public ::testing::Test
{
protected:
    QString path(const QString& name) const { return m_dir.filePath(name); }

    Expected<MeshGrow::Result, MeshGrow::Failure> run(const MeshLists& mesh, double mm, int iterations = 4,
                                                      int passes = 2, double alpha = 0.4,
                                                      QStringList* lines = nullptr)
    {
        EXPECT_TRUE(test::writeFile(path(QStringLiteral("model_thick_2mm.obj")), test::objText(mesh)));
        return MeshGrow::grow(path(QStringLiteral("model_thick_2mm.obj")),
                              path(QStringLiteral("model_grown_1mm.obj")),
                              path(QStringLiteral("model_grown_1mm.mtl")), mm, iterations, passes, alpha,
                              [lines](const QString& line) {
                                  if (lines) {
                                      *lines << line;
                                  }
                              });
    }

    QStringList grownLines() const { return test::readLines(path(QStringLiteral("model_grown_1mm.obj"))); }

    QByteArray grownBytes() const
    {
        QFile file(path(QStringLiteral("model_grown_1mm.obj")));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir m_dir;
};

TEST_F(Grow, ThickEnoughMeshStopsAtTheFirstMeasurement)
{
    QStringList lines;
    const auto result = run(test::hollowBox({0, 0, 0}, {10, 10, 10}, 1.5), 1.0, 4, 2, 0.4, &lines);
    ASSERT_TRUE(result) << result.error().localizedDescription().toStdString();
    EXPECT_EQ(result->faceCount, 24);
    EXPECT_EQ(result->initialThin, 0);
    EXPECT_EQ(result->finalThin, 0);
    EXPECT_EQ(result->iterations, 1);
    EXPECT_EQ(result->displacedVertices, 0);
    EXPECT_EQ(result->openEdges, 0);
    EXPECT_EQ(lines, (QStringList{"reading mesh\u2026", "building vertex adjacency\u2026",
                                  "iter 1/4 \u00B7 sampling thickness\u2026",
                                  "iter 1/4 \u00B7 ray-sampling thickness \u00B7 0%",
                                  "writing grown mesh (0 thin remaining)\u2026"}));
    const QStringList obj = grownLines();
    EXPECT_EQ(obj.mid(0, 11),
              (QStringList{"# tovarine\u2122 Companion \u2014 grown mesh", "# source: model_thick_2mm.obj",
                           "# threshold: 1.000 mm", "# iterations: 1 of 4 (cap)",
                           "# faces: 24 total \u00B7 0 thin remaining \u00B7 0 displaced verts",
                           "# initial thin: 0 \u2192 final thin: 0",
                           "# final measured: min 1.500 mm \u00B7 median 1.500 mm", "# units: millimeters",
                           "# orientation: +Z up (inherited from source)",
                           "# topology preserved; positions displaced + Laplacian-smoothed",
                           "mtllib model_grown_1mm.mtl"}));
    EXPECT_TRUE(obj.contains(QStringLiteral("g safe")));
    EXPECT_FALSE(obj.contains(QStringLiteral("g thin")));
    const QStringList mtl = test::readLines(path(QStringLiteral("model_grown_1mm.mtl")));
    ASSERT_EQ(mtl.size(), 14);
    EXPECT_EQ(mtl[0], "# tovarine\u2122 Companion \u2014 grown-mesh materials");
    EXPECT_EQ(mtl[1], "# safe = neutral grey, thin = red (mirrors thinmap)");
}

TEST_F(Grow, ThinWallGrowsToTheTarget)
{
    // A lumpy shell whose wall (3 % of a 20 mm radius, 0.45 to 0.75 mm) is thinner than 0.8 mm nearly
    // everywhere.
    const MeshLists shell = sphereShell(24, 40, 20.0, 0.97, 0.5);
    QStringList lines;
    const auto result = run(shell, 0.8, 4, 2, 0.4, &lines);
    ASSERT_TRUE(result) << result.error().localizedDescription().toStdString();
    EXPECT_EQ(result->faceCount, 3680);
    EXPECT_GT(result->initialThin, 3500);
    EXPECT_EQ(result->finalThin, 0);
    EXPECT_EQ(result->iterations, 4);
    EXPECT_GT(result->displacedVertices, 1000);
    EXPECT_GE(result->finalMinMM, 0.8);
    // Iterations 1 to 3 grow; the fourth measurement finds no thin face and ends the run.
    EXPECT_EQ(lines.filter(QStringLiteral("computing normals")).size(), 3);
    EXPECT_TRUE(lines.contains(QStringLiteral("iter 1/4 \u00B7 growing ") +
                               QString::number(result->initialThin) + QStringLiteral(" thin faces\u2026")));
    EXPECT_EQ(lines.mid(lines.size() - 3), (QStringList{"iter 4/4 \u00B7 sampling thickness\u2026",
                                                        "iter 4/4 \u00B7 ray-sampling thickness \u00B7 0%",
                                                        "writing grown mesh (0 thin remaining)\u2026"}));
    // Topology is untouched: the same faces in the same order, all in the safe group.
    const QStringList obj = grownLines();
    const QStringList faces = obj.filter(QRegularExpression(QStringLiteral("^f ")));
    ASSERT_EQ(faces.size(), 3680);
    EXPECT_EQ(faces[0], QStringLiteral("f %1 %2 %3")
                            .arg(shell.triangles[0][0] + 1)
                            .arg(shell.triangles[0][1] + 1)
                            .arg(shell.triangles[0][2] + 1));
    EXPECT_FALSE(obj.contains(QStringLiteral("g thin")));
}

TEST_F(Grow, StopsWhenThinCountNoLongerImproves)
{
    // Every face of a 10 mm cube is thinner than 100 mm, and stays so however far it is pushed.
    QStringList lines;
    const auto result = run(test::box({0, 0, 0}, {10, 10, 10}), 100.0, 4, 2, 0.4, &lines);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->iterations, 2);
    EXPECT_EQ(result->initialThin, 12);
    EXPECT_EQ(result->finalThin, 12);
    EXPECT_EQ(result->displacedVertices, 0);
    EXPECT_FALSE(lines.contains(QStringLiteral("final sample\u2026")));
    EXPECT_EQ(lines.last(), "writing grown mesh (12 thin remaining)\u2026");
    const QStringList obj = grownLines();
    EXPECT_EQ(obj[3], "# iterations: 2 of 4 (cap)");
    EXPECT_EQ(obj[5], "# initial thin: 12 \u2192 final thin: 12");
    EXPECT_FALSE(obj.contains(QStringLiteral("g safe")));
    EXPECT_EQ(obj.mid(obj.indexOf(QStringLiteral("g thin")) + 2, 2), (QStringList{"f 1 3 4", "f 1 4 2"}));
    EXPECT_TRUE(obj.contains(QStringLiteral("v 10.000000 10.000000 10.000000")));

    // A round shell pushed by exactly its half-shortfall lands on the target, not above it, and the
    // smoothing pulls it back a little: no improvement, so the input is written.
    const auto round = run(sphereShell(24, 40, 20.0, 0.97, 0.0), 1.0);
    ASSERT_TRUE(round);
    EXPECT_EQ(round->iterations, 2);
    EXPECT_EQ(round->finalThin, round->initialThin);
    EXPECT_EQ(round->displacedVertices, 0);
}

TEST_F(Grow, ZeroIterationsOnlyMeasures)
{
    QStringList lines;
    const auto result = run(test::box({0, 0, 0}, {10, 10, 10}), 20.0, 0, 2, 0.4, &lines);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->iterations, 0);
    EXPECT_EQ(result->initialThin, -1);
    EXPECT_EQ(result->finalThin, 12);
    EXPECT_EQ(lines, (QStringList{"reading mesh\u2026", "building vertex adjacency\u2026",
                                  "final sample\u2026", "final \u00B7 ray-sampling thickness \u00B7 0%",
                                  "writing grown mesh (12 thin remaining)\u2026"}));
    const QStringList obj = grownLines();
    EXPECT_EQ(obj[3], "# iterations: 0 of 0 (cap)");
    EXPECT_EQ(obj[5], "# initial thin: -1 \u2192 final thin: 12");
    // A negative cap counts as none.
    ASSERT_TRUE(run(test::box({0, 0, 0}, {10, 10, 10}), 20.0, -3));
    EXPECT_EQ(grownLines()[3], "# iterations: 0 of 0 (cap)");
}

TEST_F(Grow, SmoothingFollowsItsPassesAndFactor)
{
    const MeshLists thin = test::hollowBox({0, 0, 0}, {20, 20, 20}, 0.6, 4);
    QStringList lines;
    ASSERT_TRUE(run(thin, 1.0, 1, 0, 0.4, &lines));
    EXPECT_TRUE(lines.filter(QStringLiteral("smoothing")).isEmpty());
    const QByteArray unsmoothed = grownBytes();
    ASSERT_TRUE(run(thin, 1.0, 1, 3, 0.0));
    EXPECT_EQ(grownBytes(), unsmoothed); // alpha 0 leaves the pushed positions as they are
    lines.clear();
    ASSERT_TRUE(run(thin, 1.0, 1, 2, 1.0, &lines));
    EXPECT_EQ(lines.filter(QStringLiteral("smoothing")).size(), 1);
    EXPECT_NE(grownBytes(), unsmoothed);
}

// The iteration written plainly, step by step: measure, push each thin face's corners by the largest
// half-shortfall, stop on no thin face or no strict improvement, otherwise grow along area-weighted normals
// and smooth the moved vertices; after the last iteration measure once more and keep the better state.
struct PlainGrowth
{
    MeshPositions positions;
    std::int64_t initialThin = -1;
    std::int64_t finalThin = 0;
    std::int64_t iterations = 0;
    double minMM = 0.0;
    double medianMM = 0.0;
    bool measuredAgain = false; // the run used every iteration and took the final measurement
    bool keptBest = false;      // ... and that measurement had more thin faces than the best state
};

PlainGrowth plainGrowth(const MeshLists& mesh, double target, int cap, int passes, double alpha)
{
    struct Measured
    {
        std::int64_t thin = 0;
        double minMM = 0.0;
        double medianMM = 0.0;
        MeshMinThickness::ThicknessSamples samples;
    };
    const MeshTriangles& faces = mesh.triangles;
    auto measure = [&](const MeshPositions& positions) {
        Measured m;
        m.samples = MeshMinThickness::sampleThickness(positions, faces, {}, {}, 1);
        std::vector<double> measured;
        for (std::size_t f = 0; f < faces.size(); ++f) {
            if (m.samples.measured[f]) {
                measured.push_back(m.samples.thicknessMM[f]);
                m.thin += m.samples.thicknessMM[f] < target ? 1 : 0;
            }
        }
        std::stable_sort(measured.begin(), measured.end());
        if (!measured.empty()) {
            m.minMM = measured.front();
            m.medianMM = measured[measured.size() / 2];
        }
        return m;
    };
    const std::size_t vertexCount = mesh.positions.size();
    std::vector<std::set<std::int64_t>> adjacent(vertexCount);
    for (const MeshTriangle& t : faces) {
        for (int k = 0; k < 3; ++k) {
            adjacent[static_cast<std::size_t>(t[k])].insert(t[(k + 1) % 3]);
            adjacent[static_cast<std::size_t>(t[k])].insert(t[(k + 2) % 3]);
        }
    }
    const std::int64_t largest = std::numeric_limits<std::int64_t>::max();
    PlainGrowth out;
    MeshPositions current = mesh.positions;
    MeshPositions bestPositions;
    Measured best;
    std::int64_t bestThin = largest;
    std::int64_t previousThin = largest;
    bool writeBest = false;
    bool stoppedEarly = false;
    for (int k = 1; k <= cap; ++k) {
        const Measured m = measure(current);
        std::vector<double> push(vertexCount, 0.0);
        for (std::size_t f = 0; f < faces.size(); ++f) {
            if (m.samples.measured[f] && m.samples.thicknessMM[f] < target) {
                const double s = (target - m.samples.thicknessMM[f]) * 0.5;
                for (std::int64_t v : faces[f]) {
                    push[static_cast<std::size_t>(v)] = std::max(push[static_cast<std::size_t>(v)], s);
                }
            }
        }
        if (out.initialThin == -1) {
            out.initialThin = m.thin;
        }
        if (m.thin < bestThin) {
            bestThin = m.thin;
            bestPositions = current;
            best = m;
        }
        if (m.thin == 0 || m.thin >= previousThin) {
            out.iterations = k;
            writeBest = true;
            stoppedEarly = true;
            break;
        }
        MeshPositions normals(vertexCount, Vec3{0, 0, 0});
        for (const MeshTriangle& t : faces) {
            const Vec3& a = current[static_cast<std::size_t>(t[0])];
            const Vec3& b = current[static_cast<std::size_t>(t[1])];
            const Vec3& c = current[static_cast<std::size_t>(t[2])];
            const Vec3 e1{b[0] - a[0], b[1] - a[1], b[2] - a[2]};
            const Vec3 e2{c[0] - a[0], c[1] - a[1], c[2] - a[2]};
            const Vec3 n{e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
                         e1[0] * e2[1] - e1[1] * e2[0]};
            for (std::int64_t v : t) {
                for (int q = 0; q < 3; ++q) {
                    normals[static_cast<std::size_t>(v)][q] += n[q];
                }
            }
        }
        for (Vec3& n : normals) {
            const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
            n = length > 1e-12 ? Vec3{n[0] / length, n[1] / length, n[2] / length} : Vec3{0, 0, 1};
        }
        std::vector<std::size_t> moved;
        for (std::size_t v = 0; v < vertexCount; ++v) {
            if (push[v] > 0.0) {
                for (int q = 0; q < 3; ++q) {
                    current[v][q] = current[v][q] + normals[v][q] * push[v];
                }
                moved.push_back(v);
            }
        }
        for (int pass = 0; pass < passes && !moved.empty(); ++pass) {
            MeshPositions next = current;
            for (std::size_t v : moved) {
                if (adjacent[v].empty()) {
                    continue;
                }
                Vec3 sum{0, 0, 0};
                for (std::int64_t u : adjacent[v]) {
                    for (int q = 0; q < 3; ++q) {
                        sum[q] += current[static_cast<std::size_t>(u)][q];
                    }
                }
                const auto count = static_cast<double>(adjacent[v].size());
                for (int q = 0; q < 3; ++q) {
                    next[v][q] = current[v][q] * (1.0 - alpha) + sum[q] / count * alpha;
                }
            }
            current = next;
        }
        out.iterations = k;
        previousThin = m.thin;
    }
    Measured written;
    if (!stoppedEarly) {
        out.measuredAgain = true;
        written = measure(current);
        writeBest = cap > 0 && bestThin < written.thin;
        out.keptBest = writeBest;
    }
    if (writeBest) {
        current = bestPositions;
        written = best;
    }
    out.positions = current;
    out.finalThin = written.thin;
    out.minMM = written.minMM;
    out.medianMM = written.medianMM;
    return out;
}

// The iteration and stop rules against the plain loop, bit for bit, over shells and settings that reach
// every ending: no thin face, no improvement, and all iterations used with either state written.
TEST(GrowIteration, MatchesThePlainLoop)
{
    int measuredAgain = 0;
    int keptBest = 0;
    int stoppedEarly = 0;
    for (std::uint32_t seed : {1u, 2u}) {
        const MeshLists shell = [&] {
            const MeshLists raw = test::lumpySphere(12, 20, 20.0, seed, 0.7);
            const MeshLists outer = MeshTopology::weld(raw.positions, raw.triangles);
            MeshLists inner = outer;
            for (Vec3& p : inner.positions) {
                p = {p[0] * 0.96, p[1] * 0.96, p[2] * 0.96};
            }
            for (MeshTriangle& t : inner.triangles) {
                std::swap(t[1], t[2]);
            }
            return test::merged(outer, inner);
        }();
        const MeshGrow::Adjacency adjacency =
            MeshGrow::vertexAdjacency(shell.positions.size(), shell.triangles);
        for (int cap : {0, 1, 3, 6}) {
            for (double target : {0.6, 1.0, 3.0}) {
                for (double alpha : {0.4, 1.0}) {
                    const PlainGrowth expected = plainGrowth(shell, target, cap, 2, alpha);
                    const MeshGrow::Grown grown =
                        MeshGrow::growPositions(shell, adjacency, target, cap, 2, alpha, {}, {}, 3);
                    SCOPED_TRACE(testing::Message() << "seed " << seed << " cap " << cap << " target "
                                                    << target << " alpha " << alpha);
                    EXPECT_EQ(grown.positions, expected.positions);
                    EXPECT_EQ(grown.result.initialThin, expected.initialThin);
                    EXPECT_EQ(grown.result.finalThin, expected.finalThin);
                    EXPECT_EQ(grown.result.iterations, expected.iterations);
                    EXPECT_EQ(grown.result.finalMinMM, expected.minMM);
                    EXPECT_EQ(grown.result.finalMedianMM, expected.medianMM);
                    measuredAgain += expected.measuredAgain ? 1 : 0;
                    keptBest += expected.keptBest ? 1 : 0;
                    stoppedEarly += expected.measuredAgain ? 0 : 1;
                }
            }
        }
    }
    EXPECT_GT(measuredAgain - keptBest, 0);
    EXPECT_GT(keptBest, 0);
    EXPECT_GT(stoppedEarly, 0);
}

TEST_F(Grow, RunsAreIdentical)
{
    const MeshLists shell = sphereShell(40, 64, 20.0, 0.96);
    const auto first = run(shell, 1.0);
    ASSERT_TRUE(first);
    EXPECT_GT(first->initialThin, 0);
    const QByteArray once = grownBytes();
    const auto second = run(shell, 1.0);
    ASSERT_TRUE(second);
    EXPECT_EQ(grownBytes(), once);
}

TEST_F(Grow, FailuresCarryTheirMessages)
{
    const auto missing = MeshGrow::grow(path(QStringLiteral("missing.obj")), path(QStringLiteral("a.obj")),
                                        path(QStringLiteral("a.mtl")), 1.0, 4, 2, 0.4);
    ASSERT_FALSE(missing);
    EXPECT_TRUE(missing.error().localizedDescription().startsWith(QStringLiteral("couldn't read mesh: ")));
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("a.mtl"))));

    ASSERT_TRUE(run(test::box({0, 0, 0}, {10, 10, 10}), 1.0));
    const auto unwritable =
        MeshGrow::grow(path(QStringLiteral("model_thick_2mm.obj")), path(QStringLiteral("x/a.obj")),
                       path(QStringLiteral("x/a.mtl")), 1.0, 4, 2, 0.4);
    ASSERT_FALSE(unwritable);
    EXPECT_TRUE(
        unwritable.error().localizedDescription().startsWith(QStringLiteral("couldn't write grown mesh: ")));
    for (double bad : {0.0, -1.0, double(INFINITY)}) {
        const auto refused = run(test::box({0, 0, 0}, {10, 10, 10}), bad);
        ASSERT_FALSE(refused);
        EXPECT_EQ(refused.error().kind, MeshToolFailure::Kind::thickness);
    }
}

} // namespace
} // namespace tovarine
