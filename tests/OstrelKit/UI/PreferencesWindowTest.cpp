#include "KitDemoHost.h"
#include "OstrelAccessible.h"
#include "OstrelMotionPreference.h"
#include "OstrelNSSlider.h"
#include "OstrelPreferencesPanel.h"
#include "OstrelPreferencesView.h"
#include "OstrelSymbolPainter.h"
#include "PrefsKey.h"
#include "ScreenReaderNumbers.h"
#include "TestSupport.h"
#include "UserDefaults.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace ostrel;

namespace {

struct PreferencesForm : ::testing::Test
{
    QTemporaryDir dir;
    UserDefaults store{dir.filePath(QStringLiteral("prefs.ini"))};

    template <typename T> static T* child(QWidget& root, const QString& name)
    {
        auto* found = root.findChild<T*>(name);
        EXPECT_NE(found, nullptr) << name.toStdString();
        return found;
    }
    static QWidget* swatch(QWidget& root, int percent)
    {
        return root.findChild<QWidget*>(QStringLiteral("swatch%1").arg(percent));
    }
    static bool outlined(QWidget* swatch)
    {
        // The outline is gold at the swatch's top edge centre; the fill alone is the dark surface.
        const QImage image = swatch->grab().toImage();
        return image.pixelColor(image.width() / 2, 0).red() > 150;
    }
};

} // namespace

TEST_F(PreferencesForm, EmptyStoreShowsTheDefaults)
{
    OstrelPreferencesView view(QStringLiteral("tovarine"), nullptr, OstrelPrefsLayout::full, store);
    view.resize(440, 680);
    EXPECT_EQ(child<QLabel>(view, "prefsTitle")->text(), QStringLiteral("tovarine PREFERENCES"));
    EXPECT_EQ(child<QLabel>(view, "lickableLabel")->text(), QStringLiteral("NotLickable"));
    EXPECT_TRUE(outlined(swatch(view, 0)));
    EXPECT_FALSE(outlined(swatch(view, 25)));
    EXPECT_FALSE(child<QCheckBox>(view, "vorraLickSwitch")->isChecked());
    EXPECT_FALSE(child<QCheckBox>(view, "reduceMotionSwitch")->isChecked());
    EXPECT_EQ(child<QLabel>(view, "uiScaleValue")->text(), QStringLiteral("1.0"));
    EXPECT_EQ(child<QLabel>(view, "labelScaleValue")->text(), QStringLiteral("1.0"));
    EXPECT_EQ(child<QLabel>(view, "sidebarWidthValue")->text(), QStringLiteral("340pt"));
    EXPECT_FALSE(store.contains(PrefsKey::uiScale)); // showing writes nothing
    // Switches are named for assistive technology and speak their state.
    auto* motion = child<QCheckBox>(view, "reduceMotionSwitch");
    EXPECT_EQ(motion->accessibleName(), QStringLiteral("Reduce Motion"));
    EXPECT_EQ(spokenValue(motion), QStringLiteral("Off"));
    EXPECT_EQ(child<QCheckBox>(view, "vorraLickSwitch")->accessibleName(), QStringLiteral("VorraLick"));
}

TEST_F(PreferencesForm, SwatchesSliderAndStoreStayInStep)
{
    OstrelPreferencesView view(QStringLiteral("tovarine"), nullptr, OstrelPrefsLayout::full, store);
    view.resize(440, 680);
    view.show();
    auto* slider = child<OstrelNSSlider>(view, "lickableSlider");
    QTest::mouseClick(swatch(view, 75), Qt::LeftButton);
    EXPECT_EQ(store.real(PrefsKey::lickableIntensity, -1), 0.75);
    EXPECT_EQ(slider->value(), 7500);
    EXPECT_EQ(child<QLabel>(view, "lickableLabel")->text(), QStringLiteral("Glossy"));

    store.setValue(PrefsKey::lickableIntensity, 0.125);
    EXPECT_TRUE(outlined(swatch(view, 0)));
    EXPECT_TRUE(outlined(swatch(view, 25)));
    store.setValue(PrefsKey::lickableIntensity, 0.13);
    EXPECT_FALSE(outlined(swatch(view, 0)));

    // Changes elsewhere within 0.0001 leave the native slider alone; larger ones move it.
    store.setValue(PrefsKey::lickableIntensity, 0.5);
    EXPECT_EQ(slider->value(), 5000);
    store.setValue(PrefsKey::lickableIntensity, 0.50005);
    EXPECT_EQ(slider->shownValue(), 0.5);
    store.setValue(PrefsKey::lickableIntensity, 0.501);
    EXPECT_EQ(slider->shownValue(), 0.501);
    EXPECT_EQ(slider->value(), 5010);
    // A value set while no drag runs (a key, a click on the track) writes at once.
    slider->setValue(2000);
    EXPECT_DOUBLE_EQ(store.real(PrefsKey::lickableIntensity, -1), 0.2);

    store.setValue(PrefsKey::sidebarWidth, 299.9);
    EXPECT_EQ(child<QLabel>(view, "sidebarWidthValue")->text(), QStringLiteral("299pt"));

    child<QCheckBox>(view, "vorraLickSwitch")->click();
    EXPECT_TRUE(store.boolean(PrefsKey::vorraLick, false));
    store.setValue(PrefsKey::iconScale, 2.0);
    child<QPushButton>(view, "resetButton")->click();
    EXPECT_FALSE(child<QCheckBox>(view, "vorraLickSwitch")->isChecked());
    EXPECT_EQ(child<QLabel>(view, "sidebarWidthValue")->text(), QStringLiteral("340pt"));
    EXPECT_EQ(store.real(PrefsKey::iconScale, 0), 2.0);
}

TEST_F(PreferencesForm, SlidersSpeakTheValuesTheFormShows)
{
    OstrelPreferencesView view(QStringLiteral("tovarine"), nullptr, OstrelPrefsLayout::full, store);
    view.resize(440, 680);
    const auto face = [&view](const char* name) {
        return QAccessible::queryAccessibleInterface(child<OstrelNSSlider>(view, QString::fromLatin1(name)));
    };
    EXPECT_EQ(face("uiScaleSlider")->text(QAccessible::Name), QStringLiteral("UI Scale"));
    EXPECT_EQ(face("uiScaleSlider")->text(QAccessible::Value), QStringLiteral("1.0"));
    EXPECT_EQ(face("sidebarWidthSlider")->text(QAccessible::Value), QStringLiteral("340pt"));
    EXPECT_EQ(face("lickableSlider")->text(QAccessible::Value), QStringLiteral("0.00, NotLickable"));
    store.setValue(PrefsKey::labelScale, 0.9);
    EXPECT_EQ(face("labelScaleSlider")->text(QAccessible::Value), QStringLiteral("0.9"));
    EXPECT_DOUBLE_EQ(face("labelScaleSlider")->valueInterface()->currentValue().toDouble(), 0.9);

    // An arrow key moves 1/100 of the range (and writes the store), not one of ten thousand positions.
    auto* width = child<OstrelNSSlider>(view, "sidebarWidthSlider");
    QTest::keyClick(width, Qt::Key_Right);
    EXPECT_NEAR(store.real(PrefsKey::sidebarWidth, -1), 342.2, 0.03); // from the nearest position to 340
    EXPECT_EQ(face("sidebarWidthSlider")->text(QAccessible::Value), QStringLiteral("342pt"));
}

// A screen reader reads a slider's numbers only: it is told the number the form shows beside the slider and
// an increment of that number's last digit, so it says the digits shown.
TEST_F(PreferencesForm, AScreenReaderSaysTheNumbersTheFormShows)
{
    OstrelPreferencesView view(QStringLiteral("tovarine"), nullptr, OstrelPrefsLayout::full, store);
    view.resize(440, 680);
    view.show();
    const auto says = [&view](const char* name) {
        QAccessibleValueInterface* value =
            QAccessible::queryAccessibleInterface(child<OstrelNSSlider>(view, QString::fromLatin1(name)))
                ->valueInterface();
        return tovarine::test::readerSays(value->currentValue().toDouble(),
                                          value->minimumStepSize().toDouble());
    };
    store.setValue(PrefsKey::sidebarWidth, 299.9);
    EXPECT_EQ(child<QLabel>(view, "sidebarWidthValue")->text(), QStringLiteral("299pt"));
    EXPECT_EQ(says("sidebarWidthSlider"), QStringLiteral("299"));
    // One key on UI Scale moves 1/100 of 0.7 (from the position nearest 1.0): about 1.007, shown 1.0.
    QTest::keyClick(child<OstrelNSSlider>(view, "uiScaleSlider"), Qt::Key_Right);
    EXPECT_NEAR(store.real(PrefsKey::uiScale, -1), 1.007, 1e-4);
    EXPECT_EQ(child<QLabel>(view, "uiScaleValue")->text(), QStringLiteral("1.0"));
    EXPECT_EQ(says("uiScaleSlider"), QStringLiteral("1.0"));
    store.setValue(PrefsKey::lickableIntensity, 0.75);
    EXPECT_EQ(says("lickableSlider"), QStringLiteral("0.75"));
    store.setValue(PrefsKey::labelScale, 1.26);
    EXPECT_EQ(says("labelScaleSlider"), QStringLiteral("1.3"));
}

namespace {

// Where a slider's handle is drawn, in the slider.
QPoint handleCentre(QSlider* slider)
{
    QStyleOptionSlider option;
    option.initFrom(slider);
    option.orientation = slider->orientation();
    option.minimum = slider->minimum();
    option.maximum = slider->maximum();
    option.sliderPosition = slider->sliderPosition();
    option.sliderValue = slider->value();
    return slider->style()
        ->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, slider)
        .center();
}

} // namespace

// A drag shows every step beside the slider and writes the store once, where it ends; keys still write.
TEST_F(PreferencesForm, ASliderDragWritesTheStoreOnceWhenItEnds)
{
    OstrelPreferencesView view(QStringLiteral("tovarine"), nullptr, OstrelPrefsLayout::full, store);
    view.resize(440, 680);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    auto* slider = child<OstrelNSSlider>(view, "sidebarWidthSlider");
    const QPoint handle = handleCentre(slider);
    QSignalSpy writes(&store, &UserDefaults::changed);
    const auto send = [](QSlider* target, QEvent::Type type, QPoint at, Qt::MouseButton button,
                         Qt::MouseButtons held) {
        QMouseEvent event(type, QPointF(at), QPointF(target->mapToGlobal(at)), button, held, Qt::NoModifier);
        QApplication::sendEvent(target, &event);
    };
    send(slider, QEvent::MouseButtonPress, handle, Qt::LeftButton, Qt::LeftButton);
    ASSERT_TRUE(slider->isSliderDown());
    QStringList shown;
    for (int step = 1; step <= 5; ++step) {
        send(slider, QEvent::MouseMove, handle + QPoint(10 * step, 0), Qt::NoButton, Qt::LeftButton);
        shown << child<QLabel>(view, "sidebarWidthValue")->text();
    }
    EXPECT_EQ(writes.count(), 0) << "nothing written while dragging";
    EXPECT_FALSE(store.contains(PrefsKey::sidebarWidth));
    EXPECT_EQ(shown.removeDuplicates(), 0) << "the value beside the slider follows every step";
    EXPECT_NE(shown.last(), QStringLiteral("340pt"));
    send(slider, QEvent::MouseButtonRelease, handle + QPoint(50, 0), Qt::LeftButton, Qt::NoButton);
    ASSERT_EQ(writes.count(), 1);
    EXPECT_EQ(writes.first().first().toString(), PrefsKey::sidebarWidth);
    EXPECT_EQ(store.real(PrefsKey::sidebarWidth, -1), slider->shownValue());
    EXPECT_EQ(child<QLabel>(view, "sidebarWidthValue")->text(), shown.last());

    QTest::keyClick(slider, Qt::Key_Left);
    EXPECT_EQ(writes.count(), 2) << "a key writes at once";

    // Pressing a handle and letting go without moving it writes nothing.
    auto* scale = child<OstrelNSSlider>(view, "uiScaleSlider");
    const QPoint still = handleCentre(scale);
    send(scale, QEvent::MouseButtonPress, still, Qt::LeftButton, Qt::LeftButton);
    ASSERT_TRUE(scale->isSliderDown());
    send(scale, QEvent::MouseButtonRelease, still, Qt::LeftButton, Qt::NoButton);
    EXPECT_FALSE(scale->isSliderDown());
    EXPECT_EQ(writes.count(), 2);
    EXPECT_FALSE(store.contains(PrefsKey::uiScale));
}

namespace {

// Pixels of `image` that something was drawn on.
int drawnPixels(const QImage& image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            count += image.pixelColor(x, y).alpha() > 64 ? 1 : 0;
        }
    }
    return count;
}

bool near(const QColor& a, const QColor& b)
{
    return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue()) < 30;
}

} // namespace

TEST_F(PreferencesForm, EverySectionHeadingDrawsItsSymbol)
{
    for (const char* name :
         {"sparkles", "slider.horizontal.3", "figure.walk.motion", "arrow.counterclockwise"}) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(OstrelSymbolPainter::canDraw(QString::fromLatin1(name)));
        // At the heading's size (11 points on a 2x pixmap) some of the square is ink.
        const QImage image =
            OstrelSymbolPainter::pixmap(QString::fromLatin1(name), Qt::white, 11, 2.0).toImage();
        EXPECT_GT(drawnPixels(image), image.width() * image.height() / 20);
    }
    for (OstrelPrefsLayout layout : {OstrelPrefsLayout::full, OstrelPrefsLayout::minimal}) {
        OstrelPreferencesView view(QStringLiteral("tovarine"), nullptr, layout, store);
        const QList<QLabel*> symbols = view.findChildren<QLabel*>(QStringLiteral("sectionSymbol"));
        EXPECT_EQ(symbols.size(), layout == OstrelPrefsLayout::full ? 3 : 2);
        for (QLabel* symbol : symbols) {
            EXPECT_GT(drawnPixels(symbol->pixmap().toImage()), 20);
        }
    }
}

TEST_F(PreferencesForm, SwitchesShowAKnobAtTheEndOfTheirState)
{
    OstrelPreferencesView view(QStringLiteral("tovarine"), nullptr, OstrelPrefsLayout::full, store);
    view.resize(440, 680);
    view.show();
    const QColor knob(0xf0, 0xea, 0xd8);
    for (const char* name : {"vorraLickSwitch", "reduceMotionSwitch"}) {
        SCOPED_TRACE(name);
        auto* toggle = child<QCheckBox>(view, QString::fromLatin1(name));
        const auto grabbed = [toggle] { return toggle->grab().toImage(); };
        const int mid = toggle->height() / 2;
        QImage off = grabbed();
        EXPECT_TRUE(near(off.pixelColor(mid, mid), knob)) << off.pixelColor(mid, mid).name().toStdString();
        EXPECT_FALSE(near(off.pixelColor(toggle->width() - mid, mid), knob));
        toggle->click();
        ASSERT_TRUE(toggle->isChecked());
        QImage on = grabbed();
        EXPECT_TRUE(near(on.pixelColor(toggle->width() - mid, mid), knob));
        EXPECT_FALSE(near(on.pixelColor(mid, mid), knob));
        EXPECT_NE(on.pixelColor(toggle->width() / 2, 1), off.pixelColor(toggle->width() / 2, 1))
            << "tinted when on";
    }
}

TEST_F(PreferencesForm, SwitchesAreCheckBoxesToAssistiveTechnology)
{
    OstrelPreferencesView view(QStringLiteral("tovarine"), nullptr, OstrelPrefsLayout::full, store);
    view.resize(440, 680);
    view.show();
    struct Row
    {
        const char* name;
        const char* label;
        const char* key;
    };
    const Row rows[] = {{"vorraLickSwitch", "VorraLick", "vorraLick"},
                        {"reduceMotionSwitch", "Reduce Motion", "reducedMotion"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        auto* toggle = child<QCheckBox>(view, QString::fromLatin1(row.name));
        QAccessibleInterface* face = QAccessible::queryAccessibleInterface(toggle);
        ASSERT_NE(face, nullptr);
        ASSERT_NE(face->actionInterface(), nullptr);
        EXPECT_EQ(face->role(), QAccessible::CheckBox);
        EXPECT_EQ(face->text(QAccessible::Name), QString::fromLatin1(row.label));
        for (bool on : {true, false}) {
            SCOPED_TRACE(on ? "on" : "off");
            // Switched by a screen reader through the toggle action a check box offers.
            ASSERT_TRUE(
                face->actionInterface()->actionNames().contains(QAccessibleActionInterface::toggleAction()));
            face->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
            EXPECT_EQ(store.boolean(QString::fromLatin1(row.key), !on), on);
            EXPECT_EQ(toggle->isChecked(), on);
            EXPECT_TRUE(face->state().checkable);
            EXPECT_EQ(bool(face->state().checked), on);
            EXPECT_EQ(bool(face->state().selected), on);
            EXPECT_EQ(face->text(QAccessible::Value), on ? QStringLiteral("On") : QStringLiteral("Off"));
            EXPECT_EQ(toggle->toolTip(), QString::fromLatin1(row.label) + (on ? ": On" : ": Off"));
        }
        // Switched from elsewhere (the store), the face follows.
        store.setValue(QString::fromLatin1(row.key), true);
        EXPECT_TRUE(face->state().checked);
        EXPECT_EQ(face->text(QAccessible::Value), QStringLiteral("On"));
    }
}

TEST_F(PreferencesForm, ControlsWithoutAHintSpeakNoneAndTheOthersTheirs)
{
    OstrelPreferencesView view(QStringLiteral("tovarine"), nullptr, OstrelPrefsLayout::full, store);
    struct Row
    {
        QWidget* widget;
        const char* hint;
    };
    const Row rows[] = {{child<QWidget>(view, "lickableSlider"), ""},
                        {swatch(view, 50), ""},
                        {child<QWidget>(view, "uiScaleSlider"), "Scale the entire sidebar panel."}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.widget->objectName().toStdString());
        QAccessibleInterface* face = QAccessible::queryAccessibleInterface(row.widget);
        ASSERT_NE(face, nullptr);
        EXPECT_FALSE(face->text(QAccessible::Name).isEmpty());
        EXPECT_EQ(face->text(QAccessible::Description), QString::fromLatin1(row.hint));
        EXPECT_FALSE(row.widget->toolTip().isEmpty());
    }
}

TEST_F(PreferencesForm, MinimalLayoutShowsOnlyReduceMotionBeforeTheFirstDivider)
{
    auto* own = new QLabel(QStringLiteral("App settings"));
    own->setObjectName(QStringLiteral("appOwn"));
    OstrelPreferencesView view(QStringLiteral("tovarine"), own, OstrelPrefsLayout::minimal, store);
    EXPECT_NE(view.findChild<QWidget*>(QStringLiteral("sectionAccessibility")), nullptr);
    EXPECT_EQ(view.findChild<QWidget*>(QStringLiteral("sectionZaraviduDA")), nullptr);
    EXPECT_EQ(view.findChild<QWidget*>(QStringLiteral("sectionInterface")), nullptr);
    EXPECT_EQ(view.findChild<QWidget*>(QStringLiteral("lickableSlider")), nullptr);
    EXPECT_EQ(view.findChild<QWidget*>(QStringLiteral("uiScaleSlider")), nullptr);
    EXPECT_NE(view.findChild<QCheckBox*>(QStringLiteral("reduceMotionSwitch")), nullptr);
    EXPECT_NE(view.findChild<QLabel*>(QStringLiteral("appOwn")), nullptr);
    EXPECT_NE(view.findChild<QPushButton*>(QStringLiteral("resetButton")), nullptr);
}

TEST(PreferencesPanel, ReduceMotionSwitchTakesEffectAndASecondShowKeepsTheFirstWindow)
{
    QTemporaryDir dir;
    tovarine::test::useTemporarySettings(dir);
    OstrelPreferencesPanel::show(QStringLiteral("tovarine"), new QLabel(QStringLiteral("first")));
    QWidget* window = OstrelPreferencesPanel::window();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("tovarine Preferences"));
    EXPECT_EQ(window->size(), QSize(440, 680));
    EXPECT_EQ(window->minimumSize(), QSize(400, 560));

    EXPECT_FALSE(OstrelMotionPreference::shared().reduceMotion());
    window->findChild<QCheckBox*>(QStringLiteral("reduceMotionSwitch"))->click();
    EXPECT_TRUE(OstrelMotionPreference::shared().reduceMotion());

    window->close();
    OstrelPreferencesPanel::show(QStringLiteral("other"), new QLabel(QStringLiteral("second")));
    EXPECT_EQ(OstrelPreferencesPanel::window(), window);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("tovarine Preferences"));

    OstrelSettingsScene scene(QStringLiteral("tovarine"), nullptr, OstrelPrefsLayout::minimal);
    EXPECT_EQ(scene.size(), QSize(440, 680));

    // The motion preference is shared by the whole process: leave it as the next test expects it.
    window->findChild<QCheckBox*>(QStringLiteral("reduceMotionSwitch"))->click();
    EXPECT_FALSE(OstrelMotionPreference::shared().reduceMotion());
}
