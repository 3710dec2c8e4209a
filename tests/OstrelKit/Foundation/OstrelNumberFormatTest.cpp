#include "OstrelNumberFormat.h"

#include <QLocale>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <tuple>

using ostrel::OstrelNumberFormat::fixed;

// Written as C's "%.Nf" writes them: exact ties go to the even digit, everything else to the nearer one,
// whatever the user's locale.
TEST(OstrelNumberFormat, FixedWritesLikeCsPrintf)
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const std::tuple<double, int, const char*> cases[] = {
        {2.25, 1, "2.2"},
        {6.25, 1, "6.2"},
        {0.25, 1, "0.2"},
        {2.35, 1, "2.4"},
        {1.625, 2, "1.62"},
        {1.875, 2, "1.88"},
        {0.125, 2, "0.12"},
        {0.375, 2, "0.38"},
        {12.5, 0, "12"},
        {13.5, 0, "14"},
        {9.999, 1, "10.0"},
        {2.0, 2, "2.00"},
        {-0.04, 1, "-0.0"},
        {-2.25, 1, "-2.2"},
        {1234567.0, 1, "1234567.0"},
        {1e20, 0, "100000000000000000000"},
        {0.5, -3, "0"},
    };
    for (const auto& [value, decimals, text] : cases) {
        EXPECT_EQ(fixed(value, decimals), QString::fromLatin1(text)) << value << " " << decimals;
    }
    QLocale::setDefault(QLocale::c());
}

TEST(OstrelNumberFormat, ExtremesAndNonFiniteValues)
{
    EXPECT_EQ(fixed(std::numeric_limits<double>::infinity(), 1), QStringLiteral("inf"));
    EXPECT_EQ(fixed(-std::numeric_limits<double>::infinity(), 1), QStringLiteral("-inf"));
    EXPECT_EQ(fixed(std::nan(""), 2), QStringLiteral("nan"));
    // The largest double, with many decimals, still fits.
    const QString largest = fixed(std::numeric_limits<double>::max(), 20);
    EXPECT_EQ(largest.indexOf(QLatin1Char('.')), 309);
    EXPECT_EQ(largest.size(), 330);
    EXPECT_EQ(fixed(std::numeric_limits<double>::denorm_min(), 2), QStringLiteral("0.00"));
}
