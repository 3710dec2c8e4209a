#include "OstrelTerms.h"

#include <gtest/gtest.h>

using namespace ostrel;

namespace {

QStringList titles(const QList<TermsSection>& sections)
{
    QStringList result;
    for (const TermsSection& s : sections) {
        result.append(s.title);
    }
    return result;
}

} // namespace

TEST(OstrelTerms, OptionalSectionsFollowTheThreeFixedOnes)
{
    EXPECT_EQ(titles(OstrelTerms::sections(false, false)), (QStringList{"License", "Restrictions", "Trademarks"}));
    EXPECT_EQ(titles(OstrelTerms::sections(true, false)),
              (QStringList{"License", "Restrictions", "Trademarks", "Fair Use"}));
    EXPECT_EQ(titles(OstrelTerms::sections(false, true)),
              (QStringList{"License", "Restrictions", "Trademarks", "Privacy"}));
    const auto all = OstrelTerms::sections(true, true);
    EXPECT_EQ(titles(all), (QStringList{"License", "Restrictions", "Trademarks", "Fair Use", "Privacy"}));
    EXPECT_EQ(all.at(3).content, OstrelTerms::fairUse());
    for (const TermsSection& s : all) {
        EXPECT_FALSE(s.content.isEmpty());
        EXPECT_FALSE(s.content.contains(u'\n')) << "each text is one paragraph";
    }
    EXPECT_TRUE(OstrelTerms::trademarks().contains(OstrelTerms::makerWebName()));
    EXPECT_TRUE(OstrelTerms::copyright().contains(OstrelTerms::makerWebName()));
}
