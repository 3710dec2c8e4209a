#include "DesktopAccessibilityReader.h"
#include "OstrelAccessibilitySettings.h"
#include "OstrelMotionPreference.h"
#include "PrefsKey.h"
#include "TestSupport.h"
#include "UserDefaults.h"

#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace ostrel;

namespace {

// Each test runs in its own process (one CTest entry per test), so the fake reader installed here is the one
// the shared objects bind to.
struct AccessibilityFollowers : ::testing::Test
{
    AccessibilityFollowers()
    {
        tovarine::test::useTemporarySettings(settingsDir);
        auto owned = std::make_unique<FakeAccessibilityReader>();
        fake = owned.get();
        DesktopAccessibilityReader::install(std::move(owned));
    }
    QTemporaryDir settingsDir;
    FakeAccessibilityReader* fake = nullptr;
};

} // namespace

TEST_F(AccessibilityFollowers, SettingsMirrorTheDesktopOnALaterTurnInTheStatedOrder)
{
    auto& settings = OstrelAccessibilitySettings::shared();
    EXPECT_FALSE(settings.increaseContrast());
    EXPECT_FALSE(settings.reduceTransparency());
    EXPECT_FALSE(settings.reduceMotion());

    QStringList order;
    QObject::connect(&settings, &OstrelAccessibilitySettings::increaseContrastChanged,
                     [&] { order << "contrast"; });
    QObject::connect(&settings, &OstrelAccessibilitySettings::reduceTransparencyChanged,
                     [&] { order << "transparency"; });
    QObject::connect(&settings, &OstrelAccessibilitySettings::reduceMotionChanged,
                     [&] { order << "motion"; });
    fake->set({true, false, true});
    EXPECT_FALSE(settings.increaseContrast()); // not inside the reader's dispatch
    QSignalSpy motion(&settings, &OstrelAccessibilitySettings::reduceMotionChanged);
    ASSERT_TRUE(motion.wait(tovarine::test::kHangCeilingMs));
    EXPECT_TRUE(settings.increaseContrast());
    EXPECT_TRUE(settings.reduceMotion());
    EXPECT_TRUE(OstrelMotionPreference::shared().reduceMotion());
    EXPECT_EQ(order.first(), QStringLiteral("contrast"));
    EXPECT_FALSE(order.contains(QStringLiteral("transparency")));
}

TEST_F(AccessibilityFollowers, TheStoredReduceMotionSwitchTakesEffectWithTheDesktopOptionOff)
{
    auto& motion = OstrelMotionPreference::shared();
    auto& store = UserDefaults::standard();
    EXPECT_FALSE(motion.reduceMotion());
    QSignalSpy spy(&motion, &OstrelMotionPreference::reduceMotionChanged);
    store.setValue(PrefsKey::reducedMotion, true);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_TRUE(motion.reduceMotion());
    // Either source keeps it on; only both off turn it off.
    fake->set({false, false, true});
    QCoreApplication::processEvents();
    store.setValue(PrefsKey::reducedMotion, false);
    EXPECT_TRUE(motion.reduceMotion());
    fake->set({});
    QCoreApplication::processEvents();
    EXPECT_FALSE(motion.reduceMotion());
    EXPECT_EQ(spy.count(), 2);
}
