#include "SearchableHelpFilter.h"

#include <gtest/gtest.h>

using namespace ostrel;

namespace {

QStringList titles(const QList<HelpEntry>& entries)
{
    QStringList result;
    for (const HelpEntry& entry : entries) {
        result.append(entry.title());
    }
    return result;
}

// Caller order deliberately not alphabetical; one topic per searched field.
QList<HelpEntry> fixture()
{
    return {
        HelpEntry(QStringLiteral("Zebra stripes"), QStringLiteral("Shows overexposure."), QStringLiteral("View")),
        HelpEntry(QStringLiteral("Export"), QStringLiteral("Writes an OBJ file."), QStringLiteral("Files"),
                  QStringLiteral("Ctrl+E"), QStringLiteral("File menu")),
        HelpEntry(QStringLiteral("Alpha"), QStringLiteral("First letters"), QStringLiteral("Files"),
                  QStringLiteral(""), std::nullopt),
        HelpEntry(QStringLiteral("Grid"), QStringLiteral("Toggle"), QStringLiteral("view")),
        HelpEntry(QStringLiteral("Ruler"), QStringLiteral("Measure"), QStringLiteral("View"), std::nullopt,
                  QStringLiteral("Toolbar, right")),
    };
}

} // namespace

TEST(SearchableHelpFilter, SearchCoversEveryFieldCaseInsensitivelyAndKeepsCallerOrder)
{
    const QList<HelpEntry> entries = fixture();
    struct Case
    {
        const char* query;
        QStringList expected;
    };
    const Case cases[] = {
        {"", {"Zebra stripes", "Export", "Alpha", "Grid", "Ruler"}},
        {"ZEBRA", {"Zebra stripes"}},              // title, upper-case query
        {"obj file", {"Export"}},                  // body
        {"files", {"Export", "Alpha"}},            // section
        {"ctrl+e", {"Export"}},                    // shortcut only
        {"toolbar", {"Ruler"}},                    // location only
        {"VIEW", {"Zebra stripes", "Grid", "Ruler"}}, // sections of either case
        {" ", {"Zebra stripes", "Export", "Alpha", "Ruler"}}, // not trimmed: topics holding a space
        {"nothing like this", {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(titles(SearchableHelpFilter::filteredEntries(entries, QString::fromUtf8(c.query), std::nullopt)),
                  c.expected)
            << "query '" << c.query << "'";
    }
}

TEST(SearchableHelpFilter, SectionFilterIsExactAndCombinesWithSearch)
{
    const QList<HelpEntry> entries = fixture();
    EXPECT_EQ(titles(SearchableHelpFilter::filteredEntries(entries, QString(), QStringLiteral("View"))),
              (QStringList{"Zebra stripes", "Ruler"})); // "view" differs in case and is hidden
    EXPECT_EQ(titles(SearchableHelpFilter::filteredEntries(entries, QStringLiteral("e"), QStringLiteral("Files"))),
              (QStringList{"Export", "Alpha"}));
    EXPECT_EQ(titles(SearchableHelpFilter::filteredEntries(entries, QStringLiteral("measure"), QStringLiteral("Files"))),
              QStringList{});
    EXPECT_TRUE(SearchableHelpFilter::filteredEntries(entries, QString(), QStringLiteral("Nope")).isEmpty());
}

TEST(SearchableHelpFilter, EqualTopicsStaySeparateAndUnicodeLowercases)
{
    const HelpEntry a(QStringLiteral("Same"), QStringLiteral("Text"), QStringLiteral("S"));
    const HelpEntry b(QStringLiteral("Same"), QStringLiteral("Text"), QStringLiteral("S"));
    EXPECT_NE(a.id(), b.id());
    EXPECT_EQ(SearchableHelpFilter::filteredEntries({a, b}, QStringLiteral("same"), std::nullopt).size(), 2);

    const HelpEntry accented(QStringLiteral("ÉCLAIR Ünit"), QStringLiteral(""), QStringLiteral("S"));
    EXPECT_TRUE(accented.matches(QStringLiteral("éclair ü")));
    EXPECT_TRUE(accented.matches(QStringLiteral("ÉCLAIR")));
}
