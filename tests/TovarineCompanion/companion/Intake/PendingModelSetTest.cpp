#include "PendingModelSet.h"

#include "IntakeTestSupport.h"
#include "QStringPrinter.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace tovarine {
namespace {

using test::entries;

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

// A crash (a kill, a power cut) at any point of a commit's renames, then the next start of the app: the
// result folder holds one whole set, the earlier one while it was still being moved aside, the new one once
// it was wholly aside (or there was none), and no private folder is left. A set that is still being written
// elsewhere keeps its folder.
TEST(PendingModelSet, ACommitKilledAtAnyRenameIsRepairedAtTheNextStart)
{
    const QMap<QString, QByteArray> earlierSet{{QStringLiteral("model.usdz"), "earlier model"},
                                               {QStringLiteral("model.obj"), "earlier obj"},
                                               {QStringLiteral("model.mtl"), "earlier mtl"},
                                               {QStringLiteral("model_diffuse.jpg"), "earlier texture"}};
    const QMap<QString, QByteArray> newSet{{QStringLiteral("model.usdz"), "new model"},
                                           {QStringLiteral("model.obj"), "new obj"},
                                           {QStringLiteral("model.mtl"), "new mtl"},
                                           {QStringLiteral("model_diffuse.png"), "new texture"}};
    const QMap<QString, QByteArray> others{{QStringLiteral("label.txt"), "cup"},
                                           {QStringLiteral("model_thick_2mm.obj"), "shell"}};
    for (const bool hasEarlier : {true, false}) {
        const int earlierCount = hasEarlier ? static_cast<int>(earlierSet.size()) : 0;
        for (int killAt = 0; killAt < earlierCount + newSet.size(); ++killAt) {
            SCOPED_TRACE(testing::Message()
                         << (hasEarlier ? "rerun" : "first run") << ", killed before rename " << killAt);
            QTemporaryDir root;
            const QString result = root.filePath(QStringLiteral("cup"));
            QMap<QString, QByteArray> before = others;
            if (hasEarlier) {
                before.insert(earlierSet);
            }
            for (auto it = before.begin(); it != before.end(); ++it) {
                ASSERT_TRUE(test::writeFile(QDir(result).filePath(it.key()), it.value()));
            }
            const QString busy = root.filePath(QStringLiteral("busy"));
            ASSERT_TRUE(QDir().mkpath(busy));
            auto live = PendingModelSet::create(busy);
            ASSERT_TRUE(live.hasValue());
            ASSERT_TRUE(test::writeFile(live->filePath(QStringLiteral("model.usdz")), "being written"));

            ASSERT_TRUE(test::commitKilledAtRename(result, newSet, killAt));
            PendingModelSet::recoverResultFolders(root.path());

            QMap<QString, QByteArray> expected = others;
            expected.insert(killAt < earlierCount ? earlierSet : newSet);
            QMap<QString, QByteArray> found;
            for (const QString& name : entries(result)) {
                found.insert(name, test::readFile(QDir(result).filePath(name)));
            }
            EXPECT_EQ(found, expected);
            EXPECT_EQ(test::readFile(live->filePath(QStringLiteral("model.usdz"))),
                      QByteArray("being written"));
        }
    }
}

} // namespace
} // namespace tovarine
