#pragma once

// Forced into every test translation unit (cmake/TovarineTesting.cmake). Our tests are GoogleTest bodies that
// wait with Qt's QTRY_VERIFY/QTRY_COMPARE family, whose last step is QVERIFY/QCOMPARE/QFAIL. Outside a QTest
// run those only record the failure in QTest's own log, which nobody reads, and return: the GoogleTest test
// then passes although the wait gave up. Redefined here as GoogleTest fatal assertions (same early return),
// a failed check fails the test with the checked expression; the QTRY_ macros expand them at their use, so
// they pick these up. Qt's own helpers (QTest::qWait, QTest::toString, QSignalSpy) stay as they are.

#include <QTest>
#include <gtest/gtest.h>
#include <string>

namespace tovarine::test::qtchecks {

// Qt's QCOMPARE rules for floating point: fuzzy for non-zero values, fuzzy-null against zero, exact kinds
// for infinities and NaN.
template <typename T> bool floatingEqual(T actual, T expected)
{
    switch (qFpClassify(expected)) {
    case FP_INFINITE:
        return (expected < 0) == (actual < 0) && qFpClassify(actual) == FP_INFINITE;
    case FP_NAN:
        return qFpClassify(actual) == FP_NAN;
    default:
        if (!qFuzzyIsNull(expected)) {
            return qFuzzyCompare(actual, expected);
        }
        return qFuzzyIsNull(actual);
    }
}

template <typename A, typename E> bool equal(const A& actual, const E& expected)
{
    if constexpr (std::is_floating_point_v<A> && std::is_same_v<A, E>) {
        return floatingEqual(actual, expected);
    } else {
        return actual == expected;
    }
}

// The value as QTest prints it, else as GoogleTest does.
template <typename T> std::string describe(const T& value)
{
    char* text = QTest::toString(value);
    if (text == nullptr) {
        return ::testing::PrintToString(value);
    }
    std::string result(text);
    delete[] text;
    return result;
}

template <typename A, typename E>
::testing::AssertionResult compare(const char* actualText, const char* expectedText, const A& actual,
                                   const E& expected)
{
    if (equal(actual, expected)) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "Compared values are not the same\n  " << actualText << ": " << describe(actual) << "\n  "
           << expectedText << ": " << describe(expected);
}

} // namespace tovarine::test::qtchecks

#undef QVERIFY
#define QVERIFY(statement)                                                                                   \
    do {                                                                                                     \
        if (!static_cast<bool>(statement)) {                                                                 \
            FAIL() << "Verified false: " #statement;                                                         \
        }                                                                                                    \
    } while (false)

#undef QVERIFY2
#define QVERIFY2(statement, description)                                                                     \
    do {                                                                                                     \
        if (!static_cast<bool>(statement)) {                                                                 \
            FAIL() << "Verified false: " #statement " (" << static_cast<const char*>(description) << ")";    \
        }                                                                                                    \
    } while (false)

#undef QCOMPARE
#define QCOMPARE(actual, expected) ASSERT_PRED_FORMAT2(::tovarine::test::qtchecks::compare, actual, expected)

// QCOMPARE_EQ ... QCOMPARE_GE and their QTRY_ forms.
#undef QCOMPARE_OP_IMPL
#define QCOMPARE_OP_IMPL(lhs, rhs, op, opId)                                                                 \
    do {                                                                                                     \
        if (!((lhs)op(rhs))) {                                                                               \
            FAIL() << "Compared values do not satisfy " #lhs " " #op " " #rhs "\n  " #lhs ": "               \
                   << ::tovarine::test::qtchecks::describe(lhs) << "\n  " #rhs ": "                          \
                   << ::tovarine::test::qtchecks::describe(rhs);                                             \
        }                                                                                                    \
    } while (false)

#undef QFAIL
#define QFAIL(message)                                                                                       \
    do {                                                                                                     \
        FAIL() << static_cast<const char*>(message);                                                         \
    } while (false)

#undef QSKIP
#define QSKIP(statement, ...) GTEST_SKIP() << static_cast<const char*>(statement)

#undef QVERIFY_THROWS_EXCEPTION
#define QVERIFY_THROWS_EXCEPTION(exceptiontype, ...) ASSERT_THROW(([&] { __VA_ARGS__; }()), exceptiontype)

#undef QVERIFY_THROWS_NO_EXCEPTION
#define QVERIFY_THROWS_NO_EXCEPTION(...) ASSERT_NO_THROW(([&] { __VA_ARGS__; }()))
