#include "HangCeiling.h"

#include <QTest>
#include <QTimer>
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

namespace {

bool neverTrue()
{
    return false;
}

int fortyOne()
{
    return 41;
}

// A QTRY_ wait that gives up, or a Qt check that does not hold, fails the GoogleTest test with the checked
// expression (these spans are short: each wait is meant to give up).
TEST(QtChecksFailTests, FailedQtChecksFailTheTest)
{
    EXPECT_FATAL_FAILURE(QTRY_VERIFY_WITH_TIMEOUT(neverTrue(), 20), "neverTrue()");
    EXPECT_FATAL_FAILURE(QTRY_VERIFY2_WITH_TIMEOUT(neverTrue(), "no reply", 20), "no reply");
    EXPECT_FATAL_FAILURE(QTRY_COMPARE_WITH_TIMEOUT(fortyOne(), 42, 20), "fortyOne(): 41");
    EXPECT_FATAL_FAILURE(QTRY_COMPARE_GE_WITH_TIMEOUT(fortyOne(), 42, 20), "fortyOne() >= 42");
    EXPECT_FATAL_FAILURE(QCOMPARE(QStringLiteral("a"), QStringLiteral("b")), "\"b\"");
    EXPECT_FATAL_FAILURE(QFAIL("given up"), "given up");
}

// Checks that hold let the test go on: a wait ends when the event comes, and doubles compare as QCOMPARE
// does.
TEST(QtChecksFailTests, ChecksThatHoldPass)
{
    bool fired = false;
    QTimer::singleShot(0, [&fired] { fired = true; });
    QTRY_VERIFY_WITH_TIMEOUT(fired, tovarine::test::kHangCeilingMs);
    QTRY_COMPARE_WITH_TIMEOUT(fired, true, tovarine::test::kHangCeilingMs);
    QCOMPARE(0.1 + 0.2, 0.3);
}

} // namespace
