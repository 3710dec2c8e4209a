#include "OstrelContrast.h"

#include <QColor>

#include <gtest/gtest.h>

using namespace ostrel;

TEST(OstrelContrast, LuminanceAndRatioLimits)
{
    EXPECT_DOUBLE_EQ(OstrelContrast::relativeLuminance(0.04045, 0.04045, 0.04045), 0.04045 / 12.92);
    EXPECT_NEAR(OstrelContrast::relativeLuminance(0.5, 0.5, 0.5), 0.21404, 1e-5);
    EXPECT_DOUBLE_EQ(OstrelContrast::ratio(0.3, 0.3), 1.0);
    EXPECT_DOUBLE_EQ(*OstrelContrast::ratio(QColor(Qt::black), QColor(Qt::white)), 21.0);
    EXPECT_DOUBLE_EQ(*OstrelContrast::ratio(QColor(Qt::white), QColor(Qt::black)), 21.0);
    EXPECT_DOUBLE_EQ(*OstrelContrast::ratio(QColor(10, 200, 30), QColor(10, 200, 30)), 1.0);
    // Alpha plays no part.
    EXPECT_EQ(OstrelContrast::ratio(QColor(200, 40, 40, 30), QColor(Qt::black)),
              OstrelContrast::ratio(QColor(200, 40, 40), QColor(Qt::black)));
}

TEST(OstrelContrast, ThresholdsAreInclusiveAndAnUnconvertibleColourFailsBoth)
{
    // Grey levels whose ratio against black straddles 4.5 and 7.0.
    const QColor black(Qt::black);
    const QColor grey50 = QColor::fromRgbF(0.5f, 0.5f, 0.5f);
    EXPECT_TRUE(OstrelContrast::meetsAA(grey50, black));
    EXPECT_FALSE(OstrelContrast::meetsAAA(grey50, black));
    EXPECT_TRUE(OstrelContrast::meetsAAA(QColor(Qt::white), black));

    const QColor invalid;
    const QColor extended = QColor::fromRgbF(1.4f, -0.2f, 0.5f); // outside sRGB
    for (const QColor& bad : {invalid, extended}) {
        EXPECT_FALSE(OstrelContrast::ratio(bad, black).has_value());
        EXPECT_FALSE(OstrelContrast::meetsAA(bad, black));
        EXPECT_FALSE(OstrelContrast::meetsAAA(bad, black));
        EXPECT_EQ(OstrelContrast::auditLine(bad, black, QStringLiteral("Odd")),
                  QStringLiteral("[Odd] could not compute contrast (color space issue)"));
    }
}

TEST(OstrelContrast, StandardPaletteReportPrintsItsTwentyFiveLines)
{
    const QStringList lines = OstrelContrast::standardPaletteLines();
    ASSERT_EQ(lines.size(), 25);
    EXPECT_EQ(lines[0], QStringLiteral("═══ Ostrel Palette Contrast Audit ═══"));
    EXPECT_EQ(lines[1], QStringLiteral("── Against ostrelBg (0.09, 0.08, 0.12) ──"));
    EXPECT_EQ(lines[2], QStringLiteral("[Gold on Bg] contrast 9.35:1 — AA: PASS, AAA: PASS"));
    EXPECT_EQ(lines[7], QStringLiteral("[Red on Bg] contrast 4.42:1 — AA: FAIL, AAA: FAIL"));
    EXPECT_EQ(lines[12], QStringLiteral("[Gray 50% on Bg] contrast 4.56:1 — AA: PASS, AAA: FAIL"));
    EXPECT_EQ(lines[13], QStringLiteral("── Against ostrelSurface (0.14, 0.13, 0.19) ──"));
    EXPECT_TRUE(lines[14].startsWith(QStringLiteral("[Gold on Surface] contrast ")));
    EXPECT_TRUE(lines[24].startsWith(QStringLiteral("[Gray 50% on Surface] contrast ")));
    EXPECT_TRUE(lines[10].startsWith(QStringLiteral("[White on Bg] contrast ")));
}

TEST(OstrelContrast, AuditPrintsOneLineToStandardOutput)
{
    testing::internal::CaptureStdout();
    OstrelContrast::audit(QColor(Qt::white), QColor(Qt::black), QStringLiteral("Ink"));
    OstrelContrast::auditStandardPalette();
    const QString out = QString::fromStdString(testing::internal::GetCapturedStdout());
    const QStringList lines = out.split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 27); // 26 lines and the empty tail after the last newline
    EXPECT_EQ(lines[0], QStringLiteral("[Ink] contrast 21.00:1 — AA: PASS, AAA: PASS"));
    EXPECT_EQ(lines.mid(1, 25), OstrelContrast::standardPaletteLines());
}
