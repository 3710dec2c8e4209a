#include "CompanionMenuCommands.h"

#include "ConcordancePanel.h"
#include "ConcordanceView.h"
#include "HangCeiling.h"
#include "OstrelAboutPanel.h"
#include "OstrelTermsPanel.h"
#include "SearchableHelpPill.h"
#include "SearchableHelpRow.h"
#include "SearchableHelpView.h"
#include "SearchableHelpWindow.h"

#include <QAction>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <gtest/gtest.h>

using namespace tovarine;

TEST(CompanionMenuCommands, HelpMenuItemsTextsAndShortcuts)
{
    QMenu menu;
    const CompanionMenuCommands::Actions actions = CompanionMenuCommands::install(&menu, {});
    QStringList texts;
    for (QAction* action : menu.actions()) {
        texts.append(action->isSeparator() ? QStringLiteral("---") : action->text());
    }
    EXPECT_EQ(texts, (QStringList{"tovarine Help\u2026", "Concordance\u2026", "---", "Terms\u2026", "---",
                                  "About tovarine companion"}));
    EXPECT_EQ(actions.help->shortcuts(),
              (QList<QKeySequence>{QKeySequence(QStringLiteral("Ctrl+?")), QKeySequence(Qt::Key_F1)}));
    EXPECT_EQ(actions.concordance->shortcuts(),
              QList<QKeySequence>{QKeySequence(QStringLiteral("Ctrl+Alt+/"))});
    EXPECT_TRUE(actions.terms->shortcuts().isEmpty());
    EXPECT_TRUE(actions.about->shortcuts().isEmpty());

    // The glossary's shortcut must not be a keystroke the help item also answers to (Ctrl+? is
    // Ctrl+Shift+/ on common layouts).
    const QKeySequence glossary = actions.concordance->shortcut();
    for (const QKeySequence& help : actions.help->shortcuts()) {
        EXPECT_NE(glossary, help);
    }
    EXPECT_NE(glossary, QKeySequence(QStringLiteral("Ctrl+Shift+/")));
    EXPECT_NE(glossary, QKeySequence(QStringLiteral("Ctrl+Shift+?")));
}

TEST(CompanionMenuCommands, HelpCommandOpensOneWindowWithAllTopicsInOrder)
{
    QMenu menu;
    int asked = 0;
    const auto actions = CompanionMenuCommands::install(&menu, [&asked] {
        ++asked;
        return QString();
    });
    actions.help->trigger();
    QWidget* window = ostrel::SearchableHelpWindow::window();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("tovarine Help"));
    auto* view = window->findChild<ostrel::SearchableHelpView*>();
    const QList<ostrel::HelpEntry> shown = view->filteredEntries();
    ASSERT_EQ(shown.size(), 13 + 4 + 12);
    EXPECT_EQ(shown.at(0).title(), QStringLiteral("What the Companion does"));
    EXPECT_EQ(shown.at(13).title(), QStringLiteral("Morvel"));
    EXPECT_EQ(shown.at(17).title(), QStringLiteral("Third-party licences"));
    EXPECT_TRUE(shown.at(18).body().startsWith(QStringLiteral("Not found in this build: ")));
    EXPECT_EQ(asked, 1);

    view->setSearchText(QStringLiteral("cage"));
    actions.help->trigger(); // visible: only raised
    EXPECT_EQ(ostrel::SearchableHelpWindow::window(), window);
    EXPECT_EQ(view->searchText(), QStringLiteral("cage"));
}

// Each of the help's section pills shows whole, at the help window's opening size and at its smallest.
TEST(CompanionMenuCommands, HelpWindowShowsEverySectionPillWhole)
{
    QMenu menu;
    const auto actions = CompanionMenuCommands::install(&menu, {});
    actions.help->trigger();
    QWidget* window = ostrel::SearchableHelpWindow::window();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window, tovarine::test::kHangCeilingMs));
    for (const QSize& size : {QSize(650, 500), QSize(1, 1)}) {
        window->resize(size); // the smallest is held at the window's minimum
        QCoreApplication::processEvents();
        SCOPED_TRACE(QStringLiteral("%1 x %2").arg(window->width()).arg(window->height()).toStdString());
        const auto pills = window->findChildren<ostrel::SearchableHelpPill*>(QStringLiteral("sectionPill"));
        ASSERT_EQ(pills.size(), 1 + 8);
        for (ostrel::SearchableHelpPill* pill : pills) {
            EXPECT_TRUE(pill->isVisible()) << pill->text().toStdString();
            EXPECT_EQ(pill->visibleRegion(), QRegion(pill->rect())) << pill->text().toStdString();
        }
    }
}

TEST(CompanionMenuCommands, ConcordanceTermsAndAboutOpenSingleWindows)
{
    QMenu menu;
    const auto actions = CompanionMenuCommands::install(&menu, {});

    actions.concordance->trigger();
    QWidget* glossary = ostrel::ConcordancePanel::window();
    ASSERT_NE(glossary, nullptr);
    EXPECT_EQ(glossary->windowTitle(), QStringLiteral("tovarine Concordance"));
    EXPECT_EQ(glossary->findChild<ostrel::ConcordanceView*>()->config().entryCount(), 22);
    actions.concordance->trigger();
    EXPECT_EQ(ostrel::ConcordancePanel::window(), glossary);

    actions.terms->trigger();
    QWidget* terms = ostrel::OstrelTermsPanel::window();
    ASSERT_NE(terms, nullptr);
    EXPECT_EQ(terms->windowTitle(), QStringLiteral("tovarine \u2014 Terms"));
    QStringList titles;
    for (auto* label : terms->findChildren<QLabel*>(QStringLiteral("sectionTitle"))) {
        titles.append(label->text());
    }
    EXPECT_EQ(titles, (QStringList{"LICENSE", "RESTRICTIONS", "TRADEMARKS"}));

    actions.about->trigger();
    QWidget* about = ostrel::OstrelAboutPanel::window();
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(about->windowTitle(), QStringLiteral("About tovarineCompanion"));
    about->close();
    actions.about->trigger();
    EXPECT_EQ(ostrel::OstrelAboutPanel::window(), about);
    EXPECT_TRUE(about->isVisible());
}

TEST(CompanionMenuCommands, ShortcutsFireFromTheMainWindow)
{
    QMainWindow window;
    QMenu* help = window.menuBar()->addMenu(QStringLiteral("Help"));
    CompanionMenuCommands::install(help, {});
    window.resize(400, 300);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window, tovarine::test::kHangCeilingMs));

    // The desktop's key mapper offers Ctrl+Shift+/ on a US layout as Ctrl+? too; the test platform passes
    // the event through as typed.
    QTest::keyClick(&window, Qt::Key_Question, Qt::ControlModifier);
    ASSERT_NE(ostrel::SearchableHelpWindow::window(), nullptr);
    EXPECT_TRUE(ostrel::SearchableHelpWindow::window()->isVisible());
    EXPECT_EQ(ostrel::ConcordancePanel::window(), nullptr);

    QTest::keyClick(&window, Qt::Key_Slash, Qt::ControlModifier | Qt::AltModifier);
    ASSERT_NE(ostrel::ConcordancePanel::window(), nullptr);
    EXPECT_TRUE(ostrel::ConcordancePanel::window()->isVisible());

    ostrel::SearchableHelpWindow::window()->close();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window, tovarine::test::kHangCeilingMs));
    QTest::keyClick(&window, Qt::Key_F1);
    EXPECT_TRUE(ostrel::SearchableHelpWindow::window()->isVisible());
}
