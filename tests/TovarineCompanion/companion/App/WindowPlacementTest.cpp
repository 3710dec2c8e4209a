#include "WindowPlacement.h"

#include "BrowseView.h"
#include "TovarineCompanionApp.h"
#include "WindowTestSupport.h"

#include <QGuiApplication>
#include <QMainWindow>
#include <QScreen>
#include <QTest>
#include <QtGui/qguiapplication_platform.h>
#include <cstring>
#include <gtest/gtest.h>
#include <xcb/xcb.h>

namespace tovarine {
namespace {

// The whole run is at a scale of 1.5, as a desktop set to 150 % gives: the 1600 x 1200 test screen is
// 1067 x 800 device-independent pixels, shorter than the window's 940.
[[maybe_unused]] const bool kScaled = [] {
    qputenv("QT_SCALE_FACTOR", "1.5");
    return true;
}();

TEST(WindowPlacement, TheWindowAndItsFrameFitTheFreeArea)
{
    const QSize wanted(840, 940);
    const QSize minimum(560, 561);
    const QMargins titleBar(0, 37, 0, 0);
    const struct
    {
        const char* name;
        QRect available;
        QMargins frame;
        QRect content;
    } cases[] = {
        {"large screen, centred", QRect(0, 0, 1920, 1080), QMargins(), QRect(540, 70, 840, 940)},
        {"large screen with a frame", QRect(0, 32, 1920, 1048), titleBar, QRect(540, 104, 840, 940)},
        {"laptop under a top bar", QRect(0, 32, 1366, 736), titleBar, QRect(263, 69, 840, 699)},
        {"second screen to the right", QRect(1920, 0, 1366, 768), titleBar, QRect(2183, 37, 840, 731)},
        {"narrow and short", QRect(0, 0, 700, 600), QMargins(2, 30, 2, 2), QRect(2, 30, 696, 568)},
        {"smaller than the minimum", QRect(0, 0, 500, 500), titleBar, QRect(0, 37, 560, 561)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QRect content = WindowPlacement::openingGeometry(c.available, c.frame, wanted, minimum);
        EXPECT_EQ(content, c.content);
        const QRect framed = content.marginsAdded(c.frame);
        if (c.content.width() > minimum.width() || c.content.height() > minimum.height()) {
            EXPECT_TRUE(c.available.contains(framed));
        }
    }
}

// Sets the root window's free area (_NET_WORKAREA, in device pixels) as a desktop with a top panel does,
// and removes it again.
class WorkArea
{
public:
    explicit WorkArea(const QRect& devicePixels)
    {
        auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
        m_connection = x11 ? x11->connection() : nullptr;
        if (!m_connection) {
            return;
        }
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
        const char* name = "_NET_WORKAREA";
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
            m_connection, xcb_intern_atom(m_connection, 0, std::strlen(name), name), nullptr);
        m_atom = reply ? reply->atom : XCB_NONE;
        free(reply);
        const std::uint32_t values[] = {std::uint32_t(devicePixels.x()), std::uint32_t(devicePixels.y()),
                                        std::uint32_t(devicePixels.width()),
                                        std::uint32_t(devicePixels.height())};
        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, m_root, m_atom, XCB_ATOM_CARDINAL, 32, 4,
                            values);
        xcb_flush(m_connection);
    }
    ~WorkArea()
    {
        if (m_connection) {
            xcb_delete_property(m_connection, m_root, m_atom);
            xcb_flush(m_connection);
        }
    }
    bool isSet() const { return m_connection && m_atom != XCB_NONE; }

private:
    xcb_connection_t* m_connection = nullptr;
    xcb_window_t m_root = 0;
    xcb_atom_t m_atom = XCB_NONE;
};

// At 150 % under a top panel of 60 pixels the test screen's free area is about 1067 x 760: the main window,
// 940 high by default, opens inside it, below the panel, as large as the area allows.
TEST(WindowPlacement, AtAScaleTheMainWindowOpensWithinTheFreeArea)
{
    QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_EQ(screen->devicePixelRatio(), 1.5);
    WorkArea panel(
        QRect(0, 60, screen->geometry().width() * 3 / 2, screen->geometry().height() * 3 / 2 - 60));
    ASSERT_TRUE(panel.isSet());
    QTRY_COMPARE_WITH_TIMEOUT(screen->availableGeometry().top(), 40, 120000);
    ASSERT_LT(screen->availableGeometry().height(), 940);

    test::WindowFixture fixture;
    TovarineCompanionApp app(fixture.engine.factory(), fixture.defaults.get(), &fixture.workspace);
    app.show();
    QMainWindow* window = app.mainWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    QCoreApplication::processEvents();
    const QRect frame = window->frameGeometry();
    EXPECT_TRUE(screen->availableGeometry().contains(frame))
        << frame.x() << "," << frame.y() << " " << frame.width() << " x " << frame.height();
    EXPECT_EQ(frame.height(), screen->availableGeometry().height());
    EXPECT_EQ(window->width(), 840);
}

} // namespace
} // namespace tovarine
