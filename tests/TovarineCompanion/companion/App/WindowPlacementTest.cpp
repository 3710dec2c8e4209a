#include "WindowPlacement.h"

#include "BrowseView.h"
#include "HangCeiling.h"
#include "TovarineCompanionApp.h"
#include "WindowTestSupport.h"

#include <QGuiApplication>
#include <QMainWindow>
#include <QScreen>
#include <QTest>
#include <QWindow>
#include <QtGui/qguiapplication_platform.h>
#include <cstring>
#include <gtest/gtest.h>
#include <vector>
#include <xcb/xcb.h>

namespace tovarine {
namespace {

// The whole run is at a scale of 1.5, as a desktop set to 150 % gives: the 1600 x 1200 test screen is
// 1067 x 800 device-independent pixels, shorter than the window's 960.
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

xcb_connection_t* x11Connection()
{
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

xcb_atom_t internedAtom(const char* name)
{
    xcb_connection_t* connection = x11Connection();
    if (!connection) {
        return XCB_NONE;
    }
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, std::strlen(name), name), nullptr);
    const xcb_atom_t found = reply ? reply->atom : XCB_NONE;
    free(reply);
    return found;
}

// Sets an X property of 32-bit values on a window, as a window manager does, and removes it again.
class WindowProperty
{
public:
    // `window` 0 means the root window.
    WindowProperty(const char* name, xcb_atom_t type, std::vector<std::uint32_t> values,
                   xcb_window_t window = 0)
    {
        m_connection = x11Connection();
        if (!m_connection) {
            return;
        }
        m_window = window ? window : xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
        m_atom = internedAtom(name);
        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, m_window, m_atom, type, 32,
                            std::uint32_t(values.size()), values.data());
        xcb_flush(m_connection);
    }
    ~WindowProperty()
    {
        if (m_connection) {
            xcb_delete_property(m_connection, m_window, m_atom);
            xcb_flush(m_connection);
        }
    }
    bool isSet() const { return m_connection && m_atom != XCB_NONE; }

private:
    xcb_connection_t* m_connection = nullptr;
    xcb_window_t m_window = 0;
    xcb_atom_t m_atom = XCB_NONE;
};

// At 150 % under a top panel of 60 pixels the test screen's free area is about 1067 x 760: the main window,
// 960 high by default, opens inside it, below the panel, as large as the area allows, with the title bar
// the window manager puts around it (45 pixels, given here as the frame extents a window manager sets).
TEST(WindowPlacement, AtAScaleTheMainWindowOpensWithinTheFreeArea)
{
    QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_EQ(screen->devicePixelRatio(), 1.5);
    const QSize device = screen->geometry().size() * 3 / 2;
    WindowProperty supported("_NET_SUPPORTED", XCB_ATOM_ATOM, {internedAtom("_NET_FRAME_EXTENTS")});
    WindowProperty panel("_NET_WORKAREA", XCB_ATOM_CARDINAL,
                         {0, 60, std::uint32_t(device.width()), std::uint32_t(device.height() - 60)});
    ASSERT_TRUE(panel.isSet());
    QTRY_COMPARE_WITH_TIMEOUT(screen->availableGeometry().top(), 40, tovarine::test::kHangCeilingMs);
    ASSERT_LT(screen->availableGeometry().height(), 960);

    test::WindowFixture fixture;
    TovarineCompanionApp app(fixture.engine.factory(), fixture.defaults.get(), &fixture.workspace);
    app.show();
    QMainWindow* window = app.mainWindow();
    // Before the window is first on screen, as a window manager frames it.
    WindowProperty titleBar("_NET_FRAME_EXTENTS", XCB_ATOM_CARDINAL, {0, 0, 45, 0},
                            xcb_window_t(window->winId()));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    QCoreApplication::processEvents();
    EXPECT_EQ(window->windowHandle()->frameMargins(), QMargins(0, 30, 0, 0));
    const QRect frame = window->frameGeometry();
    EXPECT_TRUE(screen->availableGeometry().contains(frame))
        << frame.x() << "," << frame.y() << " " << frame.width() << " x " << frame.height();
    EXPECT_EQ(frame.height(), screen->availableGeometry().height());
    EXPECT_EQ(window->width(), 840);
}

} // namespace
} // namespace tovarine
