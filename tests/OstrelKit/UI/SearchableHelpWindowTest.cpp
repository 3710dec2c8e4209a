#include "HangCeiling.h"
#include "SearchableHelpPill.h"
#include "SearchableHelpRow.h"
#include "SearchableHelpView.h"
#include "SearchableHelpWindow.h"

#include <QLabel>
#include <QLineEdit>
#include <QStackedWidget>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

using namespace ostrel;

namespace {

QList<HelpEntry> topics()
{
    return {
        HelpEntry(QStringLiteral("Drop a capture"), QStringLiteral("Drag the zip onto the circle."),
                  QStringLiteral("Capture")),
        HelpEntry(QStringLiteral("Units"), QStringLiteral("Millimetres by default."), QStringLiteral("Units"),
                  QStringLiteral("Ctrl+,"), QStringLiteral("Settings window")),
        HelpEntry(QStringLiteral("Twin"), QStringLiteral("Same text."), QStringLiteral("Capture"), QString(),
                  QString()),
        HelpEntry(QStringLiteral("Twin"), QStringLiteral("Same text."), QStringLiteral("Capture")),
    };
}

const QStringList kSections{QStringLiteral("Capture"), QStringLiteral("Units")};

QList<SearchableHelpRow*> rows(const QWidget* view)
{
    return view->findChildren<SearchableHelpRow*>(QStringLiteral("topicRow"));
}

QStringList rowTitles(const QWidget* view)
{
    QStringList titles;
    for (SearchableHelpRow* row : rows(view)) {
        titles.append(row->entry().title());
    }
    return titles;
}

SearchableHelpPill* pill(const QWidget* view, const QString& text)
{
    for (auto* p : view->findChildren<SearchableHelpPill*>(QStringLiteral("sectionPill"))) {
        if (p->text() == text) {
            return p;
        }
    }
    return nullptr;
}

int highlightedRows(const QWidget* view)
{
    int count = 0;
    for (SearchableHelpRow* row : rows(view)) {
        count += row->isHighlighted() ? 1 : 0;
    }
    return count;
}

} // namespace

TEST(SearchableHelpView, TypingAndPillsFilterTogetherInCallerOrder)
{
    SearchableHelpView view(topics(), kSections, HelpTheme::defaultTheme());
    view.show();
    EXPECT_EQ(rowTitles(&view), (QStringList{"Drop a capture", "Units", "Twin", "Twin"}));
    ASSERT_TRUE(pill(&view, QStringLiteral("ALL"))->isSelected());

    auto* field = view.findChild<QLineEdit*>(QStringLiteral("searchField"));
    ASSERT_NE(field, nullptr);
    QTest::keyClicks(field, QStringLiteral("SETTINGS")); // only in a location
    EXPECT_EQ(rowTitles(&view), QStringList{"Units"});
    field->clear();
    QTest::keyClicks(field, QStringLiteral("t"));

    QTest::mouseClick(pill(&view, QStringLiteral("Capture")), Qt::LeftButton);
    EXPECT_EQ(view.selectedSection(), QStringLiteral("Capture"));
    EXPECT_EQ(view.searchText(), QStringLiteral("t")); // the search is kept
    EXPECT_EQ(rowTitles(&view), (QStringList{"Drop a capture", "Twin", "Twin"}));
    EXPECT_TRUE(pill(&view, QStringLiteral("Capture"))->isSelected());
    EXPECT_FALSE(pill(&view, QStringLiteral("ALL"))->isSelected());

    QTest::mouseClick(pill(&view, QStringLiteral("Capture")), Qt::LeftButton); // no toggle
    EXPECT_EQ(view.selectedSection(), QStringLiteral("Capture"));

    QTest::mouseClick(pill(&view, QStringLiteral("ALL")), Qt::LeftButton);
    EXPECT_FALSE(view.selectedSection().has_value());
    EXPECT_EQ(rowTitles(&view), (QStringList{"Drop a capture", "Units", "Twin", "Twin"}));
}

TEST(SearchableHelpView, SelectionSurvivesFilteringAndHighlightsOneRow)
{
    SearchableHelpView view(topics(), kSections, HelpTheme::defaultTheme());
    view.show();
    auto* stack = view.findChild<QStackedWidget*>(QStringLiteral("helpDetail"));
    EXPECT_EQ(stack->currentWidget()->objectName(), QStringLiteral("emptySelection"));

    // Two identical topics: selecting one highlights that row only.
    QTest::mouseClick(rows(&view).at(2), Qt::LeftButton);
    EXPECT_EQ(highlightedRows(&view), 1);
    EXPECT_TRUE(rows(&view).at(2)->isHighlighted());
    // Empty shortcut and location show no rows.
    EXPECT_TRUE(view.findChild<QWidget*>(QStringLiteral("shortcutRow"))->isHidden());
    EXPECT_TRUE(view.findChild<QWidget*>(QStringLiteral("locationRow"))->isHidden());

    QTest::mouseClick(rows(&view).at(1), Qt::LeftButton);
    EXPECT_EQ(view.findChild<QLabel*>(QStringLiteral("detailTitle"))->text(), QStringLiteral("Units"));
    EXPECT_EQ(view.findChild<QLabel*>(QStringLiteral("shortcutChip"))->text(), QStringLiteral("Ctrl+,"));
    EXPECT_FALSE(view.findChild<QWidget*>(QStringLiteral("shortcutRow"))->isHidden());
    EXPECT_EQ(view.findChild<QLabel*>(QStringLiteral("locationValue"))->text(), QStringLiteral("Settings window"));

    // A filter that hides the selected topic keeps it in the detail pane with no row highlighted.
    view.setSearchText(QStringLiteral("zip"));
    EXPECT_EQ(rowTitles(&view), QStringList{"Drop a capture"});
    EXPECT_EQ(highlightedRows(&view), 0);
    EXPECT_EQ(view.findChild<QLabel*>(QStringLiteral("detailTitle"))->text(), QStringLiteral("Units"));
    view.setSearchText(QString());
    EXPECT_EQ(highlightedRows(&view), 1);
    EXPECT_TRUE(rows(&view).at(1)->isHighlighted());
}

TEST(SearchableHelpView, EmptyInputsShowTheAllPillAndThePrompt)
{
    SearchableHelpView view({}, {}, HelpTheme::defaultTheme());
    view.show();
    EXPECT_TRUE(rows(&view).isEmpty());
    EXPECT_EQ(view.findChildren<SearchableHelpPill*>(QStringLiteral("sectionPill")).size(), 1);
    EXPECT_EQ(view.findChild<QLabel*>(QStringLiteral("emptySelection"))->text(), QStringLiteral("select an entry"));
    EXPECT_GE(view.minimumWidth(), 600);
    EXPECT_GE(view.minimumHeight(), 450);
}

TEST(SearchableHelpView, MouseWheelScrollsAnOverflowingPillStrip)
{
    QStringList sections;
    for (int i = 0; i < 12; ++i) {
        sections.append(QStringLiteral("Section number %1").arg(i));
    }
    SearchableHelpView view({}, sections, HelpTheme::defaultTheme());
    view.resize(650, 500);
    view.show();
    auto* strip = pill(&view, QStringLiteral("ALL"))->parentWidget()->parentWidget(); // the strip's viewport
    auto* last = pill(&view, sections.last());
    const int before = last->mapTo(strip, QPoint(0, 0)).x();
    ASSERT_GT(before, strip->width()); // the last pill starts out of sight

    // A plain mouse wheel (vertical notches only) moves the strip sideways.
    const QPointF at(10, 5);
    QWheelEvent wheel(at, strip->mapToGlobal(at), QPoint(), QPoint(0, -120 * 10), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(strip, &wheel);
    EXPECT_LT(last->mapTo(strip, QPoint(0, 0)).x(), before);
}

TEST(SearchableHelpWindow, VisibleWindowIsRaisedAndAClosedOneIsReplaced)
{
    EXPECT_EQ(SearchableHelpWindow::window(), nullptr);
    SearchableHelpWindow::open(QStringLiteral("First Help"), topics(), kSections, HelpTheme::defaultTheme());
    QWidget* first = SearchableHelpWindow::window();
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->isVisible());
    EXPECT_EQ(first->windowTitle(), QStringLiteral("First Help"));
    EXPECT_EQ(first->size(), QSize(650, 500));
    EXPECT_TRUE(first->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    auto* view = first->findChild<SearchableHelpView*>();
    view->setSearchText(QStringLiteral("units"));

    SearchableHelpWindow::open(QStringLiteral("Second Help"), {}, {}, HelpTheme::defaultTheme());
    EXPECT_EQ(SearchableHelpWindow::window(), first);
    EXPECT_EQ(first->windowTitle(), QStringLiteral("First Help"));
    EXPECT_EQ(view->searchText(), QStringLiteral("units"));

    // Minimised but still open: the same window comes back with its state.
    first->showMinimized();
    SearchableHelpWindow::open(QStringLiteral("Second Help"), {}, {}, HelpTheme::defaultTheme());
    EXPECT_EQ(SearchableHelpWindow::window(), first);
    EXPECT_FALSE(first->isMinimized());
    EXPECT_EQ(view->searchText(), QStringLiteral("units"));

    first->close();
    EXPECT_FALSE(first->isVisible());
    SearchableHelpWindow::open(QStringLiteral("Second Help"), {topics().first()}, {}, HelpTheme::defaultTheme());
    QWidget* second = SearchableHelpWindow::window();
    ASSERT_NE(second, first);
    EXPECT_EQ(second->windowTitle(), QStringLiteral("Second Help"));
    auto* fresh = second->findChild<SearchableHelpView*>();
    EXPECT_TRUE(fresh->searchText().isEmpty());
    EXPECT_FALSE(fresh->selectedEntry().has_value());
    EXPECT_EQ(rowTitles(fresh), QStringList{"Drop a capture"});
}

TEST(SearchableHelpWindow, EscapeAndCtrlWCloseIt)
{
    for (const auto& [key, modifiers] : {std::pair{Qt::Key_Escape, Qt::KeyboardModifiers(Qt::NoModifier)},
                                         std::pair{Qt::Key_W, Qt::KeyboardModifiers(Qt::ControlModifier)}}) {
        SearchableHelpWindow::open(QStringLiteral("Help"), topics(), kSections, HelpTheme::defaultTheme());
        QWidget* window = SearchableHelpWindow::window();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window, tovarine::test::kHangCeilingMs));
        // From the search field, where the focus is while the user types.
        QWidget* focus = window->focusWidget() ? window->focusWidget() : window;
        QTest::keyClick(focus, key, modifiers);
        EXPECT_FALSE(window->isVisible()) << QKeySequence(key | modifiers).toString().toStdString();
    }
}
