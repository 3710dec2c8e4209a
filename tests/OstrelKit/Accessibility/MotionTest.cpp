#include "OstrelMotion.h"
#include "OstrelMotionPreference.h"
#include "OstrelRepeatingPulse.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <stdexcept>

using namespace ostrel;

namespace {

// Restores the shared switch after a test that flips it.
struct ReduceMotionScope
{
    explicit ReduceMotionScope(bool reduce)
        : previous(OstrelMotionPreference::shared().reduceMotion())
    {
        OstrelMotionPreference::shared().accessibilityChanged(reduce);
    }
    ~ReduceMotionScope() { OstrelMotionPreference::shared().accessibilityChanged(previous); }
    bool previous;
};

} // namespace

TEST(OstrelTiming, NamedTimingsAndTheirDurationsAgree)
{
    EXPECT_EQ(OstrelTiming::interactive().kind, OstrelAnimation::Kind::Spring);
    EXPECT_EQ(OstrelTiming::interactive().responseS, OstrelTiming::interactiveDuration);
    EXPECT_EQ(OstrelTiming::interactive().dampingFraction, 0.85);
    EXPECT_EQ(OstrelTiming::ambient().responseS, OstrelTiming::ambientDuration);
    EXPECT_EQ(OstrelTiming::ambient().dampingFraction, 0.9);
    EXPECT_EQ(OstrelTiming::fade().kind, OstrelAnimation::Kind::EaseInOut);
    EXPECT_EQ(OstrelTiming::fade().durationS, OstrelTiming::fadeDuration);
    EXPECT_EQ(OstrelTiming::interactive().durationMs(), 350);
    EXPECT_EQ(OstrelTiming::ambient().durationMs(), 1800);
    EXPECT_EQ(OstrelTiming::fade().durationMs(), 250);
    EXPECT_EQ(&OstrelTiming::fade(), &OstrelTiming::fade());
}

TEST(OstrelMotion, ReduceMotionRemovesAnimationsButNotFades)
{
    const auto spring = std::optional<OstrelAnimation>(OstrelTiming::interactive());
    EXPECT_EQ(effectiveAnimation(spring, false), spring);
    EXPECT_FALSE(effectiveAnimation(spring, true).has_value());
    EXPECT_FALSE(effectiveAnimation(std::nullopt, false).has_value());
    // Fades are not gated.
    EXPECT_EQ(ostrelFade(0.4).durationMs(), 400);
    EXPECT_EQ(ostrelReducedTransition(), OstrelTiming::fade());
}

TEST(OstrelMotion, WithOstrelAnimationRunsTheBodyPlainlyUnderReduceMotion)
{
    for (bool reduce : {false, true}) {
        ReduceMotionScope scope(reduce);
        EXPECT_EQ(fidgetUIAllowed(), !reduce);
        EXPECT_EQ(loopingAnimationAllowed(), fidgetUIAllowed());
        int state = 0;
        std::optional<OstrelAnimation> seen;
        const int result = withOstrelAnimation(OstrelTiming::fade(), [&](const std::optional<OstrelAnimation>& a) {
            seen = a;
            state = 7;
            return 42;
        });
        EXPECT_EQ(result, 42);
        EXPECT_EQ(state, 7);
        EXPECT_EQ(seen.has_value(), !reduce);
        EXPECT_THROW(withOstrelAnimation(std::nullopt,
                                         [](const std::optional<OstrelAnimation>&) -> int {
                                             throw std::runtime_error("body failed");
                                         }),
                     std::runtime_error);
    }
}

TEST(OstrelMotionPreference, SharedInstanceReportsChangesOnce)
{
    OstrelMotionPreference& shared = OstrelMotionPreference::shared();
    EXPECT_EQ(&shared, &OstrelMotionPreference::shared());
    const bool start = shared.reduceMotion();
    QSignalSpy spy(&shared, &OstrelMotionPreference::reduceMotionChanged);
    shared.accessibilityChanged(!start);
    shared.accessibilityChanged(!start); // no change, no signal
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(0).toBool(), !start);
    shared.accessibilityChanged(start);
    EXPECT_EQ(spy.count(), 2);
}

TEST(OstrelRepeatingPulse, FollowsTheReduceMotionRules)
{
    // Appears with motion allowed: loops; reduce on stops it at full opacity; reduce off again does not
    // restart it, and it rests at 0.7 until it next appears.
    OstrelRepeatingPulse pulse;
    EXPECT_EQ(pulse.opacity(false), OstrelRepeatingPulse::kDimOpacity);
    pulse.appeared(false);
    EXPECT_TRUE(pulse.looping());
    EXPECT_EQ(pulse.opacity(false), 1.0);
    pulse.reduceMotionChanged(true);
    EXPECT_FALSE(pulse.looping());
    EXPECT_EQ(pulse.opacity(true), 1.0);
    pulse.reduceMotionChanged(false);
    EXPECT_FALSE(pulse.looping());
    EXPECT_EQ(pulse.opacity(false), 0.7);
    pulse.appeared(false);
    EXPECT_TRUE(pulse.looping());

    // Appears under reduce motion: never loops during that appearance.
    OstrelRepeatingPulse still;
    still.appeared(true);
    EXPECT_FALSE(still.looping());
    EXPECT_EQ(still.opacity(true), 1.0);
}
