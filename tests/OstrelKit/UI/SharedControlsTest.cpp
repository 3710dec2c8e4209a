#include "HangCeiling.h"
#include "KitDemoHost.h"
#include "LickableGloss.h"
#include "OstrelAccessible.h"
#include "OstrelSlider.h"
#include "OstrelStatusIndicator.h"
#include "OstrelTextFocus.h"
#include "OstrelTextFocusGuard.h"
#include "ScopedLocale.h"
#include "ScreenReaderNumbers.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QGraphicsDropShadowEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QVBoxLayout>
#include <cmath>
#include <gtest/gtest.h>
#include <optional>

using namespace ostrel;

TEST(OstrelSlider, SpeaksItsFormattedValueAndShowsItInTheTooltip)
{
    OstrelSlider plain(QStringLiteral("Opacity"), 0.5);
    EXPECT_EQ(plain.formattedValue(), QStringLiteral("0.50"));
    EXPECT_EQ(plain.toolTip(), QStringLiteral("Opacity: 0.50"));
    EXPECT_EQ(plain.accessibleName(), QStringLiteral("Opacity"));
    EXPECT_EQ(spokenValue(&plain), QStringLiteral("0.50"));

    OstrelSlider::Options points;
    points.upper = 20;
    points.format = QStringLiteral("%.1f");
    points.accessibilityUnit = QStringLiteral("pt");
    OstrelSlider withUnit(QStringLiteral("Size"), 12.25, points);
    EXPECT_EQ(withUnit.formattedValue(), QStringLiteral("12.2 pt")); // C rounding of the binary value
    EXPECT_EQ(withUnit.toolTip(), QStringLiteral("Size: 12.2 pt"));
}

TEST(OstrelSlider, StepsStopAtMultiplesAndContinuousFollowsTheDrag)
{
    OstrelSlider::Options quarters;
    quarters.step = 0.25;
    OstrelSlider stepped(QStringLiteral("Level"), 0.0, quarters);
    EXPECT_EQ(stepped.slider()->maximum(), 4);
    std::vector<double> seen;
    QObject::connect(&stepped, &OstrelSlider::valueChanged, [&](double v) { seen.push_back(v); });
    for (int i = 0; i <= 4; ++i) {
        stepped.slider()->setValue(i);
    }
    EXPECT_EQ(seen, (std::vector<double>{0.25, 0.5, 0.75, 1.0}));
    stepped.setValue(0.6);
    EXPECT_EQ(stepped.value(), 0.5);
    stepped.setValue(7);
    EXPECT_EQ(stepped.value(), 1.0);

    OstrelSlider continuous(QStringLiteral("Level"), 0.0);
    continuous.slider()->setValue(continuous.slider()->maximum() / 3);
    EXPECT_NEAR(continuous.value(), 1.0 / 3, 1e-3);
    EXPECT_NE(continuous.value(), 0.25);
}

TEST(OstrelSlider, AStepFinerThanTenThousandthOfTheRangeKeepsItsValues)
{
    OstrelSlider::Options fine;
    fine.upper = 100;
    fine.step = 0.001;
    fine.format = QStringLiteral("%.3f");
    OstrelSlider slider(QStringLiteral("Offset"), 0.0, fine);
    slider.setValue(50);
    EXPECT_NEAR(slider.value(), 50.0, 1e-9);
    EXPECT_EQ(slider.formattedValue(), QStringLiteral("50.000"));
    slider.setValue(12.3456);
    EXPECT_NEAR(slider.value(), 12.346, 1e-9); // onto the step grid
    // Dragged to either end, the value is the range's end.
    slider.slider()->setValue(slider.slider()->maximum());
    EXPECT_NEAR(slider.value(), 100.0, 1e-9);
    slider.slider()->setValue(slider.slider()->minimum());
    EXPECT_EQ(slider.value(), 0.0);
    // Every position stays on the step grid and follows the drag.
    slider.slider()->setValue(slider.slider()->maximum() / 4);
    EXPECT_NEAR(slider.value(), 25.0, 1e-9);

    // A step too fine for one position each still gives values on its grid.
    OstrelSlider::Options tiny;
    tiny.upper = 1e9;
    tiny.step = 0.5;
    OstrelSlider wide(QStringLiteral("Wide"), 0.0, tiny);
    wide.setValue(123456789.3);
    EXPECT_EQ(wide.value(), 123456789.5);
    wide.slider()->setValue(wide.slider()->maximum());
    EXPECT_EQ(wide.value(), 1e9);
    wide.slider()->setValue(wide.slider()->maximum() / 3);
    EXPECT_EQ(std::fmod(wide.value(), 0.5), 0.0);
}

TEST(OstrelSlider, KeysMoveOneStepWhereAPositionStandsForSeveral)
{
    struct Row
    {
        double upper;
        double step;
        double from;
    };
    // Ten million steps of 1, two billion steps of 0.5 (past the slider's integer positions), and one
    // million steps (one position each) for comparison.
    const Row rows[] = {{1e7, 1, 0}, {1e7, 1, 5e6}, {1e9, 0.5, 123456789}, {1e6, 1, 10}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.upper / row.step);
        OstrelSlider::Options options;
        options.upper = row.upper;
        options.step = row.step;
        options.format = QStringLiteral("%.1f");
        OstrelSlider slider(QStringLiteral("Frame"), row.from, options);
        QAccessibleInterface* face = QAccessible::queryAccessibleInterface(slider.slider());
        ASSERT_NE(face->valueInterface(), nullptr);
        // The increment a screen reader is told is one unit of the format's last digit, not the step.
        EXPECT_EQ(face->valueInterface()->minimumStepSize().toDouble(), 0.1);

        QTest::keyClick(slider.slider(), Qt::Key_Right);
        EXPECT_EQ(slider.value(), row.from + row.step);
        QTest::keyClick(slider.slider(), Qt::Key_Right);
        EXPECT_EQ(slider.value(), row.from + 2 * row.step);
        EXPECT_EQ(face->text(QAccessible::Value), QString::number(row.from + 2 * row.step, 'f', 1));
        QTest::keyClick(slider.slider(), Qt::Key_Left);
        QTest::keyClick(slider.slider(), Qt::Key_Down);
        EXPECT_EQ(slider.value(), row.from);
        if (row.from == 0) {
            QTest::keyClick(slider.slider(), Qt::Key_Left);
            EXPECT_EQ(slider.value(), 0.0) << "stays at the lower end";
        }
    }
}

// A screen reader here reads only the slider's numbers and writes the current value with as many decimals as
// the minimum increment has: the slider tells it the number its format shows, and an increment of that
// number's last digit, so the reader says those digits (the unit and other words stay in the spoken text).
TEST(OstrelSlider, AScreenReaderSaysTheDigitsTheFormatShows)
{
    struct Row
    {
        const char* format;
        double lower;
        double upper;
        std::optional<double> step;
        double value;
        const char* unit;
        const char* text; // the spoken text
        double current;   // the number the screen reader is told
        const char* says; // what it says from the numbers
    };
    const Row rows[] = {
        {"%.2f", 0, 1, 0.25, 0.75, "pt", "0.75 pt", 0.75, "0.75"},
        {"%.2f", 0, 1, std::nullopt, 0.5, "", "0.50", 0.5, "0.50"},
        {"%.1f", 0, 1e7, 1, 5000001, "frames", "5000001.0 frames", 5000001, "5000001.0"},
        {"%.0f%%", 0, 100, std::nullopt, 42.4, "", "42%", 42, "42"},
        {"x2 %.1f", 0, 1, std::nullopt, 0.25, "", "x2 0.2", 0.2, "0.2"}, // the number after the literal text
        {"%g", 0, 1, std::nullopt, 0.125, "", "0.125", 0.125, "0.125"},
        {"%.2e", 0, 1e4, std::nullopt, 1234.5, "", "1.23e+03", 1230, "1230"},
        {"%.3f", -1, 1, 0.001, -0.25, "V", "-0.250 V", -0.25, "-0.250"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.format);
        OstrelSlider::Options options;
        options.lower = row.lower;
        options.upper = row.upper;
        options.step = row.step;
        options.format = QString::fromLatin1(row.format);
        options.accessibilityUnit = QString::fromLatin1(row.unit);
        OstrelSlider slider(QStringLiteral("Frame"), row.value, options);
        QAccessibleInterface* face = QAccessible::queryAccessibleInterface(slider.slider());
        ASSERT_NE(face->valueInterface(), nullptr);
        EXPECT_EQ(face->text(QAccessible::Value), QString::fromUtf8(row.text));
        EXPECT_EQ(face->text(QAccessible::Name), QStringLiteral("Frame"));
        const double current = face->valueInterface()->currentValue().toDouble();
        EXPECT_NEAR(current, row.current, 1e-9);
        EXPECT_EQ(tovarine::test::readerSays(current, face->valueInterface()->minimumStepSize().toDouble()),
                  QString::fromLatin1(row.says));
    }
}

TEST(OstrelSlider, TheFocusedSliderCarriesTheLabelAndSpeaksTheFormattedValue)
{
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    OstrelSlider::Options fine;
    fine.upper = 100;
    fine.step = 0.001;
    fine.accessibilityUnit = QStringLiteral("mm");
    auto* stepped = new OstrelSlider(QStringLiteral("Offset"), 50, fine);
    auto* continuous = new OstrelSlider(QStringLiteral("Opacity"), 0.5);
    layout->addWidget(stepped);
    layout->addWidget(continuous);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    stepped->setFocus();
    QTRY_VERIFY(QApplication::focusWidget() != nullptr);

    QWidget* focused = QApplication::focusWidget();
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(focused);
    ASSERT_NE(face, nullptr);
    EXPECT_EQ(face->role(), QAccessible::Slider);
    EXPECT_EQ(face->text(QAccessible::Name), QStringLiteral("Offset"));
    EXPECT_EQ(face->text(QAccessible::Value), QStringLiteral("50.00 mm"));
    ASSERT_NE(face->valueInterface(), nullptr);
    EXPECT_NEAR(face->valueInterface()->currentValue().toDouble(), 50.0, 1e-9);
    EXPECT_EQ(face->valueInterface()->maximumValue().toDouble(), 100.0);

    // One arrow key moves a step's worth, and the spoken value follows.
    QTest::keyClick(focused, Qt::Key_Right);
    EXPECT_NEAR(stepped->value(), 50.001, 1e-9);
    EXPECT_EQ(face->text(QAccessible::Value), QStringLiteral("50.00 mm"));
    for (int i = 0; i < 9; ++i) {
        QTest::keyClick(focused, Qt::Key_Right);
    }
    EXPECT_EQ(face->text(QAccessible::Value), QStringLiteral("50.01 mm"));
    // A value set by assistive technology lands on the slider.
    face->valueInterface()->setCurrentValue(20.0);
    EXPECT_NEAR(stepped->value(), 20.0, 1e-9);

    // A continuous slider moves 1/100 of its range per arrow key.
    continuous->setFocus();
    QTRY_VERIFY(QApplication::focusWidget() != focused);
    QWidget* second = QApplication::focusWidget();
    QAccessibleInterface* secondFace = QAccessible::queryAccessibleInterface(second);
    EXPECT_EQ(secondFace->text(QAccessible::Name), QStringLiteral("Opacity"));
    QTest::keyClick(second, Qt::Key_Right);
    EXPECT_NEAR(continuous->value(), 0.51, 1e-9);
    EXPECT_EQ(secondFace->text(QAccessible::Value), QStringLiteral("0.51"));
    QTest::keyClick(second, Qt::Key_Left);
    QTest::keyClick(second, Qt::Key_Left);
    EXPECT_NEAR(continuous->value(), 0.49, 1e-9);
}

TEST(OstrelSlider, AFormatWithoutExactlyOneNumberConversionIsRefused)
{
    for (const char* bad : {"%d", "%s", "%.2f of %.2f", "no number", "%n", "%*.2f", "%"}) {
        OstrelSlider::Options options;
        options.format = QString::fromLatin1(bad);
        OstrelSlider slider(QStringLiteral("Gain"), 0.5, options);
        ASSERT_TRUE(slider.formatProblem().has_value()) << bad;
        EXPECT_EQ(slider.formattedValue(), QStringLiteral("0.50")) << bad;
    }
    OstrelSlider::Options percent;
    percent.format = QStringLiteral("%.0f%%");
    EXPECT_EQ(OstrelSlider(QStringLiteral("Gain"), 0.5, percent).formattedValue(), QStringLiteral("0%"));
    EXPECT_EQ(OstrelSlider::spokenText(1.625, QStringLiteral("%.2f"), {}), QStringLiteral("1.62"));
}

// The application runs under its user's locale; a slider's texts keep their point under a decimal comma.
TEST(OstrelSlider, ItsTextsKeepTheirPointUnderACommaLocale)
{
    const tovarine::test::ScopedLocale comma(tovarine::test::kCommaLocale);
    if (!comma.active()) {
        GTEST_SKIP() << tovarine::test::kCommaLocale << " is not available here";
    }
    OstrelSlider::Options points;
    points.upper = 20;
    points.format = QStringLiteral("%.1f");
    points.accessibilityUnit = QStringLiteral("pt");
    OstrelSlider slider(QStringLiteral("Size"), 12.25, points);
    EXPECT_EQ(slider.formattedValue(), QStringLiteral("12.2 pt"));
    EXPECT_EQ(slider.toolTip(), QStringLiteral("Size: 12.2 pt"));
    EXPECT_EQ(spokenValue(&slider), QStringLiteral("12.2 pt"));
}

TEST(OstrelAccessible, LabelsHintsAndToggles)
{
    QPushButton button;
    ostrelAccessible(&button, QStringLiteral("Export"));
    EXPECT_EQ(button.accessibleName(), QStringLiteral("Export"));
    EXPECT_EQ(button.accessibleDescription(), QString());
    EXPECT_EQ(button.toolTip(), QStringLiteral("Export"));
    ostrelAccessible(&button, QStringLiteral("Export"), QStringLiteral("Writes an OBJ file"));
    EXPECT_EQ(button.accessibleDescription(), QStringLiteral("Writes an OBJ file"));
    EXPECT_EQ(button.toolTip(), QStringLiteral("Writes an OBJ file"));

    QWidget sw;
    ostrelAccessibleToggle(&sw, QStringLiteral("Grid"), false);
    EXPECT_EQ(spokenValue(&sw), QStringLiteral("Off"));
    EXPECT_FALSE(spokenSelected(&sw));
    EXPECT_EQ(sw.toolTip(), QStringLiteral("Grid: Off"));
    ostrelAccessibleToggle(&sw, QStringLiteral("Grid"), true);
    EXPECT_EQ(spokenValue(&sw), QStringLiteral("On"));
    EXPECT_TRUE(spokenSelected(&sw));
    EXPECT_EQ(sw.toolTip(), QStringLiteral("Grid: On"));
}

namespace {

// What assistive technology reads of a switch.
struct SwitchFace
{
    QAccessible::Role role;
    bool checkable;
    bool checked;
    bool selected;
    QStringList actions;
};

SwitchFace switchFace(QWidget* widget)
{
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
    EXPECT_NE(face, nullptr);
    EXPECT_NE(face->actionInterface(), nullptr);
    return {face->role(), bool(face->state().checkable), bool(face->state().checked),
            bool(face->state().selected), face->actionInterface()->actionNames()};
}

} // namespace

TEST(OstrelAccessible, ACheckBoxSwitchKeepsWhatTheCheckBoxTellsAndAddsLabelAndValue)
{
    QCheckBox plain;
    QCheckBox kit;
    ostrelAccessibleToggle(&kit, QStringLiteral("Grid"), false);
    // The caller speaks the new state when the switch changes, as the Preferences window does.
    QObject::connect(&kit, &QCheckBox::toggled,
                     [&kit](bool on) { ostrelAccessibleToggle(&kit, QStringLiteral("Grid"), on); });
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(&kit);
    ASSERT_NE(face, nullptr);
    EXPECT_EQ(face->text(QAccessible::Name), QStringLiteral("Grid"));
    EXPECT_EQ(face->text(QAccessible::Description), QString()) << "no hint: the tooltip is not spoken as one";
    EXPECT_EQ(face->text(QAccessible::Value), QStringLiteral("Off"));

    for (bool on : {false, true, false}) {
        SCOPED_TRACE(on ? "on" : "off");
        plain.setChecked(on);
        if (kit.isChecked() != on) {
            // Toggled the way a screen reader does it: through the face's own toggle action.
            ASSERT_TRUE(
                face->actionInterface()->actionNames().contains(QAccessibleActionInterface::toggleAction()));
            face->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
        }
        ASSERT_EQ(kit.isChecked(), on);
        const SwitchFace want = switchFace(&plain);
        const SwitchFace got = switchFace(&kit);
        EXPECT_EQ(got.role, QAccessible::CheckBox);
        EXPECT_EQ(got.role, want.role);
        EXPECT_TRUE(got.checkable);
        EXPECT_EQ(got.checkable, want.checkable);
        EXPECT_EQ(got.checked, on);
        EXPECT_EQ(got.checked, want.checked);
        EXPECT_EQ(got.actions, want.actions);
        EXPECT_TRUE(got.actions.contains(QAccessibleActionInterface::toggleAction()));
        EXPECT_EQ(got.selected, on);
        EXPECT_EQ(face->text(QAccessible::Value), on ? QStringLiteral("On") : QStringLiteral("Off"));
        EXPECT_EQ(kit.toolTip(), on ? QStringLiteral("Grid: On") : QStringLiteral("Grid: Off"));
    }

    // A disabled switch offers no toggle, as a plain check box does.
    kit.setEnabled(false);
    plain.setEnabled(false);
    EXPECT_EQ(switchFace(&kit).actions, switchFace(&plain).actions);
    face->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    EXPECT_FALSE(kit.isChecked());
}

TEST(OstrelAccessible, WithoutAHintNothingIsSpokenAsTheHint)
{
    QPushButton button(QStringLiteral("Export"));
    ostrelAccessible(&button, QStringLiteral("Export mesh"));
    QWidget surface;
    ostrelAccessible(&surface, QStringLiteral("Swatch"));
    QPushButton hinted;
    ostrelAccessible(&hinted, QStringLiteral("Export"), QStringLiteral("Writes an OBJ file"));
    OstrelSlider slider(QStringLiteral("Opacity"), 0.5);

    struct Row
    {
        QWidget* widget;
        const char* name;
        const char* hint;
        const char* tooltip;
    };
    const Row rows[] = {{&button, "Export mesh", "", "Export mesh"},
                        {&surface, "Swatch", "", "Swatch"},
                        {&hinted, "Export", "Writes an OBJ file", "Writes an OBJ file"},
                        {slider.slider(), "Opacity", "", "Opacity: 0.50"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        QAccessibleInterface* face = QAccessible::queryAccessibleInterface(row.widget);
        ASSERT_NE(face, nullptr);
        EXPECT_EQ(face->text(QAccessible::Name), QString::fromUtf8(row.name));
        EXPECT_EQ(face->text(QAccessible::Description), QString::fromUtf8(row.hint));
        EXPECT_EQ(row.widget->toolTip(), QString::fromUtf8(row.tooltip));
    }

    // The button is still a button to assistive technology: its role and its press action.
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(&button);
    EXPECT_EQ(face->role(), QAccessible::Button);
    EXPECT_FALSE(face->state().checkable);
    QSignalSpy clicked(&button, &QPushButton::clicked);
    ASSERT_TRUE(face->actionInterface()->actionNames().contains(QAccessibleActionInterface::pressAction()));
    face->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(clicked.count(), 1);
}

TEST(OstrelStatusIndicator, DrawsEachStatusInItsColourAndSpeaksItsLabel)
{
    using S = OstrelStatus::Status;
    struct Row
    {
        S status;
        const char* label;
        const char* symbol;
    };
    const Row rows[] = {{S::ok, "OK", "checkmark.circle.fill"},
                        {S::warning, "Warning", "exclamationmark.triangle.fill"},
                        {S::error, "Error", "xmark.circle.fill"},
                        {S::info, "Information", "info.circle.fill"},
                        {S::inactive, "Inactive", "circle"}};
    for (const Row& row : rows) {
        OstrelStatusIndicator indicator(row.status, 24);
        EXPECT_EQ(indicator.accessibleName(), QString::fromLatin1(row.label));
        EXPECT_EQ(OstrelStatus::symbol(row.status), QString::fromLatin1(row.symbol));
        indicator.resize(indicator.sizeHint());
        const QImage image = indicator.grab().toImage();
        // Some pixel carries the status colour.
        const QColor want = OstrelStatus::color(row.status);
        bool found = false;
        for (int y = 0; y < image.height() && !found; ++y) {
            for (int x = 0; x < image.width() && !found; ++x) {
                const QColor c = image.pixelColor(x, y);
                found = c.alpha() == 255 && std::abs(c.red() - want.red()) < 3 &&
                        std::abs(c.green() - want.green()) < 3 && std::abs(c.blue() - want.blue()) < 3;
            }
        }
        EXPECT_TRUE(found) << row.label;
    }
    EXPECT_EQ(OstrelStatus::color(S::ok), QColor::fromRgbF(0.30f, 0.90f, 0.55f));
    EXPECT_NE(OstrelStatus::color(S::ok), QColor::fromRgbF(0.30f, 0.95f, 0.60f));
}

TEST(LickableGloss, OverlayLetsClicksThroughAndGlowFollowsIntensity)
{
    QPushButton surface(QStringLiteral("Surface"));
    surface.resize(120, 40);
    QWidget* overlay = lickableGloss(&surface, 1.0, 6);
    EXPECT_TRUE(overlay->testAttribute(Qt::WA_TransparentForMouseEvents));
    auto* glow = qobject_cast<QGraphicsDropShadowEffect*>(surface.graphicsEffect());
    ASSERT_NE(glow, nullptr);
    EXPECT_DOUBLE_EQ(glow->blurRadius(), 12.0);
    EXPECT_EQ(glow->offset(), QPointF(0, 3));
    EXPECT_NEAR(glow->color().alphaF(), 0.35, 0.01);
    EXPECT_EQ(lickableGloss(&surface, 0.3, 6), overlay); // updated, not stacked
    EXPECT_EQ(glow->color().alpha(), 0);
}

TEST(OstrelTextFocusGuard, MirrorsFocusAndClearsOnDisappearing)
{
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* field = new QLineEdit;
    auto* other = new QLineEdit;
    layout->addWidget(field);
    layout->addWidget(other);
    ostrelTextFocusGuard(field);
    window.show();
    QApplication::setActiveWindow(&window);
    auto& focus = OstrelTextFocus::shared();
    field->setFocus();
    QTRY_VERIFY_WITH_TIMEOUT(focus.isEditing(), tovarine::test::kHangCeilingMs);
    other->setFocus();
    QTRY_VERIFY_WITH_TIMEOUT(!focus.isEditing(), tovarine::test::kHangCeilingMs);
    field->setFocus();
    QTRY_VERIFY_WITH_TIMEOUT(focus.isEditing(), tovarine::test::kHangCeilingMs);
    field->hide(); // disappears while focused
    EXPECT_FALSE(focus.isEditing());

    // A guard following the caller's own focus state takes no focus and only mirrors what it is told.
    auto* custom = new QLabel(QStringLiteral("custom"));
    layout->addWidget(custom);
    auto* guard = ostrelTextFocusGuard(custom, false);
    EXPECT_EQ(custom->focusPolicy(), Qt::NoFocus);
    guard->setFocused(true);
    EXPECT_TRUE(focus.isEditing());
    delete custom;
    EXPECT_FALSE(focus.isEditing());
}
