#include "QuorvantileFairQueue.h"

#include <gtest/gtest.h>
#include <vector>

using namespace ostrel;
using Lane = QuorvantileFairQueue::Lane;

namespace {

// Every item of `lane` in the order it is served, with `canServe` (all origins when empty).
std::vector<quint64> drain(QuorvantileFairQueue& queue, Lane lane,
                           const std::function<bool(const QString&)>& canServe = {})
{
    std::vector<quint64> served;
    while (const auto next = queue.pop(lane, canServe)) {
        served.push_back(*next);
    }
    return served;
}

} // namespace

// One machine's many waiting items do not stand in front of another machine's: origins take turns.
TEST(QuorvantileFairQueue, OriginsTakeTurnsOldestItemFirst)
{
    QuorvantileFairQueue queue;
    for (quint64 id = 1; id <= 5; ++id) {
        queue.push(id, QStringLiteral("flood"), Lane::first);
    }
    queue.push(10, QStringLiteral("peer"), Lane::first);
    queue.push(20, QStringLiteral("other"), Lane::first);
    queue.push(11, QStringLiteral("peer"), Lane::first);
    EXPECT_EQ(queue.size(), 8);
    EXPECT_EQ(drain(queue, Lane::first), (std::vector<quint64>{1, 10, 20, 2, 11, 3, 4, 5}));
    EXPECT_TRUE(queue.empty(Lane::first));
    EXPECT_EQ(queue.size(), 0);

    // An origin that comes later joins the end of the turn: it waits for one item of each origin before it.
    queue.push(1, QStringLiteral("flood"), Lane::first);
    queue.push(2, QStringLiteral("flood"), Lane::first);
    queue.push(3, QStringLiteral("flood"), Lane::first);
    EXPECT_EQ(queue.pop(Lane::first), 1u);
    queue.push(4, QStringLiteral("peer"), Lane::first);
    EXPECT_EQ(drain(queue, Lane::first), (std::vector<quint64>{2, 4, 3}));
}

// Items that failed before wait in their own lane, which the first lane never sees; removal takes an item
// out wherever it waits, also when it is pushed again in the other lane.
TEST(QuorvantileFairQueue, LanesAreSeparateAndRemovalIsFinal)
{
    QuorvantileFairQueue queue;
    queue.push(1, QStringLiteral("a"), Lane::later);
    queue.push(2, QStringLiteral("a"), Lane::first);
    queue.push(3, QStringLiteral("b"), Lane::later);
    queue.push(4, QStringLiteral("b"), Lane::first);
    queue.push(4, QStringLiteral("b"), Lane::later); // already waiting: stays where it is
    EXPECT_TRUE(queue.contains(4));
    queue.remove(2);
    queue.remove(2); // twice: nothing
    EXPECT_FALSE(queue.contains(2));
    EXPECT_EQ(drain(queue, Lane::first), (std::vector<quint64>{4}));
    EXPECT_FALSE(queue.empty(Lane::later));

    // Taken out of the first lane and queued again in the later one: served once, from there.
    queue.push(5, QStringLiteral("c"), Lane::first);
    queue.remove(5);
    queue.push(5, QStringLiteral("c"), Lane::later);
    EXPECT_TRUE(queue.empty(Lane::first));
    EXPECT_EQ(drain(queue, Lane::first), std::vector<quint64>{});
    EXPECT_EQ(drain(queue, Lane::later), (std::vector<quint64>{1, 3, 5}));
    EXPECT_EQ(queue.size(), 0);
}

// An origin that cannot be served now (its own limit is reached) keeps its place in the turn; the others go
// on. Many removed items (a record that changes without pause) leave nothing behind.
TEST(QuorvantileFairQueue, OriginsThatCannotBeServedAreSkippedNotLost)
{
    QuorvantileFairQueue queue;
    queue.push(1, QStringLiteral("busy"), Lane::first);
    queue.push(2, QStringLiteral("free"), Lane::first);
    queue.push(3, QStringLiteral("busy"), Lane::first);
    queue.push(4, QStringLiteral("free"), Lane::first);
    const auto notBusy = [](const QString& origin) { return origin != QLatin1String("busy"); };
    EXPECT_EQ(drain(queue, Lane::first, notBusy), (std::vector<quint64>{2, 4}));
    EXPECT_EQ(queue.size(), 2);
    EXPECT_EQ(drain(queue, Lane::first), (std::vector<quint64>{1, 3}));

    for (quint64 id = 100; id < 100100; ++id) {
        queue.push(id, QStringLiteral("changing"), Lane::first);
        queue.remove(id);
    }
    queue.push(7, QStringLiteral("changing"), Lane::first);
    EXPECT_EQ(queue.size(), 1);
    EXPECT_EQ(drain(queue, Lane::first), std::vector<quint64>{7});
}
