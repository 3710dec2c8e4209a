#include "LickableGlossModifier.h"

#include <gtest/gtest.h>

using namespace ostrel;

TEST(LickableGlossModifier, HighlightAndGlowThresholds)
{
    struct Row
    {
        double intensity;
        std::optional<double> highlight;
        double glowAlpha;
    };
    const Row rows[] = {
        {0.0, std::nullopt, 0.0},  {0.01, std::nullopt, 0.0}, {0.3, 0.06 + 0.22 * 0.3, 0.0},
        {0.5, 0.06 + 0.11, 0.175}, {1.0, 0.28, 0.35},         {2.0, 0.50, 0.70}, // not clamped
    };
    for (const Row& row : rows) {
        const LickableGlossModifier gloss{row.intensity, 4};
        ASSERT_EQ(gloss.highlightOpacity().has_value(), row.highlight.has_value()) << row.intensity;
        if (row.highlight) {
            EXPECT_NEAR(*gloss.highlightOpacity(), *row.highlight, 1e-12) << row.intensity;
        }
        EXPECT_NEAR(gloss.glowColor().alphaF(), std::min(1.0, row.glowAlpha), 0.003) << row.intensity;
        EXPECT_DOUBLE_EQ(gloss.glowBlurRadius(), 12 * row.intensity);
        EXPECT_DOUBLE_EQ(gloss.glowOffsetY(), 3 * row.intensity);
    }
}
