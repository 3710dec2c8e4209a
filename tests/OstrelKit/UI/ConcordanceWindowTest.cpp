#include "ConcordancePanel.h"
#include "ConcordanceSectionHeader.h"
#include "ConcordanceView.h"
#include "HangCeiling.h"
#include "OstrelMotionPreference.h"

#include <QLabel>
#include <QScopeGuard>
#include <QTest>

#include <gtest/gtest.h>

using namespace ostrel;

namespace {

ConcordanceConfiguration config(const QString& appName, QList<ConcordanceSection> sections)
{
    ConcordanceConfiguration c;
    c.appName = appName;
    c.version = QStringLiteral("v2");
    c.backgroundColor = Qt::black;
    c.sections = std::move(sections);
    return c;
}

ConcordanceEntry entry()
{
    return ConcordanceEntry(QStringLiteral("term"), QStringLiteral("detail"));
}

ConcordanceSectionHeader* header(const QWidget* view, int index)
{
    return view->findChildren<ConcordanceSectionHeader*>(QStringLiteral("sectionHeader")).value(index);
}

QWidget* entriesOf(const QWidget* view, int index)
{
    return view->findChildren<QWidget*>(QStringLiteral("sectionEntries")).value(index);
}

} // namespace

TEST(ConcordanceView, FirstSectionOpensOnAppearingAndHeadersToggle)
{
    ConcordanceView view(config(QStringLiteral("app"), {{QStringLiteral("One"), {entry(), entry()}},
                                                        {QStringLiteral("Two"), {entry()}},
                                                        {QStringLiteral("Empty"), {}}}));
    EXPECT_TRUE(view.expandedSections().isEmpty());
    view.show();
    EXPECT_EQ(view.expandedSections(), QSet<QString>{QStringLiteral("One")});
    EXPECT_TRUE(entriesOf(&view, 0)->isVisible());
    EXPECT_FALSE(entriesOf(&view, 1)->isVisible());
    EXPECT_EQ(view.findChild<QLabel*>(QStringLiteral("countLine"))->text(),
              QStringLiteral("app v2  \u00B7  3 sections  \u00B7  3 entries"));
    EXPECT_EQ(header(&view, 0)->toolTip(), QStringLiteral("Click to collapse One"));
    EXPECT_EQ(header(&view, 1)->toolTip(), QStringLiteral("Click to expand Two"));
    EXPECT_EQ(view.findChildren<QWidget*>(QStringLiteral("sectionRule")).size(), 2);

    QTest::mouseClick(header(&view, 1), Qt::LeftButton);
    EXPECT_TRUE(view.isExpanded(QStringLiteral("Two")));
    EXPECT_TRUE(view.isExpanded(QStringLiteral("One"))); // several may be open
    QTest::mouseClick(header(&view, 0), Qt::LeftButton);
    EXPECT_FALSE(view.isExpanded(QStringLiteral("One")));
    QTRY_VERIFY_WITH_TIMEOUT(!entriesOf(&view, 0)->isVisible(),
                             tovarine::test::kHangCeilingMs); // after the fold
    EXPECT_TRUE(header(&view, 0)->toolTip().startsWith(QStringLiteral("Click to expand")));

    // An empty section opens with no entry rows.
    QTest::mouseClick(header(&view, 2), Qt::LeftButton);
    EXPECT_TRUE(entriesOf(&view, 2)->findChildren<QLabel*>().isEmpty());

    // A second appearance does not reopen the first section.
    view.hide();
    view.show();
    EXPECT_FALSE(view.isExpanded(QStringLiteral("One")));
}

TEST(ConcordanceView, EdgeShapesOfTheContent)
{
    ConcordanceView none(config(QStringLiteral("app"), {}));
    none.show();
    EXPECT_TRUE(none.expandedSections().isEmpty());
    EXPECT_EQ(none.findChild<QLabel*>(QStringLiteral("countLine"))->text(),
              QStringLiteral("app v2  \u00B7  0 sections  \u00B7  0 entries"));

    ConcordanceView one(config(QStringLiteral("app"), {{QStringLiteral("Only"), {entry()}}}));
    one.show();
    EXPECT_TRUE(one.isExpanded(QStringLiteral("Only")));
    EXPECT_TRUE(one.findChildren<QWidget*>(QStringLiteral("sectionRule")).isEmpty());

    // Sections that share a title open and shut together.
    ConcordanceView twins(config(QStringLiteral("app"), {{QStringLiteral("Same"), {entry()}},
                                                         {QStringLiteral("Same"), {entry()}}}));
    twins.show();
    EXPECT_TRUE(entriesOf(&twins, 0)->isVisible());
    EXPECT_TRUE(entriesOf(&twins, 1)->isVisible());
    QTest::mouseClick(header(&twins, 1), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!entriesOf(&twins, 0)->isVisible(), tovarine::test::kHangCeilingMs);
    EXPECT_FALSE(entriesOf(&twins, 1)->isVisible());
}

TEST(ConcordanceView, FoldsAnimateUnlessReduceMotionIsOn)
{
    OstrelMotionPreference& motion = OstrelMotionPreference::shared();
    const bool before = motion.reduceMotion();
    const auto restore = qScopeGuard([&] { motion.accessibilityChanged(before); });

    ConcordanceView view(config(QStringLiteral("app"), {{QStringLiteral("A"), {entry(), entry()}},
                                                        {QStringLiteral("B"), {entry(), entry(), entry()}}}));
    view.resize(500, 600);
    view.show();
    motion.accessibilityChanged(false);
    QTest::mouseClick(header(&view, 1), Qt::LeftButton);
    QWidget* b = entriesOf(&view, 1);
    EXPECT_TRUE(b->isVisible());
    EXPECT_LT(b->maximumHeight(), QWIDGETSIZE_MAX); // still unfolding
    QTRY_COMPARE_WITH_TIMEOUT(b->maximumHeight(), QWIDGETSIZE_MAX, tovarine::test::kHangCeilingMs);
    QTRY_VERIFY_WITH_TIMEOUT(b->height() > 40, tovarine::test::kHangCeilingMs);

    motion.accessibilityChanged(true);
    QTest::mouseClick(header(&view, 1), Qt::LeftButton);
    EXPECT_FALSE(b->isVisible()); // at once
    QTest::mouseClick(header(&view, 1), Qt::LeftButton);
    EXPECT_TRUE(b->isVisible());
    EXPECT_EQ(b->maximumHeight(), QWIDGETSIZE_MAX);
}

TEST(ConcordancePanel, OnePanelKeepsItsContentAndFoldState)
{
    EXPECT_EQ(ConcordancePanel::window(), nullptr);
    ConcordancePanel::show(config(QStringLiteral("first"), {{QStringLiteral("A"), {entry()}},
                                                            {QStringLiteral("B"), {entry()}}}));
    QWidget* panel = ConcordancePanel::window();
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->windowTitle(), QStringLiteral("first Concordance"));
    EXPECT_EQ(panel->size(), QSize(580, 640));
    EXPECT_EQ(panel->minimumSize(), QSize(480, 400));
    EXPECT_TRUE(panel->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    auto* view = panel->findChild<ConcordanceView*>();
    view->toggle(QStringLiteral("B"));

    ConcordancePanel::show(config(QStringLiteral("second"), {}));
    EXPECT_EQ(ConcordancePanel::window(), panel);
    EXPECT_EQ(panel->windowTitle(), QStringLiteral("first Concordance"));

    panel->close();
    ConcordancePanel::show(config(QStringLiteral("second"), {}));
    EXPECT_EQ(ConcordancePanel::window(), panel);
    EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(view->expandedSections(), (QSet<QString>{QStringLiteral("A"), QStringLiteral("B")}));

    panel->showMinimized();
    ConcordancePanel::show(config(QStringLiteral("second"), {}));
    EXPECT_EQ(ConcordancePanel::window(), panel);
    EXPECT_FALSE(panel->isMinimized());

    panel->resize(300, 200); // below the minimum is refused
    EXPECT_GE(panel->width(), 480);
    EXPECT_GE(panel->height(), 400);
}
