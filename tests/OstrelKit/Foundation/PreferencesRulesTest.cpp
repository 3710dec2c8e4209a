#include "OstrelPreferences.h"
#include "OstrelValueFormat.h"
#include "PrefsKey.h"
#include "UserDefaults.h"

#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace ostrel;

TEST(OstrelPreferences, IntensityCaptionsAtAndAroundEachBoundary)
{
    const std::pair<double, const char*> rows[] = {
        {0.0, "NotLickable"}, {-0.2, "Barely Damp"},    {0.25, "Barely Damp"},   {0.26, "Dewy"},
        {0.5, "Dewy"},        {0.51, "Glossy"},         {0.75, "Glossy"},        {0.76, "Lickable"},
        {0.98, "Lickable"},   {0.99, "LustLickable ✦"}, {1.0, "LustLickable ✦"},
    };
    for (const auto& [x, caption] : rows) {
        EXPECT_EQ(OstrelPreferences::lickableLabel(x), QString::fromUtf8(caption)) << x;
    }
}

TEST(OstrelPreferences, SwatchesOutlineNeighboursWithinTheirReach)
{
    const auto outlined = [](double x) {
        QList<double> on;
        for (double v : OstrelPreferences::kSwatchValues) {
            if (OstrelPreferences::swatchOutlined(v, x)) {
                on << v;
            }
        }
        return on;
    };
    EXPECT_EQ(outlined(0.0), QList<double>{0.0});
    EXPECT_EQ(outlined(0.125), (QList<double>{0.0, 0.25}));
    EXPECT_EQ(outlined(0.13), QList<double>{0.25});
    EXPECT_EQ(outlined(0.875), (QList<double>{0.75, 1.0}));
    for (double x = 0.0; x <= 1.0; x += 0.01) {
        EXPECT_FALSE(outlined(x).isEmpty()) << x;
    }
}

TEST(OstrelPreferences, ValueTexts)
{
    EXPECT_EQ(OstrelPreferences::sidebarWidthText(340.0), QStringLiteral("340pt"));
    EXPECT_EQ(OstrelPreferences::sidebarWidthText(299.9), QStringLiteral("299pt"));
    EXPECT_EQ(OstrelPreferences::sidebarWidthText(-0.5), QStringLiteral("0pt"));
    EXPECT_EQ(OstrelPreferences::scaleText(1.0), QStringLiteral("1.0"));
    EXPECT_EQ(OstrelPreferences::scaleText(0.75),
              QStringLiteral("0.8")); // an exact tie goes to the even digit
}

TEST(OstrelPreferences, ResetWritesTheSixDefaultsInOrderAndLeavesOtherKeys)
{
    QTemporaryDir dir;
    UserDefaults store(dir.filePath(QStringLiteral("prefs.ini")));
    store.setValue(PrefsKey::iconScale, 1.7);
    store.setValue(QStringLiteral("app.own"), QStringLiteral("kept"));
    store.setValue(PrefsKey::lickableIntensity, 0.4);
    store.setValue(PrefsKey::reducedMotion, true);
    QSignalSpy spy(&store, &UserDefaults::changed);
    OstrelPreferences::resetAll(store);
    QStringList written;
    for (const auto& call : spy) {
        written << call.at(0).toString();
    }
    EXPECT_EQ(written, (QStringList{PrefsKey::lickableIntensity, PrefsKey::vorraLick, PrefsKey::sidebarWidth,
                                    PrefsKey::uiScale, PrefsKey::labelScale, PrefsKey::reducedMotion}));
    EXPECT_EQ(store.real(PrefsKey::sidebarWidth, 0), 340.0);
    EXPECT_EQ(store.real(PrefsKey::uiScale, 0), 1.0);
    EXPECT_FALSE(store.boolean(PrefsKey::vorraLick, true));
    EXPECT_EQ(store.real(PrefsKey::iconScale, 0), 1.7);
    EXPECT_EQ(store.string(QStringLiteral("app.own"), {}), QStringLiteral("kept"));
}

TEST(OstrelValueFormat, OnlyOneFloatingConversionIsAccepted)
{
    for (const char* good : {"%.2f", "%5.1f pt", "%g", "%+.3e", "%.0f%%"}) {
        EXPECT_FALSE(OstrelValueFormat::problem(QString::fromLatin1(good)).has_value()) << good;
    }
    for (const char* bad :
         {"", "%%", "%d", "%s", "%.2f %.2f", "%*f", "%ld", "%n", "%", "%0838947372f", "%.65f", "%\u0663f"}) {
        const auto why = OstrelValueFormat::problem(QString::fromUtf8(bad));
        ASSERT_TRUE(why.has_value()) << bad;
        EXPECT_TRUE(why->contains(QString::fromUtf8(bad))) << bad;
        EXPECT_FALSE(OstrelValueFormat::format(QString::fromUtf8(bad), 1.0).has_value());
    }
    EXPECT_EQ(OstrelValueFormat::format(QStringLiteral("%.2f"), 1.625), QStringLiteral("1.62"));
    EXPECT_EQ(OstrelValueFormat::format(QStringLiteral("%.0f%%"), 42.0), QStringLiteral("42%"));
    EXPECT_EQ(OstrelValueFormat::format(QStringLiteral("%64.1f"), 1.0)->size(), 64);
}
