#include "RescaleRules.h"

#include "PrintPrepFixtures.h"
#include "TypedNumber.h"

#include <QTemporaryDir>
#include <cmath>
#include <gtest/gtest.h>
#include <tuple>

using namespace tovarine;
using RescaleRules::Dims;
using RescaleRules::Targets;

namespace {

const Dims kBox{200.0, 100.0, 50.0};
const QString kMm = QStringLiteral("mm");
const QString kIn = QStringLiteral("in");

Targets longest(const QString& text)
{
    Targets t;
    t.longest = text;
    return t;
}

Targets perAxis(const QString& x, const QString& y, const QString& z)
{
    Targets t;
    t.perAxis = true;
    t.axes = {x, y, z};
    return t;
}

} // namespace

TEST(TypedNumber, WholeTextMustBeAPositiveNumber)
{
    const std::pair<const char*, std::optional<double>> cases[] = {
        {"12", 12.0},           {"0.5", 0.5},          {"+3", 3.0},           {"1e2", 100.0},
        {"0", std::nullopt},    {"-1", std::nullopt},  {"abc", std::nullopt}, {"", std::nullopt},
        {" 5", std::nullopt},   {"5 ", std::nullopt},  {"1,5", std::nullopt}, {"nan", std::nullopt},
        {"12mm", std::nullopt}, {"++3", std::nullopt},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(TypedNumber::parse(QString::fromLatin1(text)), expected) << text;
    }
    EXPECT_TRUE(std::isinf(TypedNumber::parse(QStringLiteral("inf")).value_or(0.0)));
}

TEST(RescaleRules, MeasuresTheModelUprightInMillimetres)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("model.usdz"));
    // 0.2 m wide, 0.05 m tall (Y), 0.1 m deep (Z): upright X 200, Y (depth) 100, Z (height) 50.
    ASSERT_TRUE(test::writeBoxModel(path, 0.2, 0.05, 0.1));
    const auto dims = RescaleRules::measureBounds(path);
    ASSERT_TRUE(dims);
    EXPECT_NEAR(dims->x, 200.0, 1e-3);
    EXPECT_NEAR(dims->y, 100.0, 1e-3);
    EXPECT_NEAR(dims->z, 50.0, 1e-3);
    EXPECT_FALSE(RescaleRules::measureBounds(dir.filePath(QStringLiteral("missing.usdz"))));
}

TEST(RescaleRules, TextsInMillimetresAndInches)
{
    EXPECT_EQ(RescaleRules::sizeText(kBox, kMm), QStringLiteral("200 × 100 × 50 mm"));
    EXPECT_EQ(RescaleRules::sizeText(kBox, kIn), QStringLiteral("7.87 × 3.94 × 1.97 in"));
    // The size line is "%.0f" (halves to even); the fields round halves away from zero.
    EXPECT_EQ(RescaleRules::sizeText(Dims{12.5, 2.5, 0.5}, kMm), QStringLiteral("12 × 2 × 0 mm"));
    EXPECT_EQ(RescaleRules::longestText(kBox, kMm), QStringLiteral("200"));
    EXPECT_EQ(RescaleRules::longestText(kBox, kIn), QStringLiteral("7.87"));
    EXPECT_EQ(RescaleRules::format(12.5, kMm), QStringLiteral("13"));
    EXPECT_EQ(RescaleRules::format(25.4, kIn), QStringLiteral("1.00"));
    const auto axes = RescaleRules::defaultPerAxisText(kBox, kIn);
    EXPECT_EQ(axes[0], QStringLiteral("7.87"));
    EXPECT_EQ(axes[2], QStringLiteral("1.97"));
}

TEST(RescaleRules, SliderMapping)
{
    EXPECT_DOUBLE_EQ(RescaleRules::sliderValue(std::nullopt), 2.0);
    EXPECT_DOUBLE_EQ(RescaleRules::sliderValue(1.0), std::log10(5.0));
    EXPECT_DOUBLE_EQ(RescaleRules::sliderValue(1e9), std::log10(2000.0));
    EXPECT_EQ(RescaleRules::targetTextForSlider(RescaleRules::kSliderMin, kMm), QStringLiteral("5"));
    EXPECT_EQ(RescaleRules::targetTextForSlider(RescaleRules::kSliderMax, kMm), QStringLiteral("2000"));
    EXPECT_EQ(RescaleRules::targetTextForSlider(RescaleRules::kSliderMax, kIn), QStringLiteral("78.74"));
}

TEST(RescaleRules, FileNamesInMillimetresAndInches)
{
    struct Case
    {
        Targets targets;
        const QString& unit;
        const char* name;
    };
    const Case cases[] = {
        {longest(QStringLiteral("100")), kMm, "model_100mm.obj"},
        {longest(QStringLiteral("12.6")), kMm, "model_13mm.obj"},
        {longest(QStringLiteral("12.5")), kMm, "model_13mm.obj"},
        {longest(QStringLiteral("4.5")), kIn, "model_4p50in.obj"},
        {longest(QStringLiteral("3.5")), kIn, "model_3p50in.obj"},
        {longest(QStringLiteral("0.125")), kIn, "model_0p13in.obj"},
        {longest(QStringLiteral("2")), kIn, "model_2in.obj"},
        {longest(QStringLiteral("1.999")), kIn, "model_2in.obj"},
        {perAxis(QStringLiteral("120"), QStringLiteral("80"), QStringLiteral("45")), kMm,
         "model_120x80x45mm.obj"},
        {perAxis(QStringLiteral("4"), QStringLiteral("2.25"), QStringLiteral("1")), kIn,
         "model_4x2p25x1in.obj"},
    };
    for (const Case& c : cases) {
        const auto plan = RescaleRules::plan(kBox, kBox, c.targets, c.unit);
        ASSERT_TRUE(plan) << c.name;
        EXPECT_EQ(plan->fileName, QString::fromLatin1(c.name));
    }
}

TEST(RescaleRules, FactorsFollowTheModelsOwnAxesAndTheMeasuredSource)
{
    // Longest side: one factor.
    auto plan = RescaleRules::plan(kBox, kBox, longest(QStringLiteral("100")), kMm);
    ASSERT_TRUE(plan);
    EXPECT_EQ(plan->exporterMultiplier, (std::array<float, 3>{0.5f, 0.5f, 0.5f}));
    EXPECT_EQ(plan->savedDims, (Dims{100.0, 50.0, 25.0}));

    // Per axis on 200 × 100 × 50: upright factors 0.5 (X), 1 (depth), 2 (height); the exporter scales the
    // model's own y (height) by 2 and its own z (depth) by 1.
    plan = RescaleRules::plan(
        kBox, kBox, perAxis(QStringLiteral("100"), QStringLiteral("100"), QStringLiteral("100")), kMm);
    ASSERT_TRUE(plan);
    EXPECT_EQ(plan->fileName, QStringLiteral("model_100x100x100mm.obj"));
    EXPECT_EQ(plan->exporterMultiplier, (std::array<float, 3>{0.5f, 2.0f, 1.0f}));
    EXPECT_EQ(plan->savedDims, (Dims{100.0, 100.0, 100.0}));

    // Inches: the factor comes from millimetres.
    plan = RescaleRules::plan(kBox, kBox, longest(QStringLiteral("3.937")), kIn);
    ASSERT_TRUE(plan);
    EXPECT_NEAR(plan->exporterMultiplier[0], 3.937 * 25.4 / 200.0, 1e-6);
}

// A model whose depth sits just above a rounding edge (149.6 mm shows as 150) and whose longest side shows
// rounded down (188.4 as 188). Saving with the texts the panel filled in is a save at the size shown: the
// factors are 1 and the shown size stays, in either unit; a typed value still counts as typed.
TEST(RescaleRules, SavingAtTheSizeShownKeepsIt)
{
    const Dims edge{188.4, 149.6, 170.3};
    ASSERT_EQ(RescaleRules::sizeText(edge, kMm), QStringLiteral("188 × 150 × 170 mm"));
    for (const QString& unit : {kMm, kIn}) {
        SCOPED_TRACE(unit.toStdString());
        const auto axes = RescaleRules::defaultPerAxisText(edge, unit);
        const Targets filled[] = {longest(RescaleRules::longestText(edge, unit)),
                                  perAxis(axes[0], axes[1], axes[2])};
        for (const Targets& targets : filled) {
            const auto plan = RescaleRules::plan(edge, edge, targets, unit);
            ASSERT_TRUE(plan);
            EXPECT_EQ(plan->exporterMultiplier, (std::array<float, 3>{1.0f, 1.0f, 1.0f}));
            EXPECT_EQ(plan->savedDims, edge);
            EXPECT_EQ(RescaleRules::sizeText(plan->savedDims, unit), RescaleRules::sizeText(edge, unit));
        }
    }

    // Per axis, only the changed side is scaled; the others keep the size shown.
    auto plan = RescaleRules::plan(
        edge, edge, perAxis(QStringLiteral("100"), QStringLiteral("150"), QStringLiteral("170")), kMm);
    ASSERT_TRUE(plan);
    EXPECT_NEAR(plan->savedDims.x, 100.0, 1e-4); // a 32-bit factor
    EXPECT_EQ(plan->savedDims.y, 149.6);
    EXPECT_EQ(plan->savedDims.z, 170.3);
    EXPECT_EQ(plan->fileName, QStringLiteral("model_100x150x170mm.obj"));

    // After a save to 100 mm, its filled-in text keeps the saved size again; "188.0" is typed, not shown.
    const Dims saved = RescaleRules::plan(edge, edge, longest(QStringLiteral("100")), kMm)->savedDims;
    plan = RescaleRules::plan(edge, saved, longest(RescaleRules::longestText(saved, kMm)), kMm);
    ASSERT_TRUE(plan);
    EXPECT_EQ(plan->savedDims, saved);
    plan = RescaleRules::plan(edge, edge, longest(QStringLiteral("188.0")), kMm);
    ASSERT_TRUE(plan);
    EXPECT_NEAR(plan->savedDims.x, 188.0, 1e-4);
    EXPECT_EQ(RescaleRules::sizeText(plan->savedDims, kMm), QStringLiteral("188 × 149 × 170 mm"));
}

TEST(RescaleRules, CanSave)
{
    struct Case
    {
        const char* what;
        std::optional<Dims> shown;
        std::optional<Dims> measured;
        Targets targets;
        const QString& unit;
        bool expected;
    };
    const Dims flat{200.0, 100.0, 0.0};
    const Dims saved{100.0, 50.0, 25.0};
    const Case cases[] = {
        {"not measured", std::nullopt, std::nullopt, longest(QStringLiteral("100")), kMm, false},
        {"same longest", kBox, kBox, longest(QStringLiteral("200")), kMm, false},
        {"new longest", kBox, kBox, longest(QStringLiteral("100")), kMm, true},
        {"zero", kBox, kBox, longest(QStringLiteral("0")), kMm, false},
        {"letters", kBox, kBox, longest(QStringLiteral("abc")), kMm, false},
        {"infinite", kBox, kBox, longest(QStringLiteral("inf")), kMm, false},
        {"too large to name", kBox, kBox, longest(QStringLiteral("1e300")), kMm, false},
        {"7.87 in is 199.898 mm", kBox, kBox, longest(QStringLiteral("7.87")), kIn, true},
        {"7.874 in is within 0.01 mm", kBox, kBox, longest(QStringLiteral("7.874")), kIn, false},
        {"per axis unchanged", kBox, kBox,
         perAxis(QStringLiteral("200"), QStringLiteral("100"), QStringLiteral("50")), kMm, false},
        {"per axis one changed", kBox, kBox,
         perAxis(QStringLiteral("200"), QStringLiteral("100"), QStringLiteral("60")), kMm, true},
        {"per axis one empty", kBox, kBox, perAxis(QStringLiteral("200"), QString(), QStringLiteral("60")),
         kMm, false},
        {"flat scan per axis", flat, flat,
         perAxis(QStringLiteral("100"), QStringLiteral("50"), QStringLiteral("5")), kMm, false},
        {"flat scan longest", flat, flat, longest(QStringLiteral("100")), kMm, true},
        {"after a save, compared with the saved size", saved, kBox, longest(QStringLiteral("100")), kMm,
         false},
        {"after a save, back to the source size", saved, kBox, longest(QStringLiteral("200")), kMm, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RescaleRules::canSave(c.shown, c.measured, c.targets, c.unit), c.expected) << c.what;
    }
}
