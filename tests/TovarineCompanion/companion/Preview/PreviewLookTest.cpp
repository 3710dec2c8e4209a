#include "PreviewLook.h"

#include <gtest/gtest.h>

namespace tovarine {
namespace {

TEST(PreviewLook, BrightnessReadout)
{
    const struct
    {
        double value;
        const char* label;
    } cases[] = {
        {0.0, "+0"},    {-0.004, "+0"}, {-0.005, "-1"}, {0.005, "+1"},
        {0.124, "+12"}, {0.5, "+50"},   {-0.5, "-50"},  {-0.25, "-25"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PreviewLook::brightnessLabel(c.value), QString::fromUtf8(c.label)) << c.value;
    }
}

TEST(PreviewLook, ContrastReadout)
{
    const struct
    {
        double value;
        const char* label;
    } cases[] = {{0.5, "0.50×"},   {1.0, "1.00×"},   {2.0, "2.00×"},  {1.234, "1.23×"},
                 {1.999, "2.00×"}, {1.625, "1.62×"}, {1.875, "1.88×"}}; // exact ties go to the even digit
    for (const auto& c : cases) {
        EXPECT_EQ(PreviewLook::contrastLabel(c.value), QString::fromUtf8(c.label)) << c.value;
    }
}

TEST(PreviewLook, ResetButtonIsDimmedOnlyAtTheDefault)
{
    EXPECT_DOUBLE_EQ(PreviewLook::resetOpacity(1.0, 1.0), PreviewLook::kResetOpacityAtDefault);
    EXPECT_DOUBLE_EQ(PreviewLook::resetOpacity(1.00009, 1.0), PreviewLook::kResetOpacityAtDefault);
    EXPECT_DOUBLE_EQ(PreviewLook::resetOpacity(1.00011, 1.0), PreviewLook::kResetOpacityChanged);
    EXPECT_DOUBLE_EQ(PreviewLook::resetOpacity(-0.3, 0.0), PreviewLook::kResetOpacityChanged);
    EXPECT_LT(PreviewLook::kResetOpacityAtDefault, PreviewLook::kResetOpacityChanged);
}

TEST(PreviewLook, NeutralLookLeavesColoursAndTheFormulaClamps)
{
    for (const float c : {0.0f, 0.13f, 0.5f, 0.87f, 1.0f}) {
        EXPECT_FLOAT_EQ(PreviewLook::adjustChannel(c, 0.0f, 1.0f), c);
    }
    EXPECT_FLOAT_EQ(PreviewLook::adjustChannel(0.75f, 0.0f, 2.0f), 1.0f);
    EXPECT_FLOAT_EQ(PreviewLook::adjustChannel(0.25f, 0.0f, 2.0f), 0.0f);
    EXPECT_FLOAT_EQ(PreviewLook::adjustChannel(0.6f, 0.1f, 0.5f), 0.65f);
    EXPECT_FLOAT_EQ(PreviewLook::adjustChannel(0.9f, 0.5f, 1.0f), 1.0f);
    EXPECT_FLOAT_EQ(PreviewLook::adjustChannel(0.1f, -0.5f, 1.0f), 0.0f);
}

TEST(PreviewLook, ShadingModeNamesAreExact)
{
    EXPECT_EQ(PreviewLook::shadingMode(QStringLiteral("albedo")), PreviewLook::ShadingMode::albedo);
    EXPECT_EQ(PreviewLook::shadingMode(QStringLiteral("wireframe")), PreviewLook::ShadingMode::wireframe);
    for (const char* other : {"lit", "", "Albedo", "WIREFRAME", "unlit"}) {
        EXPECT_EQ(PreviewLook::shadingMode(QString::fromLatin1(other)), PreviewLook::ShadingMode::lit)
            << other;
    }
}

} // namespace
} // namespace tovarine
