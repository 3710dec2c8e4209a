#include "HelpTheme.h"
#include "OstrelPalette.h"

#include <gtest/gtest.h>

using namespace ostrel;

TEST(OstrelPalette, ColoursAreFixedSharedSrgbValues)
{
    EXPECT_EQ(&OstrelPalette::ostrelGold(), &OstrelPalette::ostrelGold());
    const QColor gold = OstrelPalette::ostrelGold();
    EXPECT_NEAR(gold.redF(), 0.84, 1e-3);
    EXPECT_NEAR(gold.greenF(), 0.72, 1e-3);
    EXPECT_NEAR(gold.blueF(), 0.35, 1e-3);
    EXPECT_EQ(gold.alphaF(), 1.0f);
    EXPECT_NEAR(OstrelPalette::ostrelSurface().redF(), 0.14, 1e-3);
    EXPECT_NEAR(OstrelPalette::ostrelRed().greenF(), 0.25, 1e-3);
    EXPECT_NEAR(OstrelPalette::withOpacity(gold, 0.5).alphaF(), 0.5, 1e-3);
}

TEST(HelpTheme, DefaultThemeIsSharedWithHalfOpaqueAccentDim)
{
    const HelpTheme& theme = HelpTheme::defaultTheme();
    EXPECT_EQ(&theme, &HelpTheme::defaultTheme());
    EXPECT_EQ(theme.textBright, QColor(Qt::white));
    EXPECT_NEAR(theme.accentDim.alphaF(), 0.5, 1e-3);
    EXPECT_EQ(theme.accentDim.rgb(), theme.accent.rgb());
    EXPECT_NEAR(theme.background.blueF(), 0.09, 1e-3);
}
