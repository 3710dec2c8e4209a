#include "ConcordancePanel.h"
#include "OstrelAboutPanel.h"
#include "OstrelTermsPanel.h"
#include "SearchableHelpView.h"
#include "SearchableHelpWindow.h"
#include "TestSupport.h"
#include "TovarineCompanionApp.h"

#include <QAction>
#include <QMenu>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tovarine;

namespace {

PhotogrammetrySessionFactory noEngine()
{
    return [](const QString&, const PhotogrammetrySession::Configuration&)
               -> Expected<std::unique_ptr<PhotogrammetrySession>, QString> {
        return unexpected(QStringLiteral("no engine"));
    };
}

QAction* action(QMenu* menu, const QString& text)
{
    for (QAction* a : menu->actions()) {
        if (a->text() == text) {
            return a;
        }
    }
    return nullptr;
}

} // namespace

TEST(HelpMenuInApp, EachItemOpensItsWindowOnceWithTheAppsContent)
{
    QTemporaryDir settings;
    test::useTemporarySettings(settings);
    TovarineCompanionApp app(noEngine());
    app.show();
    QMenu* help = app.helpMenu();
    ASSERT_NE(help, nullptr);

    const struct
    {
        QString item;
        QWidget* (*window)();
        QString title;
    } items[] = {
        {QStringLiteral("tovarine Help\u2026"), &ostrel::SearchableHelpWindow::window, QStringLiteral("tovarine Help")},
        {QStringLiteral("Concordance\u2026"), &ostrel::ConcordancePanel::window, QStringLiteral("tovarine Concordance")},
        {QStringLiteral("Terms\u2026"), &ostrel::OstrelTermsPanel::window, QStringLiteral("tovarine \u2014 Terms")},
        {QStringLiteral("About tovarine companion"), &ostrel::OstrelAboutPanel::window,
         QStringLiteral("About tovarineCompanion")},
    };
    for (const auto& item : items) {
        QAction* a = action(help, item.item);
        ASSERT_NE(a, nullptr) << item.item.toStdString();
        a->trigger();
        QWidget* first = item.window();
        ASSERT_NE(first, nullptr) << item.item.toStdString();
        EXPECT_TRUE(first->isVisible());
        EXPECT_EQ(first->windowTitle(), item.title);
        a->trigger();
        EXPECT_EQ(item.window(), first) << item.item.toStdString();
    }
    // Without an engine folder the licence topics say so.
    const auto topics = ostrel::SearchableHelpWindow::window()->findChild<ostrel::SearchableHelpView*>()->filteredEntries();
    ASSERT_EQ(topics.size(), 29);
    EXPECT_TRUE(topics.last().body().startsWith(QStringLiteral("Not found in this build: ")));
}
