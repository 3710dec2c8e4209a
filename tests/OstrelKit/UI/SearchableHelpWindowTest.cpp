#include "SearchableHelpWindow.h"

#include "HangCeiling.h"
#include "SearchableHelpPill.h"
#include "SearchableHelpRow.h"
#include "SearchableHelpView.h"

#include <QLabel>
#include <QLineEdit>
#include <QSplitter>
#include <QStackedWidget>
#include <QTest>
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
    EXPECT_EQ(view.findChild<QLabel*>(QStringLiteral("locationValue"))->text(),
              QStringLiteral("Settings window"));

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
    EXPECT_EQ(view.findChild<QLabel*>(QStringLiteral("emptySelection"))->text(),
              QStringLiteral("select an entry"));
    EXPECT_GE(view.minimumWidth(), 600);
    EXPECT_GE(view.minimumHeight(), 450);
}

// Every section pill shows whole, however many sections there are and however narrow the left column is
// made: none is cut at the column's edge or left out of sight.
TEST(SearchableHelpView, EveryPillShowsWholeAtAnyColumnWidth)
{
    QStringList sections{QStringLiteral("Getting started"), QStringLiteral("Reconstruction"),
                         QStringLiteral("Units + orientation"), QStringLiteral("Files + sharing")};
    for (int i = 0; i < 12; ++i) {
        sections.append(QStringLiteral("Section number %1").arg(i));
    }
    SearchableHelpView view(topics(), sections, HelpTheme::defaultTheme());
    view.resize(650, 500);
    view.show();
    auto* split = view.findChild<QSplitter*>(QStringLiteral("helpSplit"));
    auto* list = view.findChild<QWidget*>(QStringLiteral("topicList"));
    for (const int leftWidth : {280, 240, 200}) {
        split->setSizes({leftWidth, 650 - leftWidth});
        QCoreApplication::processEvents();
        SCOPED_TRACE(view.findChild<QWidget*>(QStringLiteral("helpLeftColumn"))->width());
        const auto pills = view.findChildren<SearchableHelpPill*>(QStringLiteral("sectionPill"));
        ASSERT_EQ(pills.size(), 1 + sections.size());
        for (SearchableHelpPill* each : pills) {
            EXPECT_TRUE(each->isVisible()) << each->text().toStdString();
            EXPECT_EQ(each->visibleRegion(), QRegion(each->rect())) << each->text().toStdString();
        }
        // The topic list keeps room under the pills.
        EXPECT_GT(list->height(), 100);
    }
}

// A section name wider than the column the pills can have (58 characters, about 300 px at the pills' size,
// where the column is at most 280 px) wraps inside its pill, at every window size and column width: no pill
// is cut, each has the height its lines need, and the topic list keeps its room. Over a topic of that
// section, the detail pane's section line wraps too.
TEST(SearchableHelpView, ASectionNameWiderThanTheColumnWraps)
{
    const QString wide = QStringLiteral("Photogrammetry settings for captures of shiny, dark things");
    const QStringList sections{QStringLiteral("Capture"), wide, QStringLiteral("Units")};
    const HelpEntry shiny(QStringLiteral("Shiny things"), QStringLiteral("Dull them first."), wide);
    SearchableHelpView view(topics() << shiny, sections, HelpTheme::defaultTheme());
    view.show();
    view.selectEntry(shiny);
    auto* detailSection = view.findChild<QLabel*>(QStringLiteral("detailSection"));
    ASSERT_GT(pill(&view, wide)->sizeHint().width(), 280);
    auto* split = view.findChild<QSplitter*>(QStringLiteral("helpSplit"));
    auto* column = view.findChild<QWidget*>(QStringLiteral("helpLeftColumn"));
    auto* list = view.findChild<QWidget*>(QStringLiteral("topicList"));
    const QSize windowSizes[] = {{600, 450}, {650, 500}, {900, 650}, {1400, 1000}};
    for (const QSize& size : windowSizes) {
        view.resize(size);
        QCoreApplication::processEvents();
        for (const int leftWidth : {0, 200, 280}) {
            if (leftWidth > 0) {
                split->setSizes({leftWidth, size.width() - leftWidth});
                QCoreApplication::processEvents();
            }
            SCOPED_TRACE(QStringLiteral("window %1 x %2, column %3")
                             .arg(size.width())
                             .arg(size.height())
                             .arg(column->width())
                             .toStdString());
            for (SearchableHelpPill* each :
                 view.findChildren<SearchableHelpPill*>(QStringLiteral("sectionPill"))) {
                SCOPED_TRACE(each->text().toStdString());
                EXPECT_EQ(each->visibleRegion(), QRegion(each->rect()));
                EXPECT_TRUE(column->rect().contains(QRect(each->mapTo(column, QPoint()), each->size())));
                EXPECT_GE(each->height(), each->heightForWidth(each->width()));
            }
            EXPECT_GT(pill(&view, wide)->height(), pill(&view, QStringLiteral("Units"))->height())
                << "the wide name takes more than one line";
            EXPECT_GT(list->height(), 100);
            EXPECT_EQ(detailSection->text(), wide);
            EXPECT_EQ(detailSection->visibleRegion(), QRegion(detailSection->rect()));
            EXPECT_GE(detailSection->height(), detailSection->heightForWidth(detailSection->width()));
        }
    }
}

// Topic titles wrap to as many lines as the column's width needs, down to its 200 px minimum, and each row is
// as high as its title and section line there: the section line under a title that wraps is never cut.
TEST(SearchableHelpView, RowsKeepTheirSectionLineAtEveryColumnWidth)
{
    QList<HelpEntry> entries;
    for (const char* title : {"Reconstruction of a capture", "Reconstruction of your capture",
                              "Reconstruction of a capture with many frames and a long name", "Units"}) {
        entries.append(
            HelpEntry(QString::fromLatin1(title), QStringLiteral("Body."), QStringLiteral("Reconstruction")));
    }
    SearchableHelpView view(entries, {QStringLiteral("Reconstruction")}, HelpTheme::defaultTheme());
    view.resize(650, 500);
    view.show();
    auto* split = view.findChild<QSplitter*>(QStringLiteral("helpSplit"));
    auto* column = view.findChild<QWidget*>(QStringLiteral("helpLeftColumn"));
    // A title that takes one line more at the minimum column than at the usual one.
    const SearchableHelpRow* second = rows(&view).at(1);
    ASSERT_GT(second->heightForWidth(200), second->heightForWidth(240));
    for (const int leftWidth : {280, 240, 200}) {
        split->setSizes({leftWidth, 650 - leftWidth});
        QCoreApplication::processEvents();
        ASSERT_EQ(column->width(), leftWidth);
        SCOPED_TRACE(leftWidth);
        int below = 0;
        for (SearchableHelpRow* row : rows(&view)) {
            SCOPED_TRACE(row->entry().title().toStdString());
            EXPECT_GE(row->height(), row->heightForWidth(row->width()));
            EXPECT_GE(row->y(), below) << "rows overlap";
            below = row->geometry().bottom() + 1;
        }
    }
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
    SearchableHelpWindow::open(QStringLiteral("Second Help"), {topics().first()}, {},
                               HelpTheme::defaultTheme());
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
