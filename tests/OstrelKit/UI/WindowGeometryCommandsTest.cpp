#include "WindowGeometryCommands.h"
#include "AspectBadge.h"
#include "OstrelWindow.h"

#include <QMenu>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace ostrel;

namespace {

struct GeometryCommands : ::testing::Test
{
    GeometryCommands()
    {
        window.show();
        placeFrame(QRect(100, 100, 800, 600));
        controller.setKeyWindowProvider([this]() -> QWidget* { return key; });
    }
    // Gives the window this frame, title bar and borders included.
    void placeFrame(const QRect& frame)
    {
        const QSize extra = window.frameGeometry().size() - window.size();
        window.move(frame.topLeft());
        window.resize(frame.size() - extra);
        ASSERT_EQ(window.frameGeometry(), frame);
    }
    QWidget window;
    QPointer<QWidget> key = &window;
    OstrelWindow controller;
};

} // namespace

TEST_F(GeometryCommands, AspectSizeAndSquareReshapeTheKeyWindow)
{
    controller.setAspect(AspectRatioPreset::wide);
    EXPECT_EQ(window.frameGeometry(), QRect(100, 175, 800, 450));
    EXPECT_EQ(OstrelWindow::contentAspectRatio(&window), (std::pair{16.0, 9.0}));
    EXPECT_TRUE(controller.isConstrained());
    EXPECT_FALSE(controller.isSquare());

    // A later resize by anyone else keeps the content at the locked ratio.
    window.resize(640, 100);
    EXPECT_EQ(window.size(), QSize(640, 360));

    controller.setAspect(AspectRatioPreset::free);
    EXPECT_EQ(window.size(), QSize(640, 360)); // frame unchanged
    window.resize(640, 100);
    EXPECT_EQ(window.size(), QSize(640, 100)); // free again
    EXPECT_FALSE(OstrelWindow::contentAspectRatio(&window).has_value());
    EXPECT_EQ(controller.currentAspect(), AspectRatioPreset::free);

    placeFrame(QRect(100, 100, 800, 600));
    controller.setSize(WindowPreset::standard);
    EXPECT_EQ(window.frameGeometry(), QRect(100, 0, 800, 800));
    EXPECT_EQ(controller.currentAspect(), AspectRatioPreset::square);

    controller.releaseSquare();
    placeFrame(QRect(100, 100, 800, 600));
    controller.makeSquare();
    EXPECT_EQ(window.frameGeometry(), QRect(100, 0, 800, 800));
}

TEST_F(GeometryCommands, ToggleAndNoKeyWindow)
{
    controller.setAspect(AspectRatioPreset::wide);
    controller.toggleSquare();
    EXPECT_EQ(controller.currentAspect(), AspectRatioPreset::square);
    EXPECT_EQ(OstrelWindow::contentAspectRatio(&window), (std::pair{1.0, 1.0}));
    controller.toggleSquare();
    EXPECT_EQ(controller.currentAspect(), AspectRatioPreset::free);

    AspectBadge badge(controller);
    controller.setAspect(AspectRatioPreset::wide);
    key = nullptr;
    const QRect before = window.frameGeometry();
    QSignalSpy spy(&controller, &OstrelWindow::currentAspectChanged);
    controller.setAspect(AspectRatioPreset::tall);
    controller.setSize(WindowPreset::large);
    controller.toggleSquare();
    EXPECT_EQ(spy.count(), 0);
    EXPECT_EQ(window.frameGeometry(), before);
    EXPECT_EQ(badge.toolTip(), QStringLiteral("Current: 16:9"));
}

TEST_F(GeometryCommands, BadgeShowsTheConstraintAndTogglesASquare)
{
    AspectBadge badge(controller);
    EXPECT_EQ(badge.symbolName(), QStringLiteral("rectangle"));
    EXPECT_EQ(badge.badgeText(), QString());
    EXPECT_EQ(badge.inkColor(), AspectBadge::secondaryColor());
    EXPECT_EQ(badge.toolTip(), QStringLiteral("No aspect constraint"));
    controller.setAspect(AspectRatioPreset::wide);
    EXPECT_EQ(badge.symbolName(), QStringLiteral("square"));
    EXPECT_EQ(badge.badgeText(), QStringLiteral("16:9"));
    EXPECT_EQ(badge.inkColor(), AspectBadge::orangeColor());
    EXPECT_EQ(badge.toolTip(), QStringLiteral("Current: 16:9"));
    badge.click();
    EXPECT_EQ(badge.toolTip(), QStringLiteral("Current: 1:1"));
    badge.click();
    EXPECT_EQ(badge.toolTip(), QStringLiteral("No aspect constraint"));
}

TEST_F(GeometryCommands, MenusCarryTheItemsAndShortcuts)
{
    const auto describe = [](QMenu& menu) {
        QStringList items;
        for (QAction* a : menu.actions()) {
            if (a->isSeparator()) {
                items << QStringLiteral("---");
            } else if (a->menu()) {
                QStringList inner;
                for (QAction* b : a->menu()->actions()) {
                    inner << b->text() + QLatin1Char('|') + b->shortcut().toString();
                }
                items << a->text() + QStringLiteral(": ") + inner.join(QStringLiteral(", "));
            } else {
                items << a->text() + QLatin1Char('|') + a->shortcut().toString();
            }
        }
        return items;
    };
    QMenu plain;
    WindowGeometryCommands plainCommands(controller);
    plainCommands.addTo(&plain);
    EXPECT_EQ(
        describe(plain),
        (QStringList{
            "Window Aspect Ratio: 1:1 — Square|Ctrl+Alt+1, 3:4 — Portrait|Ctrl+Alt+2, "
            "4:3 — Landscape|Ctrl+Alt+3, 9:16 — Tall|Ctrl+Alt+4, 16:9 — Wide|Ctrl+Alt+5, Free|Ctrl+Alt+0",
            "Window Size: 512 × 512|, 800 × 800|, 1080 × 1080|, 1440 × 1440|"}));

    int captures = 0;
    QMenu withCapture;
    WindowGeometryCommands commands(controller, [&] { ++captures; });
    commands.addTo(&withCapture);
    const QStringList items = describe(withCapture);
    ASSERT_EQ(items.size(), 4);
    EXPECT_EQ(items[2], QStringLiteral("---"));
    EXPECT_EQ(items[3], QStringLiteral("Tarnwick™|Ctrl+Shift+F"));
    withCapture.actions().last()->trigger();
    EXPECT_EQ(captures, 1);
    plain.actions().first()->menu()->actions().at(4)->trigger();
    EXPECT_EQ(controller.currentAspect(), AspectRatioPreset::wide);
}
