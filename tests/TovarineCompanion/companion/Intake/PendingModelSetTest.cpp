#include "PendingModelSet.h"

#include "IntakeTestSupport.h"
#include "QStringPrinter.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace tovarine {
namespace {

QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

TEST(PendingModelSet, MembersAreTheModelAndItsObjFiles)
{
    for (const char* name :
         {"model.usdz", "model.obj", "model.mtl", "model_diffuse.jpg", "model_diffuse.png"}) {
        EXPECT_TRUE(PendingModelSet::isMember(QString::fromLatin1(name))) << name;
    }
    for (const char* name : {"model_thick_2mm.obj", "model_thinmap_1mm.mtl", "model_morvel.3dm", "label.txt",
                             "model_diffuse.", "model.scn", "Images"}) {
        EXPECT_FALSE(PendingModelSet::isMember(QString::fromLatin1(name))) << name;
    }
}

TEST(PendingModelSet, AFailedMovePutsTheEarlierSetBack)
{
    QTemporaryDir result;
    ASSERT_TRUE(test::writeFile(result.filePath(QStringLiteral("model.usdz")), "earlier model"));
    ASSERT_TRUE(test::writeFile(result.filePath(QStringLiteral("model.mtl")), "earlier material"));
    // A folder where the new model.obj should go: that move fails.
    ASSERT_TRUE(QDir().mkpath(result.filePath(QStringLiteral("model.obj/held"))));
    const QStringList before = entries(result.path());

    auto models = PendingModelSet::create(result.path());
    ASSERT_TRUE(models.hasValue()) << models.error().toStdString();
    ASSERT_TRUE(test::writeFile(models->filePath(QStringLiteral("model.usdz")), "new model"));
    ASSERT_TRUE(test::writeFile(models->filePath(QStringLiteral("model.obj")), "new obj"));
    const Expected<void, QString> committed = models->commit();
    ASSERT_FALSE(committed.hasValue());
    EXPECT_TRUE(committed.error().startsWith(QStringLiteral("Couldn't put the new model in place: ")))
        << committed.error().toStdString();
    EXPECT_EQ(entries(result.path()), before);
    EXPECT_EQ(test::readFile(result.filePath(QStringLiteral("model.usdz"))), QByteArray("earlier model"));
    EXPECT_EQ(test::readFile(result.filePath(QStringLiteral("model.mtl"))), QByteArray("earlier material"));
}

TEST(PendingModelSet, FoldersOfEndedRunsAreSweptAndLiveOnesKept)
{
    QTemporaryDir result;
    // What a killed run left: nobody holds its lock.
    const QString abandoned = result.filePath(QStringLiteral(".tovarine-model-1234"));
    ASSERT_TRUE(test::writeFile(abandoned + QStringLiteral("/model.usdz"), "half a model"));

    auto live = PendingModelSet::create(result.path());
    ASSERT_TRUE(live.hasValue());
    EXPECT_FALSE(QFileInfo::exists(abandoned));
    ASSERT_TRUE(test::writeFile(live->filePath(QStringLiteral("model.usdz")), "being written"));

    auto second = PendingModelSet::create(result.path());
    ASSERT_TRUE(second.hasValue());
    EXPECT_EQ(test::readFile(live->filePath(QStringLiteral("model.usdz"))), QByteArray("being written"));
    EXPECT_EQ(entries(result.path()).size(), 2);

    second->discard();
    live->discard();
    EXPECT_TRUE(entries(result.path()).isEmpty());
}

// What a run killed in the middle of its commit leaves behind: the next run in the folder ends with one whole
// set, the earlier one when it was still being moved aside, the new one once it was wholly aside.
TEST(PendingModelSet, ACommitCutShortIsFinishedByTheNextRun)
{
    struct Case
    {
        const char* name;
        bool earlierWhollyAside;
        QByteArray expectedModel;
        QByteArray expectedObj;
    };
    const Case cases[] = {
        {"killed while moving the earlier set aside", false, "earlier model", "earlier obj"},
        {"killed while moving the new set in", true, "new model", "new obj"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir result;
        const QString abandoned = result.filePath(QStringLiteral(".tovarine-model-1234"));
        const QString previous = abandoned + QStringLiteral("/previous");
        ASSERT_TRUE(test::writeFile(abandoned + QStringLiteral("/model.usdz"), "new model"));
        ASSERT_TRUE(test::writeFile(previous + QStringLiteral("/model.usdz"), "earlier model"));
        if (c.earlierWhollyAside) {
            ASSERT_TRUE(test::writeFile(previous + QStringLiteral("/model.obj"), "earlier obj"));
            ASSERT_TRUE(test::writeFile(abandoned + QStringLiteral("/moving-in"), ""));
            // model.obj had been moved in already.
            ASSERT_TRUE(test::writeFile(result.filePath(QStringLiteral("model.obj")), "new obj"));
        } else {
            ASSERT_TRUE(test::writeFile(abandoned + QStringLiteral("/model.obj"), "new obj"));
            // model.obj had not been moved aside yet.
            ASSERT_TRUE(test::writeFile(result.filePath(QStringLiteral("model.obj")), "earlier obj"));
        }

        auto next = PendingModelSet::create(result.path());
        ASSERT_TRUE(next.hasValue());
        next->discard();
        EXPECT_EQ(entries(result.path()),
                  (QStringList{QStringLiteral("model.obj"), QStringLiteral("model.usdz")}));
        EXPECT_EQ(test::readFile(result.filePath(QStringLiteral("model.usdz"))), c.expectedModel);
        EXPECT_EQ(test::readFile(result.filePath(QStringLiteral("model.obj"))), c.expectedObj);
    }
}

} // namespace
} // namespace tovarine
