#include "MorvelDetail.h"
#include "MorvelEngineLocator.h"
#include "MorvelMacSession.h"
#include "WebTestSupport.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <gtest/gtest.h>

using namespace tovarine;

namespace {

using Phase = MorvelMacSession::Phase;

class MorvelMacSessionWeb : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        MorvelEngineLocator::setEngineFolderForTesting(test::standInFolder());
    }
    void TearDown() override { MorvelEngineLocator::setEngineFolderForTesting(std::nullopt); }
};

bool ended(const MorvelMacSession& session)
{
    return session.phase().kind != Phase::Kind::running && !session.hasTask();
}

} // namespace

TEST_F(MorvelMacSessionWeb, FitEndsDoneWithItsSummaryAndFiles)
{
    QTemporaryDir dir;
    const QString folder = test::makeResultFolder(dir);
    MorvelMacSession session;
    std::vector<double> fractions;
    QObject::connect(&session, &MorvelMacSession::phaseChanged, [&] {
        if (session.phase().kind == Phase::Kind::running) {
            fractions.push_back(session.phase().fraction);
        }
    });
    session.start(QDir(folder).filePath("model.usdz"), folder, MorvelDetails::options(MorvelDetail::preview),
                  MorvelDetails::timeLimitSeconds(MorvelDetail::preview));
    ASSERT_TRUE(test::waitUntil([&] { return ended(session); }, 60000));
    ASSERT_EQ(session.phase().kind, Phase::Kind::done) << session.phase().text.toStdString();
    EXPECT_TRUE(session.phase().summary.startsWith(u"6 quads \u00B7 mean "_qs))
        << session.phase().summary.toStdString();
    EXPECT_TRUE(session.phase().summary.endsWith(u" \u00B7 solved without a worker"_qs));
    EXPECT_EQ(session.writtenIn(), folder);
    EXPECT_EQ(session.phase().preview.cageEdges.size(), 24u);
    for (const char* name : {"model_morvel.3dm", "model_morvel.vellacot", "model_morvel_settings.json"}) {
        EXPECT_TRUE(QFile::exists(QDir(folder).filePath(name))) << name;
    }
    ASSERT_FALSE(fractions.empty());
    EXPECT_EQ(fractions.front(), 0.02);
    EXPECT_NEAR(fractions.back(), 0.89, 1e-12);
}

TEST_F(MorvelMacSessionWeb, EngineMissingFromThisBuild)
{
    QTemporaryDir dir;
    const QString folder = test::makeResultFolder(dir);
    MorvelEngineLocator::setEngineFolderForTesting(QString());
    MorvelMacSession session;
    session.start(QDir(folder).filePath("model.usdz"), folder, MorvelDetails::options(MorvelDetail::standard),
                  900);
    ASSERT_TRUE(test::waitUntil([&] { return ended(session); }, 30000));
    EXPECT_EQ(session.phase(), Phase::failed("No Morvel: engine missing from this build."));
    EXPECT_FALSE(session.writtenIn());
}

TEST_F(MorvelMacSessionWeb, StopWhileTheEngineRunsWritesNothing)
{
    QTemporaryDir dir;
    const QString folder = test::makeResultFolder(dir);
    MorvelMacSession session;
    QObject::connect(&session, &MorvelMacSession::phaseChanged, [&] {
        if (session.phase() == Phase::running(u"Starting the engine\u2026"_qs, 0.05)) {
            QMetaObject::invokeMethod(
                &session, [&] { session.cancel(); }, Qt::QueuedConnection);
        }
    });
    session.start(QDir(folder).filePath("model.usdz"), folder, {{"standinMode", "hang"}}, 60);
    ASSERT_TRUE(test::waitUntil([&] { return ended(session); }, 30000));
    EXPECT_EQ(session.phase(), Phase::failed("Stopped. Nothing was written."));
    // The stopped fit's own ending comes later and says the same.
    test::waitUntil([] { return false; }, 1000);
    EXPECT_EQ(session.phase(), Phase::failed("Stopped. Nothing was written."));
    EXPECT_FALSE(QFile::exists(QDir(folder).filePath("model_morvel.3dm")));
}
