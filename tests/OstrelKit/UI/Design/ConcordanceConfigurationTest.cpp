#include "ConcordanceConfiguration.h"

#include <gtest/gtest.h>

using namespace ostrel;

namespace {

ConcordanceConfiguration config(QList<ConcordanceSection> sections)
{
    ConcordanceConfiguration c;
    c.appName = QStringLiteral("app");
    c.version = QStringLiteral("v1");
    c.sections = std::move(sections);
    return c;
}

} // namespace

TEST(ConcordanceConfiguration, CountLineCountsSectionsAndEntriesAndStaysPlural)
{
    EXPECT_EQ(config({}).countLine(), QStringLiteral("app v1  \u00B7  0 sections  \u00B7  0 entries"));
    EXPECT_EQ(config({{QStringLiteral("One"), {ConcordanceEntry(QStringLiteral("t"), QStringLiteral("d"))}}})
                  .countLine(),
              QStringLiteral("app v1  \u00B7  1 sections  \u00B7  1 entries"));
    const ConcordanceEntry e(QStringLiteral("t"), QStringLiteral("d"));
    EXPECT_EQ(config({{QStringLiteral("A"), {e, e, e}}, {QStringLiteral("Empty"), {}}, {QStringLiteral("B"), {e}}})
                  .countLine(),
              QStringLiteral("app v1  \u00B7  3 sections  \u00B7  4 entries"));
}

TEST(ConcordanceConfiguration, FirstSectionIsInitiallyExpanded)
{
    EXPECT_FALSE(config({}).initiallyExpanded().has_value());
    EXPECT_EQ(config({{QStringLiteral("First"), {}}, {QStringLiteral("Second"), {}}}).initiallyExpanded(),
              QStringLiteral("First"));
}

TEST(ConcordanceConfiguration, EntriesGetFreshIdentifiers)
{
    const ConcordanceEntry a(QStringLiteral("t"), QStringLiteral("d"));
    const ConcordanceEntry b(QStringLiteral("t"), QStringLiteral("d"));
    EXPECT_NE(a.id(), b.id());
    EXPECT_FALSE(a.id().isNull());
}
