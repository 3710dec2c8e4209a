#include "OstrelTermsPanel.h"
#include "OstrelTermsView.h"

#include <QLabel>

#include <gtest/gtest.h>

using namespace ostrel;

namespace {

QStringList shownTitles(const QWidget* view)
{
    QStringList titles;
    for (auto* label : view->findChildren<QLabel*>(QStringLiteral("sectionTitle"))) {
        titles.append(label->text());
    }
    return titles;
}

} // namespace

TEST(OstrelTermsView, ShowsSectionsInOrderWithUpperCaseTitles)
{
    QList<TermsSection> sections = OstrelTerms::sections(true, true);
    sections.append({QStringLiteral("extra one"), QStringLiteral("first extra")});
    sections.append({QStringLiteral("Extra Two"), QStringLiteral("second extra")});
    OstrelTermsView view(QStringLiteral("app"), sections);
    EXPECT_EQ(shownTitles(&view), (QStringList{"LICENSE", "RESTRICTIONS", "TRADEMARKS", "FAIR USE", "PRIVACY",
                                               "EXTRA ONE", "EXTRA TWO"}));

    OstrelTermsView empty(QStringLiteral("app"), {});
    EXPECT_TRUE(shownTitles(&empty).isEmpty());
    EXPECT_EQ(empty.findChild<QLabel*>(QStringLiteral("footerNotice"))->text(), OstrelTerms::copyright());
    EXPECT_NE(empty.findChild<QLabel*>(QStringLiteral("titleHead")), nullptr);
}

TEST(OstrelTermsPanel, OneWindowKeepsItsFirstTitleAndSections)
{
    EXPECT_EQ(OstrelTermsPanel::window(), nullptr);
    OstrelTermsPanel::show(QStringLiteral("tovarine"), false, false, {});
    QWidget* window = OstrelTermsPanel::window();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("tovarine \u2014 Terms"));
    EXPECT_EQ(window->size(), QSize(480, 520));
    EXPECT_EQ(window->minimumSize(), QSize(400, 300));
    EXPECT_EQ(shownTitles(window), (QStringList{"LICENSE", "RESTRICTIONS", "TRADEMARKS"}));

    OstrelTermsPanel::show(QStringLiteral("other"), true, true, {{QStringLiteral("x"), QStringLiteral("y")}});
    EXPECT_EQ(OstrelTermsPanel::window(), window);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("tovarine \u2014 Terms"));
    EXPECT_EQ(shownTitles(window).size(), 3);

    window->close();
    OstrelTermsPanel::show(QStringLiteral("other"), true, true, {});
    EXPECT_EQ(OstrelTermsPanel::window(), window);
    EXPECT_TRUE(window->isVisible());

    // A minimised window is brought back to the screen, not left in the task bar.
    window->showMinimized();
    OstrelTermsPanel::show(QStringLiteral("other"), true, true, {});
    EXPECT_FALSE(window->isMinimized());
    EXPECT_TRUE(window->isVisible());
}
