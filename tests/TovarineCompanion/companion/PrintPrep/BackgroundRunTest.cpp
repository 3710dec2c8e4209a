#include "BackgroundRun.h"

#include "HangCeiling.h"
#include "MainThreadLink.h"

#include <QCoreApplication>
#include <QTimer>
#include <atomic>
#include <gtest/gtest.h>
#include <memory>
#include <semaphore>

using namespace tovarine;

TEST(BackgroundRun, QuittingTheApplicationStopsRunningWorkThroughItsToken)
{
    std::atomic<bool> sawStop = false;
    std::binary_semaphore started(0);
    BackgroundRun::start([&](std::stop_token token) {
        started.release();
        while (!token.stop_requested()) {
            std::this_thread::yield();
        }
        sawStop = true;
    });
    started.acquire();
    QTimer::singleShot(0, qApp, [] { QCoreApplication::quit(); });
    QCoreApplication::exec(); // aboutToQuit requests the stop and waits for the work
    EXPECT_TRUE(sawStop);
    EXPECT_TRUE(BackgroundRun::waitForIdle(0));
}

TEST(MainThreadLink, CallsArriveInOrderAndNeverAfterDetach)
{
    auto receiver = std::make_unique<QObject>();
    auto link = MainThreadLink::create(receiver.get());
    std::vector<int> seen;
    BackgroundRun::start([link, &seen](std::stop_token) {
        for (int i = 0; i < 100; ++i) {
            link->post([&seen, i] { seen.push_back(i); });
        }
    });
    ASSERT_TRUE(BackgroundRun::waitForIdle(tovarine::test::kHangCeilingMs));
    QCoreApplication::processEvents();
    ASSERT_EQ(seen.size(), 100u);
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(seen[i], i);
    }

    // Queued calls of a receiver that is gone are dropped, and later posts are refused.
    seen.clear();
    link->post([&seen] { seen.push_back(-1); });
    link->detach();
    receiver.reset();
    link->post([&seen] { seen.push_back(-2); });
    QCoreApplication::processEvents();
    EXPECT_TRUE(seen.empty());
}
