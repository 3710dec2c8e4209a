#include "TovarineCompanionApp.h"

#include "BrowseView.h"
#include "CompanionSettingsView.h"
#include "HangCeiling.h"
#include "WindowTestSupport.h"

#include <QAction>
#include <QApplication>
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

// Ctrl+, opens the settings over the main window (the File menu shows the key); Escape and Ctrl+W close it.
TEST(TovarineCompanionApp, SettingsKeysAndPlacement)
{
    test::WindowFixture fixture;
    TovarineCompanionApp app(fixture.engine.factory(), fixture.defaults.get(), &fixture.workspace);
    app.show();
    QMainWindow* window = app.mainWindow();
    window->move(300, 150);
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window, tovarine::test::kHangCeilingMs));
    QAction* settingsAction = app.fileMenu()->actions().first();
    EXPECT_EQ(settingsAction->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Comma));

    for (const auto& [key, modifiers] : {std::pair{Qt::Key_Escape, Qt::KeyboardModifiers(Qt::NoModifier)},
                                         std::pair{Qt::Key_W, Qt::KeyboardModifiers(Qt::ControlModifier)}}) {
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window, tovarine::test::kHangCeilingMs));
        QTest::keyClick(window, Qt::Key_Comma, Qt::ControlModifier);
        QWidget* settings = app.settingsWindow();
        ASSERT_NE(settings, nullptr);
        ASSERT_TRUE(settings->isVisible());
        // Over the main window: centred across it, near its top.
        const QRect main = window->frameGeometry();
        const QRect frame = settings->frameGeometry();
        EXPECT_LE(std::abs(frame.center().x() - main.center().x()), 2);
        EXPECT_GT(frame.top(), main.top());
        EXPECT_LT(frame.top(), main.top() + 200);

        // The test platform does not pass activation on to a window that belongs to another one.
        QApplication::setActiveWindow(settings);
        ASSERT_EQ(QApplication::activeWindow(), settings);
        QTest::keyClick(settings->focusWidget() ? settings->focusWidget() : settings, key, modifiers);
        EXPECT_FALSE(settings->isVisible()) << QKeySequence(key | modifiers).toString().toStdString();
    }
}

} // namespace
} // namespace tovarine
