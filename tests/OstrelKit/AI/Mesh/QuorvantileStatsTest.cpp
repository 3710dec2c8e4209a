#include "QuorvantileStats.h"

#include "QuorvantileSpeedComparison.h"
#include "ScopedLocale.h"

#include <gtest/gtest.h>

using namespace ostrel;

TEST(QuorvantileStats, EmptyStatisticsHaveNoAverages)
{
    const QuorvantileStats stats;
    EXPECT_EQ(stats.totalCalls(), 0);
    EXPECT_EQ(stats.localCalls(), 0);
    EXPECT_FALSE(stats.lastLatency());
    EXPECT_FALSE(stats.avgLocalLatency());
    EXPECT_FALSE(stats.avgRemoteLatency());
    EXPECT_TRUE(stats.sortedNodes().isEmpty());
}

TEST(QuorvantileStats, CallsAreWeightedEquallyAcrossLabels)
{
    QuorvantileStats stats;
    stats.record("local", 0.5, false);
    stats.record("local", 0.5, false);
    stats.record("local (fallback)", 2.0, false);
    stats.record("studio (linux)", 0.3, true);
    const auto local = stats.nodes().value("local");
    EXPECT_EQ(local.calls, 2);
    EXPECT_DOUBLE_EQ(local.totalLatency, 1.0);
    EXPECT_DOUBLE_EQ(local.avgLatency(), 0.5);
    EXPECT_DOUBLE_EQ(*stats.avgLocalLatency(), 1.0); // 3.0 s over 3 calls, not the mean of averages
    EXPECT_DOUBLE_EQ(*stats.avgRemoteLatency(), 0.3);
    EXPECT_DOUBLE_EQ(*stats.lastLatency(), 2.0); // the largest per-label latest latency
    EXPECT_EQ(stats.totalCalls(), 4);
    EXPECT_EQ(stats.remoteCalls(), 1);
    EXPECT_EQ(stats.localCalls(), 3);
    EXPECT_EQ(stats.sortedNodes().first().id, "local");

    // A label whose latest call was remote moves wholly to the remote side.
    stats.record("local", 0.1, true);
    EXPECT_EQ(stats.remoteCalls(), 4);
    EXPECT_DOUBLE_EQ(*stats.avgLocalLatency(), 2.0);
}

TEST(QuorvantileStats, RemoteFramesNeedARemoteWorkerAmongSeveral)
{
    QuorvantileStats stats;
    stats.recordRender(100, 3, 2);
    EXPECT_EQ(stats.renderJobs(), 1);
    EXPECT_EQ(stats.totalRenderedFrames(), 100);
    EXPECT_EQ(stats.remoteRenderedFrames(), 66);
    stats.recordRender(100, 1, 1);
    stats.recordRender(100, 4, 0);
    EXPECT_EQ(stats.renderJobs(), 3);
    EXPECT_EQ(stats.totalRenderedFrames(), 300);
    EXPECT_EQ(stats.remoteRenderedFrames(), 66);
}

TEST(QuorvantileSpeedComparison, TimeTexts)
{
    const std::pair<double, const char*> cases[] = {
        {42, "42s"},   {59.7, "60s"}, {-12.3, "-12s"}, {-75, "-75s"},    {-130, "-130s"},
        {60, "1m00s"}, {59.6, "60s"}, {75.9, "1m15s"}, {3600, "60m00s"},
    };
    for (const auto& [seconds, text] : cases) {
        EXPECT_EQ(QuorvantileSpeedComparison::timeText(seconds), text) << seconds;
    }
}

TEST(QuorvantileSpeedComparison, SummariesAndSpeedup)
{
    QuorvantileSpeedComparison faster{100, 250, 2, {{"A", 120, 40}, {"B", 80, 65}}, 200};
    EXPECT_EQ(faster.summary(), QString::fromUtf8("Rendered in 1m40s (est. 4m10s solo — saved 2m30s, 2.5x)"));
    EXPECT_EQ(faster.workerSummary(), QString::fromUtf8("A: 120 frames in 40s · B: 80 frames in 1m05s"));

    const QuorvantileSpeedComparison slower{90, 80, 1, {{"A", 10, 90}}, 10};
    EXPECT_EQ(slower.summary(), QString::fromUtf8("Rendered in 1m30s (est. 1m20s solo — saved -10s, 0.9x)"));
    EXPECT_EQ(slower.workerSummary(), "A: 10 frames in 1m30s");

    const QuorvantileSpeedComparison instant{0, 30, 1, {}, 1};
    EXPECT_DOUBLE_EQ(instant.speedup(), 1.0);
    EXPECT_TRUE(instant.summary().endsWith("1.0x)"));
    EXPECT_TRUE(instant.workerSummary().isEmpty());
    EXPECT_DOUBLE_EQ((QuorvantileSpeedComparison{-5, 30, 1, {}, 1}.speedup()), 1.0);
}

// The report is the system's own text: its numbers have a point under a locale that writes a decimal comma.
TEST(QuorvantileSpeedComparison, TextsKeepTheirPointUnderACommaLocale)
{
    const tovarine::test::ScopedLocale comma(tovarine::test::kCommaLocale);
    if (!comma.active()) {
        GTEST_SKIP() << tovarine::test::kCommaLocale << " is not available here";
    }
    const QuorvantileSpeedComparison faster{100, 250, 2, {{"A", 120, 40.6}}, 120};
    EXPECT_EQ(faster.speedupText(), "2.5");
    EXPECT_EQ(faster.summary(), QString::fromUtf8("Rendered in 1m40s (est. 4m10s solo — saved 2m30s, 2.5x)"));
    EXPECT_EQ(faster.workerSummary(), "A: 120 frames in 41s");
    EXPECT_EQ(QuorvantileSpeedComparison::timeText(-0.4), "-0s");
}
