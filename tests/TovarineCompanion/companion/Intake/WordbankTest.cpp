#include "Wordbank.h"

#include "QStringPrinter.h"

#include <gtest/gtest.h>

namespace tovarine {
namespace {

TEST(Wordbank, NameIndexesAdjectiveByValueAndNounByValueDiv31)
{
    const struct
    {
        qint64 value;
        const char* name;
    } cases[] = {
        {0, "quiet-teacup"},     {1, "bronze-teacup"},        {31, "amber-pebble"},
        {42, "quiet-pebble"},    {1302, "quiet-teacup"},      {-5, "sunlit-teacup"},
        {41, "thistle-pebble"},  {31 * 31, "evening-handle"}, {31 * 36, "slate-handle"},
        {31 * 41, "paper-leaf"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Wordbank::name(c.value), QString::fromUtf8(c.name)) << c.value;
    }
    // The magnitude of the most negative value does not overflow.
    EXPECT_FALSE(Wordbank::name(std::numeric_limits<qint64>::min()).isEmpty());
}

TEST(Wordbank, SeedIsFnv1aOfUtf8MaskedTo31Bits)
{
    EXPECT_EQ(Wordbank::seed(QString()), 0x04222325);
    EXPECT_EQ(Wordbank::seed(QStringLiteral("abc")), 88168267);
    EXPECT_EQ(Wordbank::name(Wordbank::seed(QStringLiteral("abc"))), QStringLiteral("patinaed-box"));
    // Non-ASCII text hashes its UTF-8 bytes and stays non-negative.
    const qint64 accented = Wordbank::seed(QStringLiteral("caf\u00e9"));
    EXPECT_GE(accented, 0);
    EXPECT_LE(accented, 0x7fffffff);
    EXPECT_NE(accented, Wordbank::seed(QStringLiteral("cafe")));
}

TEST(Wordbank, LooksLikeIdentifier)
{
    const struct
    {
        const char* text;
        bool identifier;
    } cases[] = {
        {"", false},
        {"0", true},
        {"20240611", true},
        {"\u0661\u0662\u0663", true}, // Arabic-Indic digits are numeric
        {"\u00bd", true},             // vulgar fraction: numeric
        {"\u4e09", true},             // numeral ideographs carry a numeric value although they are letters
        {"\u4e00\u4e8c\u4e07", true},
        {"\u5c71", false}, // an ideograph that is no numeral
        {"1\u20e3", true}, // keycap one: one character whose first code point is a digit
        {"12a", false},
        {"6F9619FF-8B86-D011-B42D-00C04FC964FF", true},
        {"6f9619ff-8b86-d011-b42d-00c04fc964ff", true},
        {"6f9619ff8b86d011b42d00c04fc964ff", true}, // 32 hex digits, no hyphens
        {"6f9619ff-8b86-d011-b42d-00c04fc964fg", false},
        {"deadbeefdeadbeefdeadbeef", true},
        {"deadbeefdeadbeefdead", false},                                // exactly 20: not more than 20
        {"deadbeef deadbeefdeadbeef", false},                           // space
        {"deadbeef_deadbeefdeadbeef", false},                           // underscore
        {"\uff21\uff22\uff23\uff10\uff11\uff12deadbeefdeadbeef", true}, // fullwidth hex digits
        {"my capture of a teacup on a table", false},
        {"teacup", false},
        {"Images", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Wordbank::looksLikeIdentifier(QString::fromUtf8(c.text)), c.identifier) << c.text;
    }
}

} // namespace
} // namespace tovarine
