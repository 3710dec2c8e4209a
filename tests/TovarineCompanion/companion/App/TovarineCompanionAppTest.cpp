#include "TovarineCompanionApp.h"

#include "BrowseView.h"
#include "CompanionSettingsView.h"
#include "WindowTestSupport.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace tovarine {
namespace {

QStringList actionTexts(const QMenu* menu)
{
    QStringList texts;
    for (const QAction* action : menu->actions()) {
        if (!action->isSeparator()) {
            texts << action->text();
        }
    }
    return texts;
}

TEST(TovarineCompanionApp, MainWindowTitleSizeAndMenus)
{
    test::WindowFixture fixture;
    TovarineCompanionApp app(fixture.engine.factory(), fixture.defaults.get(), &fixture.workspace);
    app.show();
    QMainWindow* window = app.mainWindow();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("tovarine companion"));
    EXPECT_EQ(window->centralWidget(), app.browseView());

    // The window cannot be made smaller than its content's 560 x 540.
    window->resize(200, 200);
    EXPECT_GE(app.browseView()->width(), 560);
    EXPECT_GE(app.browseView()->height(), 540);

    EXPECT_EQ(actionTexts(app.fileMenu()),
              (QStringList{QStringLiteral("Settings…"), QStringLiteral("Quit")}));
    ASSERT_NE(app.helpMenu(), nullptr);
    EXPECT_EQ(actionTexts(app.helpMenu()),
              (QStringList{QStringLiteral("tovarine Help…"), QStringLiteral("Concordance…"),
                           QStringLiteral("Terms…"), QStringLiteral("About tovarine companion")}));
    EXPECT_EQ(app.menuBar(), window->menuBar());
    // Nothing is opened at launch.
    EXPECT_EQ(app.settingsWindow(), nullptr);
}

TEST(TovarineCompanionApp, SettingsWindowIsSingleAndOnlyHidesWhenClosed)
{
    test::WindowFixture fixture;
    TovarineCompanionApp app(fixture.engine.factory(), fixture.defaults.get(), &fixture.workspace);
    app.show();
    QTest::mouseClick(app.browseView()->findChild<QPushButton*>(QStringLiteral("settingsButton")),
                      Qt::LeftButton);
    QWidget* settings = app.settingsWindow();
    ASSERT_NE(settings, nullptr);
    EXPECT_TRUE(settings->isVisible());
    EXPECT_NE(settings->findChild<CompanionSettingsView*>(), nullptr);

    settings->close();
    EXPECT_FALSE(settings->isVisible());
    app.fileMenu()->actions().first()->trigger();
    EXPECT_EQ(app.settingsWindow(), settings);
    EXPECT_TRUE(settings->isVisible());
    EXPECT_FALSE(settings->testAttribute(Qt::WA_QuitOnClose)); // never keeps the application running
}

} // namespace
} // namespace tovarine
