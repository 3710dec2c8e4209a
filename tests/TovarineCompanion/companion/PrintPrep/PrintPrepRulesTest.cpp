#include "PrintPrepRules.h"

#include "PrintPrepFixtures.h"

#include <gtest/gtest.h>

using namespace tovarine;

namespace {
const QString kMm = QStringLiteral("mm");
const QString kIn = QStringLiteral("in");
} // namespace

TEST(PrintPrepRules, ThicknessFieldsAcceptOnlyFiniteValuesUpToTheCap)
{
    const std::tuple<const char*, const QString&, std::optional<double>> cases[] = {
        {"2", kMm, 2.0},
        {"1.0", kMm, 1.0},
        {"0.08", kIn, 0.08 * 25.4},
        {"10000", kMm, 10000.0},
        {"0", kMm, std::nullopt},
        {"-1", kMm, std::nullopt},
        {"abc", kMm, std::nullopt},
        {"", kMm, std::nullopt},
        {"inf", kMm, std::nullopt},
        {"1e5", kMm, std::nullopt},
        {"394", kIn, std::nullopt},
        {"1e400", kMm, std::nullopt},
    };
    for (const auto& [text, units, expected] : cases) {
        EXPECT_EQ(PrintPrepRules::thicknessMm(QString::fromLatin1(text), units), expected) << text;
    }
}

TEST(PrintPrepRules, NamesAndUnitDefaults)
{
    EXPECT_EQ(PrintPrepRules::thickenName(0.08 * 25.4), QStringLiteral("model_thick_2p03mm.obj"));
    EXPECT_EQ(PrintPrepRules::thinmapName(0.04 * 25.4), QStringLiteral("model_thinmap_1p02mm.obj"));
    EXPECT_EQ(PrintPrepRules::grownName(1.0), QStringLiteral("model_grown_1mm.obj"));
    EXPECT_EQ(PrintPrepRules::mtlName(QStringLiteral("model_grown_1mm.obj")),
              QStringLiteral("model_grown_1mm.mtl"));
    EXPECT_EQ(PrintPrepRules::postGrowName(QStringLiteral("model_grown_1p5mm.obj")),
              QStringLiteral("model_thinmap_postgrow_1p5mm.obj"));
    EXPECT_EQ(PrintPrepRules::unitDefaults(kIn).shell, QStringLiteral("0.08"));
    EXPECT_EQ(PrintPrepRules::unitDefaults(kIn).minWall, QStringLiteral("0.04"));
    EXPECT_EQ(PrintPrepRules::unitDefaults(QStringLiteral("cm")).shell, QStringLiteral("2"));
    EXPECT_EQ(PrintPrepRules::unitDefaults(kMm).minWall, QStringLiteral("1.0"));
}

TEST(PrintPrepRules, ThickenSummary)
{
    MeshThicken::Result r;
    EXPECT_EQ(PrintPrepRules::thickenSummary(QStringLiteral("model_thick_2mm.obj"), r, 1.26),
              QStringLiteral("shelled · model_thick_2mm.obj · watertight · 1.3s"));
    r.open = 3;
    r.flipped = 1;
    EXPECT_EQ(PrintPrepRules::thickenSummary(QStringLiteral("model_thick_2mm.obj"), r, 0.04),
              QStringLiteral("shelled · model_thick_2mm.obj · 3 open · 1 inside-out edges · 0.0s"));
    r = {};
    r.nonManifold = 2;
    EXPECT_EQ(PrintPrepRules::thickenSummary(QStringLiteral("t.obj"), r, 2.0),
              QStringLiteral("shelled · t.obj · 2 non-manifold edges · 2.0s"));
    // Faces the reader had to drop are said, in every summary, just before the time.
    r = {};
    r.skippedFaces = 3;
    EXPECT_EQ(PrintPrepRules::thickenSummary(QStringLiteral("t.obj"), r, 2.0),
              QStringLiteral("shelled · t.obj · watertight · 3 faces skipped (unreadable vertices) · 2.0s"));
    MeshMinThickness::Result guard;
    guard.faceCount = 10;
    guard.medianMM = 2.0;
    guard.skippedFaces = 1;
    EXPECT_EQ(
        PrintPrepRules::guardSummary(QStringLiteral("t.obj"), guard, 1.0, QStringLiteral("m.obj"), 0.5).text,
        QStringLiteral("checked t.obj · all faces ≥ 1.00 mm · median 2.00 mm · m.obj · 1 face skipped "
                       "(unreadable vertices) · 0.5s"));
}

TEST(PrintPrepRules, GuardSummary)
{
    const QString src = QStringLiteral("model_thick_2mm.obj");
    const QString out = QStringLiteral("model_thinmap_1mm.obj");
    MeshMinThickness::Result r;
    r.faceCount = 1000;
    r.thinCount = 25;
    r.minMM = 0.5;
    r.medianMM = 2.0;
    auto s = PrintPrepRules::guardSummary(src, r, 1.0, out, 3.04);
    EXPECT_EQ(s.text,
              QStringLiteral("checked model_thick_2mm.obj · 25 thin (2.5%) · min 0.50 / median 2.00 mm · "
                             "model_thinmap_1mm.obj · 3.0s"));
    EXPECT_FALSE(s.warning);

    // A few open edges count as hairline gaps: closed, with the note before the file name.
    r.thinCount = 0;
    r.openEdges = 5;
    s = PrintPrepRules::guardSummary(src, r, 0.04 * 25.4, out, 0.5);
    EXPECT_EQ(s.text,
              QStringLiteral("checked model_thick_2mm.obj · all faces ≥ 1.02 mm · median 2.00 mm · 5 open "
                             "edges in hairline gaps · model_thinmap_1mm.obj · 0.5s"));
    EXPECT_FALSE(s.warning);

    r.openEdges = 0;
    r.medianMM = 0.0;
    s = PrintPrepRules::guardSummary(src, r, 1.0, out, 0.5);
    EXPECT_EQ(
        s.text,
        QStringLiteral("checked model_thick_2mm.obj · all faces ≥ 1.00 mm · model_thinmap_1mm.obj · 0.5s"));

    r.openEdges = 40;
    r.thinCount = 7;
    s = PrintPrepRules::guardSummary(src, r, 1.0, out, 0.5);
    EXPECT_EQ(s.text, QStringLiteral(
                          "checked model_thick_2mm.obj · not closed (40 open edges), so missed rays aren't "
                          "measurements · 7 thin of 1000 · model_thinmap_1mm.obj · 0.5s"));
    EXPECT_TRUE(s.warning);

    // Exact halves are written as C's printf writes them: 1 of 16 is 6.2 %, 0.125 mm is 0.12.
    MeshMinThickness::Result halves;
    halves.faceCount = 16;
    halves.thinCount = 1;
    halves.minMM = 0.125;
    halves.medianMM = 0.375;
    s = PrintPrepRules::guardSummary(src, halves, 1.0, out, 0.25);
    EXPECT_EQ(s.text,
              QStringLiteral("checked model_thick_2mm.obj · 1 thin (6.2%) · min 0.12 / median 0.38 mm · "
                             "model_thinmap_1mm.obj · 0.2s"));

    MeshMinThickness::Result none; // no faces: the thin form with 0 %
    s = PrintPrepRules::guardSummary(src, none, 1.0, out, 0.0);
    EXPECT_EQ(s.text,
              QStringLiteral("checked model_thick_2mm.obj · 0 thin (0.0%) · min 0.00 / median 0.00 mm · "
                             "model_thinmap_1mm.obj · 0.0s"));
}

TEST(PrintPrepRules, GrowSummary)
{
    const QString src = QStringLiteral("model_thick_2mm.obj");
    const QString out = QStringLiteral("model_grown_3mm.obj");
    MeshGrow::Result g;
    g.faceCount = 1000;
    g.initialThin = 40;
    g.finalThin = 0;
    g.iterations = 2;
    g.displacedVertices = 31;
    EXPECT_EQ(
        PrintPrepRules::growSummary(src, g, 3.0, out, PrintPrepRules::reguardSuffix(true, 0), 4.26).text,
        QStringLiteral("grew model_thick_2mm.obj · all clear · 40 → 0 thin · 2 iters · 31 verts moved · "
                       "model_grown_3mm.obj · re-guard 0 thin · 4.3s"));
    g.finalThin = 12;
    EXPECT_EQ(
        PrintPrepRules::growSummary(src, g, 3.0, out, PrintPrepRules::reguardSuffix(true, std::nullopt), 1.0)
            .text,
        QStringLiteral("grew model_thick_2mm.obj · 40 → 12 thin · 2 iters · 31 verts moved · "
                       "model_grown_3mm.obj · re-guard failed · 1.0s"));
    g.initialThin = 0;
    g.finalThin = 0;
    EXPECT_EQ(
        PrintPrepRules::growSummary(src, g, 3.0, out, PrintPrepRules::reguardSuffix(false, std::nullopt), 1.0)
            .text,
        QStringLiteral("checked model_thick_2mm.obj · nothing to grow · all faces ≥ 3.00 mm · "
                       "model_grown_3mm.obj · 1.0s"));
    g.initialThin = 9;
    g.finalThin = 4;
    g.openEdges = 300;
    const auto open =
        PrintPrepRules::growSummary(src, g, 3.0, out, PrintPrepRules::reguardSuffix(true, 3), 1.0);
    EXPECT_EQ(open.text,
              QStringLiteral("grew model_thick_2mm.obj · not closed (300 open edges), so missed rays aren't "
                             "measurements · 9 → 4 thin · model_grown_3mm.obj · re-guard 3 thin · 1.0s"));
    EXPECT_TRUE(open.warning);
}
