// A window of the kit's sliders for the screen-reader test, run as its own process so it can join a private
// accessibility bus: two kit sliders ("Level" 0..1 in steps of 0.25 at 0.75 pt, "Frame" 0..1e7 in steps of 1
// at 5000001.0 frames) and the Preferences form with Sidebar Width 299.9, Surface shininess 0.75 and UI Scale
// moved one key from 1.0. Prints "ready" when shown. A line "toggle" on standard input clicks the VorraLick
// switch and answers "toggled"; the end of standard input ends the program.
//   ostrel-spoken-slider-host

#include "OstrelNSSlider.h"
#include "OstrelPreferencesView.h"
#include "OstrelSlider.h"
#include "PrefsKey.h"
#include "UserDefaults.h"

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTimer>
#include <QVBoxLayout>

#include <cstdio>
#include <string>
#include <unistd.h>

using namespace ostrel;

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ostrel-spoken-slider-host"));
    QTemporaryDir dir;
    UserDefaults store(dir.filePath(QStringLiteral("prefs.ini")));
    store.setValue(PrefsKey::sidebarWidth, 299.9);
    store.setValue(PrefsKey::lickableIntensity, 0.75);

    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    OstrelSlider::Options level;
    level.step = 0.25;
    level.accessibilityUnit = QStringLiteral("pt");
    layout->addWidget(new OstrelSlider(QStringLiteral("Level"), 0.75, level));
    OstrelSlider::Options frame;
    frame.upper = 1e7;
    frame.step = 1;
    frame.format = QStringLiteral("%.1f");
    frame.accessibilityUnit = QStringLiteral("frames");
    layout->addWidget(new OstrelSlider(QStringLiteral("Frame"), 5000001, frame));
    auto* preferences =
        new OstrelPreferencesView(QStringLiteral("tovarine"), nullptr, OstrelPrefsLayout::full, store);
    layout->addWidget(preferences);
    window.show();

    auto* uiScale = preferences->findChild<OstrelNSSlider*>(QStringLiteral("uiScaleSlider"));
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
    QApplication::sendEvent(uiScale, &press);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Right, Qt::NoModifier);
    QApplication::sendEvent(uiScale, &release);

    QTimer::singleShot(0, [] {
        std::fputs("ready\n", stdout);
        std::fflush(stdout);
    });
    std::string line;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[256];
        const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (got <= 0) {
            input.setEnabled(false);
            QCoreApplication::quit();
            return;
        }
        line.append(buffer, std::size_t(got));
        for (std::size_t end = line.find('\n'); end != std::string::npos; end = line.find('\n')) {
            if (line.substr(0, end) == "toggle") {
                preferences->findChild<QCheckBox*>(QStringLiteral("vorraLickSwitch"))->click();
                std::fputs("toggled\n", stdout);
                std::fflush(stdout);
            }
            line.erase(0, end + 1);
        }
    });
    return QApplication::exec();
}
