#include "QuotationCorpus.h"

#include <QFuture>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

using namespace ostrel;

namespace {

struct Corpus : ::testing::Test
{
    QTemporaryDir dir;
    UserDefaults store{dir.filePath(QStringLiteral("corpus.ini"))};
    const QStringList quotes{"q0", "q1", "q2", "q3", "q4", "q5"};

    // Pools: "a" = 0, 1, 2; "b" = 2, 3; "none" = empty; "bad" = out-of-range positions and 4.
    QuotationCorpus<QString> make()
    {
        return QuotationCorpus<QString>(
            QStringLiteral("test.quotes"), quotes,
            [](const QString& key) {
                if (key == QLatin1String("a")) {
                    return QList<int>{0, 1, 2};
                }
                if (key == QLatin1String("b")) {
                    return QList<int>{2, 3};
                }
                if (key == QLatin1String("bad")) {
                    return QList<int>{-1, 99, 4};
                }
                return QList<int>{};
            },
            store);
    }
    QSet<int> shown() const
    {
        QSet<int> set;
        const QVariant v = store.value(QStringLiteral("test.quotes.shownIndices"));
        for (const QVariant& e :
             v.metaType() == QMetaType::fromType<QString>() ? QVariantList{v} : v.toList()) {
            set.insert(e.toInt());
        }
        return set;
    }
};

} // namespace

TEST_F(Corpus, APoolIsExhaustedBeforeARepeatAndANewRoundKeepsOtherPools)
{
    auto corpus = make();
    EXPECT_EQ(corpus.quote(QStringLiteral("b")).isEmpty(), false); // one of 2, 3 shown through pool b
    const QSet<int> fromB = shown();
    ASSERT_EQ(fromB.size(), 1);
    QSet<QString> round;
    for (int i = 0; i < 3; ++i) {
        round.insert(corpus.quote(QStringLiteral("a")));
    }
    if (fromB.contains(2)) {
        // Position 2 already counted as shown, so pool a's round ends after 0 and 1, and the third call
        // begins a new round.
        EXPECT_TRUE(round.contains("q0") && round.contains("q1"));
    } else {
        EXPECT_EQ(round, (QSet<QString>{"q0", "q1", "q2"}));
        // The fourth call starts a new round: the set holds one of pool a plus pool b's position.
        corpus.quote(QStringLiteral("a"));
        const QSet<int> after = shown();
        EXPECT_EQ(after.size(), 2);
        EXPECT_TRUE(after.contains(3));
    }
    // A second corpus on the same namespace shares the history.
    auto twin = make();
    twin.resetTracking();
    EXPECT_FALSE(store.contains(QStringLiteral("test.quotes.shownIndices")));
}

TEST_F(Corpus, EmptyPoolsEmptyListsAndBadValues)
{
    auto corpus = make();
    EXPECT_TRUE(quotes.contains(corpus.quote(QStringLiteral("none"))));
    EXPECT_FALSE(store.contains(QStringLiteral("test.quotes.shownIndices")));
    EXPECT_TRUE(quotes.contains(corpus.forceQuote()));

    QuotationCorpus<int> empty(
        QStringLiteral("empty"), {}, [](int) { return QList<int>{0}; }, store);
    EXPECT_EQ(empty.quote(1), QString());
    EXPECT_EQ(empty.forceQuote(), QString());

    // Positions outside the list are ignored: only 4 is ever picked.
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(corpus.quote(QStringLiteral("bad")), QStringLiteral("q4"));
    }

    // A stored list with a non-integer element counts as no history and is replaced by the next write.
    store.setValue(QStringLiteral("test.quotes.shownIndices"), QVariantList{0, QStringLiteral("x"), 1});
    corpus.quote(QStringLiteral("b"));
    EXPECT_EQ(shown().size(), 1);
    store.setValue(QStringLiteral("test.quotes.shownIndices"), 1.5);
    corpus.quote(QStringLiteral("b"));
    EXPECT_EQ(shown().size(), 1);
}

TEST_F(Corpus, ConcurrentCallsLoseNoUpdate)
{
    QStringList many;
    for (int i = 0; i < 64; ++i) {
        many << QString::number(i);
    }
    QList<int> all;
    for (int i = 0; i < 64; ++i) {
        all << i;
    }
    QuotationCorpus<int> corpus(
        QStringLiteral("threads"), many, [all](int) { return all; }, store);
    QList<QThread*> threads;
    for (int t = 0; t < 4; ++t) {
        threads << QThread::create([&corpus] {
            for (int i = 0; i < 16; ++i) {
                corpus.quote(0);
            }
        });
        threads.last()->start();
    }
    for (QThread* t : threads) {
        t->wait();
        delete t;
    }
    // 64 calls over a pool of 64 without loss: every position shown exactly once.
    EXPECT_EQ(store.value(QStringLiteral("threads.shownIndices")).toList().size(), 64);
}
