#include "OstrelMotionPreference.h"
#include "OstrelRepeatingOpacity.h"

#include <QScopeGuard>
#include <QWidget>

#include <gtest/gtest.h>

using namespace ostrel;

TEST(OstrelRepeatingOpacity, PulsesWhileShownAndStandsStillUnderReduceMotion)
{
    OstrelMotionPreference& motion = OstrelMotionPreference::shared();
    const bool before = motion.reduceMotion();
    const auto restore = qScopeGuard([&] { motion.accessibilityChanged(before); });
    motion.accessibilityChanged(false);

    QWidget widget;
    OstrelRepeatingOpacity* pulse = ostrelRepeating(&widget, OstrelTiming::ambient(), true);
    EXPECT_FALSE(pulse->looping());
    widget.show();
    EXPECT_TRUE(pulse->looping());

    motion.accessibilityChanged(true); // stops at full opacity
    EXPECT_FALSE(pulse->looping());
    EXPECT_DOUBLE_EQ(pulse->opacity(), 1.0);

    motion.accessibilityChanged(false); // no restart while shown: rests dimmed
    EXPECT_FALSE(pulse->looping());
    EXPECT_DOUBLE_EQ(pulse->opacity(), 0.7);

    widget.hide();
    widget.show(); // appears again: pulses again
    EXPECT_TRUE(pulse->looping());

    QWidget still;
    motion.accessibilityChanged(true);
    OstrelRepeatingOpacity* stillPulse = ostrelRepeating(&still, OstrelTiming::ambient(), true);
    still.show();
    EXPECT_FALSE(stillPulse->looping());
    EXPECT_DOUBLE_EQ(stillPulse->opacity(), 1.0);
}
