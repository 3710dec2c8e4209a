#include "PendingModelSet.h"

#include "IntakeTestSupport.h"
#include "QStringPrinter.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <optional>

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

// A commit that fails part-way (a folder where the new model.obj should go) puts the earlier set back; killed
// at any step of that, the next start (the folder in the way gone by then) ends with one whole set.
TEST(PendingModelSet, AFailedCommitKilledWhilePuttingTheEarlierSetBackLeavesOneWholeSet)
{
    const QMap<QString, QByteArray> earlierSet{{QStringLiteral("model.usdz"), "earlier model"},
                                               {QStringLiteral("model.mtl"), "earlier mtl"},
                                               {QStringLiteral("model_diffuse.jpg"), "earlier texture"}};
    const QMap<QString, QByteArray> newSet{{QStringLiteral("model.usdz"), "new model"},
                                           {QStringLiteral("model.obj"), "new obj"},
                                           {QStringLiteral("model.mtl"), "new mtl"},
                                           {QStringLiteral("model_diffuse.png"), "new texture"}};
    for (int killAt = 0;; ++killAt) {
        SCOPED_TRACE(testing::Message() << "killed before step " << killAt);
        QTemporaryDir root;
        const QString result = root.filePath(QStringLiteral("cup"));
        for (auto it = earlierSet.begin(); it != earlierSet.end(); ++it) {
            ASSERT_TRUE(test::writeFile(QDir(result).filePath(it.key()), it.value()));
        }
        const QString blocker = QDir(result).filePath(QStringLiteral("model.obj"));
        ASSERT_TRUE(QDir().mkpath(blocker + QStringLiteral("/held")));

        const test::KillOutcome commit = test::commitKilledAtStep(result, newSet, killAt);
        ASSERT_NE(commit, test::KillOutcome::failed);
        ASSERT_TRUE(QDir(blocker).removeRecursively());
        PendingModelSet::recoverResultFolders(root.path());

        QMap<QString, QByteArray> found;
        for (const QString& name : entries(result)) {
            found.insert(name, test::readFile(QDir(result).filePath(name)));
        }
        if (commit == test::KillOutcome::finished) {
            EXPECT_EQ(found, earlierSet);
            break;
        }
        EXPECT_TRUE(found == earlierSet || found == newSet) << testing::PrintToString(found.keys());
    }
}

// What a run killed in the middle of its commit leaves behind: the next run in the folder ends with one whole
// set, the earlier one when it was still being moved aside, the new one once it was wholly aside. Folders an
// earlier version of the app left are read the same way; it removed the marker before the earlier set once
// the new set was in, so a folder with the earlier set but neither marker nor new model is a finished commit.
TEST(PendingModelSet, ACommitCutShortIsFinishedByTheNextRun)
{
    struct Case
    {
        const char* name;
        QMap<QString, QByteArray> privateFolder; // path in the private folder to content
        QMap<QString, QByteArray> resultFolder;
        QByteArray expectedModel;
        QByteArray expectedObj;
    };
    const Case cases[] = {
        {"killed while moving the earlier set aside",
         {{"model.usdz", "new model"}, {"model.obj", "new obj"}, {"previous/model.usdz", "earlier model"}},
         {{"model.obj", "earlier obj"}}, // model.obj had not been moved aside yet
         "earlier model",
         "earlier obj"},
        {"killed while moving the new set in",
         {{"model.usdz", "new model"},
          {"moving-in", ""},
          {"previous/model.usdz", "earlier model"},
          {"previous/model.obj", "earlier obj"}},
         {{"model.obj", "new obj"}}, // model.obj had been moved in already
         "new model",
         "new obj"},
        {"an earlier version killed while removing its folder after the commit",
         {{"previous/model.usdz", "earlier model"}, {"previous/model.obj", "earlier obj"}},
         {{"model.usdz", "new model"}, {"model.obj", "new obj"}},
         "new model",
         "new obj"},
        {"killed while removing the folder after the commit",
         {{"superseded/model.usdz", "earlier model"}, {"superseded/model.obj", "earlier obj"}},
         {{"model.usdz", "new model"}, {"model.obj", "new obj"}},
         "new model",
         "new obj"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir result;
        const QDir abandoned(result.filePath(QStringLiteral(".tovarine-model-1234")));
        for (auto it = c.privateFolder.begin(); it != c.privateFolder.end(); ++it) {
            ASSERT_TRUE(test::writeFile(abandoned.filePath(it.key()), it.value()));
        }
        for (auto it = c.resultFolder.begin(); it != c.resultFolder.end(); ++it) {
            ASSERT_TRUE(test::writeFile(result.filePath(it.key()), it.value()));
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

// A root of result folders as a crash leaves it: "cup" with the model set a commit was replacing (or none)
// beside files that are no members, and "busy" with a set still being written by a live owner.
class CrashedCommitRoot
{
public:
    static const QMap<QString, QByteArray>& earlierSet()
    {
        static const QMap<QString, QByteArray> set{{QStringLiteral("model.usdz"), "earlier model"},
                                                   {QStringLiteral("model.obj"), "earlier obj"},
                                                   {QStringLiteral("model.mtl"), "earlier mtl"},
                                                   {QStringLiteral("model_diffuse.jpg"), "earlier texture"}};
        return set;
    }
    static const QMap<QString, QByteArray>& newSet()
    {
        static const QMap<QString, QByteArray> set{{QStringLiteral("model.usdz"), "new model"},
                                                   {QStringLiteral("model.obj"), "new obj"},
                                                   {QStringLiteral("model.mtl"), "new mtl"},
                                                   {QStringLiteral("model_diffuse.png"), "new texture"}};
        return set;
    }

    explicit CrashedCommitRoot(bool hasEarlier) : m_hasEarlier(hasEarlier)
    {
        QMap<QString, QByteArray> before = others();
        if (hasEarlier) {
            before.insert(earlierSet());
        }
        for (auto it = before.begin(); it != before.end(); ++it) {
            EXPECT_TRUE(test::writeFile(QDir(result()).filePath(it.key()), it.value()));
        }
        const QString busy = m_root.filePath(QStringLiteral("busy"));
        EXPECT_TRUE(QDir().mkpath(busy));
        auto live = PendingModelSet::create(busy);
        EXPECT_TRUE(live.hasValue());
        m_live.emplace(std::move(*live));
        EXPECT_TRUE(test::writeFile(m_live->filePath(QStringLiteral("model.usdz")), "being written"));
    }

    QString root() const { return m_root.path(); }
    QString result() const { return m_root.filePath(QStringLiteral("cup")); }
    // Renames that move the earlier set aside; a commit killed after the step that follows them (writing the
    // marker) had it wholly aside.
    int earlierCount() const { return m_hasEarlier ? static_cast<int>(earlierSet().size()) : 0; }
    bool earlierStays(int commitKillAt) const { return commitKillAt <= earlierCount(); }

    // The result folder holds exactly the files beside the model and one whole set (the earlier one, or none
    // when there was none, when `earlierStays`), no private folder; the live set elsewhere is untouched.
    void expectOneWholeSet(bool earlierStays) const
    {
        QMap<QString, QByteArray> expected = others();
        if (!earlierStays) {
            expected.insert(newSet());
        } else if (m_hasEarlier) {
            expected.insert(earlierSet());
        }
        QMap<QString, QByteArray> found;
        for (const QString& name : entries(result())) {
            found.insert(name, test::readFile(QDir(result()).filePath(name)));
        }
        EXPECT_EQ(found, expected);
        EXPECT_EQ(test::readFile(m_live->filePath(QStringLiteral("model.usdz"))),
                  QByteArray("being written"));
    }

private:
    static QMap<QString, QByteArray> others()
    {
        return {{QStringLiteral("label.txt"), "cup"}, {QStringLiteral("model_thick_2mm.obj"), "shell"}};
    }

    QTemporaryDir m_root;
    bool m_hasEarlier;
    std::optional<PendingModelSet> m_live;
};

// A crash (a kill, a power cut) at any step of a commit (each rename, and each removal of its clean-up once
// the new set is in), then the next start of the app: the result folder holds one whole set, the earlier one
// while it was still being moved aside, the new one once it was wholly aside (or there was none), and no
// private folder is left. A set that is still being written elsewhere keeps its folder.
TEST(PendingModelSet, ACommitKilledAtAnyStepIsRepairedAtTheNextStart)
{
    for (const bool hasEarlier : {true, false}) {
        int killAt = 0;
        for (;; ++killAt) {
            SCOPED_TRACE(testing::Message()
                         << (hasEarlier ? "rerun" : "first run") << ", killed before step " << killAt);
            const CrashedCommitRoot root(hasEarlier);
            const test::KillOutcome commit =
                test::commitKilledAtStep(root.result(), CrashedCommitRoot::newSet(), killAt);
            ASSERT_NE(commit, test::KillOutcome::failed);
            if (commit == test::KillOutcome::finished) {
                root.expectOneWholeSet(false);
                break;
            }
            PendingModelSet::recoverResultFolders(root.root());
            root.expectOneWholeSet(root.earlierStays(killAt));
        }
        // The kills reached past the renames into the clean-up: the private folder's marker and the earlier
        // set's files and folder are removed one by one.
        EXPECT_GE(killAt, (hasEarlier ? 4 : 0) + 1 + 4 + 2);
    }
}

// The start-up repair killed at any of its own steps, after a commit killed in each of its phases: the start
// after that still ends with one whole set, the same one.
TEST(PendingModelSet, ARepairKilledAtAnyStepIsFinishedByTheNextStart)
{
    // A rerun's commit takes 4 renames aside, the marker, 4 in, setting the earlier set apart, then its
    // removals (the marker first); a first run's takes the marker, 4 renames in, then its removals.
    const struct
    {
        const char* phase;
        bool hasEarlier;
        int commitKillAt;
    } cases[] = {
        {"rerun, moving the earlier set aside", true, 2}, {"rerun, moving the new set in", true, 7},
        {"rerun, the new set wholly in", true, 9},        {"rerun, clean-up with the marker gone", true, 11},
        {"first run, moving the new set in", false, 2},   {"first run, clean-up", false, 5},
    };
    for (const auto& c : cases) {
        for (int repairKillAt = 0;; ++repairKillAt) {
            SCOPED_TRACE(testing::Message() << c.phase << ", repair killed before step " << repairKillAt);
            const CrashedCommitRoot root(c.hasEarlier);
            ASSERT_EQ(test::commitKilledAtStep(root.result(), CrashedCommitRoot::newSet(), c.commitKillAt),
                      test::KillOutcome::killed);
            const test::KillOutcome repair = test::repairKilledAtStep(root.root(), repairKillAt);
            ASSERT_NE(repair, test::KillOutcome::failed);
            PendingModelSet::recoverResultFolders(root.root());
            root.expectOneWholeSet(root.earlierStays(c.commitKillAt));
            if (repair == test::KillOutcome::finished) {
                break;
            }
        }
    }
}

} // namespace
} // namespace tovarine
