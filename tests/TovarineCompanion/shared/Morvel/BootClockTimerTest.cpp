#include "BootClockTimer.h"
#include "HangCeiling.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

using namespace tovarine;

// Time that passes while the computer sleeps counts toward the limit: the clock jumps, the monotonic timers
// did not run, and the limit still ends soon after waking.
TEST(BootClockTimer, ALimitThatRanOutDuringASleepEndsSoonAfterWaking)
{
    auto now = std::make_shared<qint64>(1'000'000);
    BootClockTimer timer;
    timer.setClockForTesting([now] { return *now; }, 20);
    QSignalSpy expired(&timer, &BootClockTimer::expired);
    timer.start(900'000); // 15 minutes

    QTest::qWait(100);
    EXPECT_EQ(expired.count(), 0);
    EXPECT_TRUE(timer.isActive());

    *now += 3'600'000; // an hour asleep
    EXPECT_TRUE(expired.wait(tovarine::test::kHangCeilingMs));
    QTest::qWait(60);
    EXPECT_EQ(expired.count(), 1);
    EXPECT_FALSE(timer.isActive());
}

TEST(BootClockTimer, EndsOnTimeAwakeAndNeverAfterStop)
{
    BootClockTimer timer;
    QSignalSpy expired(&timer, &BootClockTimer::expired);
    QElapsedTimer clock;
    clock.start();
    timer.start(150);
    EXPECT_TRUE(expired.wait(tovarine::test::kHangCeilingMs));
    EXPECT_GE(clock.elapsed(), 140);
    EXPECT_EQ(expired.count(), 1);

    timer.start(50);
    timer.stop();
    QTest::qWait(150);
    EXPECT_EQ(expired.count(), 1);
}
