#include "OstrelWindowGeometry.h"

#include <gtest/gtest.h>

using namespace ostrel;

TEST(WindowGeometryPresets, NamesRatiosShortcutsAndSides)
{
    QStringList labels, ids, keys;
    for (AspectRatioPreset p : AspectRatioPresets::all()) {
        labels << AspectRatioPresets::label(p);
        ids << AspectRatioPresets::id(p);
        keys << AspectRatioPresets::shortcut(p);
        EXPECT_EQ(AspectRatioPresets::fromId(AspectRatioPresets::id(p)), p);
    }
    EXPECT_EQ(labels, (QStringList{"1:1 — Square", "3:4 — Portrait", "4:3 — Landscape", "9:16 — Tall",
                                   "16:9 — Wide", "Free"}));
    EXPECT_EQ(ids, (QStringList{"1:1", "3:4", "4:3", "9:16", "16:9", "Free"}));
    EXPECT_EQ(keys, (QStringList{"1", "2", "3", "4", "5", "0"}));
    EXPECT_FALSE(AspectRatioPresets::fromId(QStringLiteral("2:1")).has_value());
    EXPECT_FALSE(AspectRatioPresets::fromId(QStringLiteral("free")).has_value());
    EXPECT_FALSE(AspectRatioPresets::ratio(AspectRatioPreset::free).has_value());
    EXPECT_EQ(AspectRatioPresets::ratio(AspectRatioPreset::tall), (std::pair{9.0, 16.0}));

    QStringList sizes;
    for (WindowPreset p : WindowPresets::all()) {
        sizes << WindowPresets::rawValue(p) + QLatin1Char('=') + WindowPresets::label(p);
    }
    EXPECT_EQ(sizes, (QStringList{"compact=512 × 512", "standard=800 × 800", "large=1080 × 1080",
                                  "retina=1440 × 1440"}));
}

TEST(WindowGeometryFrames, KeepTheCentreAndNeverClamp)
{
    const QRectF frame(100, 100, 800, 600);
    EXPECT_EQ(OstrelWindowFrames::aspect(frame, 16, 9), QRectF(100, 175, 800, 450));
    const QRectF tall = OstrelWindowFrames::aspect(frame, 9, 16);
    EXPECT_NEAR(tall.height(), 1422.222, 1e-3);
    EXPECT_NEAR(tall.y(), -311.111, 1e-3);
    EXPECT_EQ(OstrelWindowFrames::sized(frame, 800), QRectF(100, 0, 800, 800));
    // Square keeps the left edge, the width and the vertical centre, as every aspect change does.
    EXPECT_EQ(OstrelWindowFrames::square(frame), QRectF(100, 0, 800, 800));
}
