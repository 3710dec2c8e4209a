#include "ConcordancePanel.h"
#include "OstrelAboutPanel.h"
#include "OstrelTermsPanel.h"

#include <QTest>
#include <functional>
#include <gtest/gtest.h>

using namespace ostrel;

namespace {

struct KitWindow
{
    const char* name;
    std::function<void()> show;
    std::function<QWidget*()> window;
};

QList<KitWindow> kitWindows()
{
    return {
        {"Concordance",
         [] {
             ConcordanceConfiguration config;
             config.appName = QStringLiteral("tovarine");
             config.backgroundColor = Qt::black;
             config.sections = {{QStringLiteral("Capture"),
                                 {ConcordanceEntry(QStringLiteral("Frames"), QStringLiteral("stills"))}}};
             ConcordancePanel::show(config);
         },
         [] { return ConcordancePanel::window(); }},
        {"Terms", [] { OstrelTermsPanel::show(QStringLiteral("tovarine"), false, false, {}); },
         [] { return OstrelTermsPanel::window(); }},
        {"About",
         [] {
             OstrelAboutModel model;
             model.appName = QStringLiteral("tova");
             model.appNameAccent = QStringLiteral("rine");
             model.emblems = {QStringLiteral("x")};
             OstrelAboutPanel::show(model);
         },
         [] { return OstrelAboutPanel::window(); }},
    };
}

} // namespace

// Escape and the desktop's Close key close each of the kit's floating windows, as they close Help and the
// settings; the window comes back on the next command.
TEST(KitWindowCloseKeys, EscapeAndCtrlWCloseConcordanceTermsAndAbout)
{
    for (const KitWindow& kit : kitWindows()) {
        for (const auto& [key, modifiers] :
             {std::pair{Qt::Key_Escape, Qt::KeyboardModifiers(Qt::NoModifier)},
              std::pair{Qt::Key_W, Qt::KeyboardModifiers(Qt::ControlModifier)}}) {
            const std::string keys = QKeySequence(key | modifiers).toString().toStdString();
            kit.show();
            QWidget* window = kit.window();
            ASSERT_NE(window, nullptr) << kit.name;
            window->activateWindow();
            ASSERT_TRUE(QTest::qWaitForWindowActive(window)) << kit.name;
            QWidget* focus = window->focusWidget() ? window->focusWidget() : window;
            QTest::keyClick(focus, key, modifiers);
            EXPECT_FALSE(window->isVisible()) << kit.name << " " << keys;
        }
        // The windows are kept for the process; this one goes, so other tests start without it.
        delete kit.window();
    }
}
