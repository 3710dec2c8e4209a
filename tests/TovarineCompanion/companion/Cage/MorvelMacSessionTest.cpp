#include "MorvelMacSession.h"

#include <gtest/gtest.h>

using namespace tovarine;

namespace {

using Phase = MorvelMacSession::Phase;

struct FakeFit
{
    MorvelRun::Request request;
    MorvelRun::StepCallback step;
    MorvelRun::FinishCallback finish;
    int stops = 0;
};

// Records every fit the session starts, so a test can play its steps and ending.
struct FakeRuns
{
    std::vector<std::shared_ptr<FakeFit>> fits;

    MorvelMacSession::RunStarter starter()
    {
        return [this](const MorvelRun::Request& request, MorvelRun::StepCallback step,
                      MorvelRun::FinishCallback finish) {
            auto fit = std::make_shared<FakeFit>(FakeFit{request, std::move(step), std::move(finish), 0});
            fits.push_back(fit);
            return [fit] { ++fit->stops; };
        };
    }
};

MorvelRun::Finished finishedWith(bool ok, bool preview, std::optional<QString> writeError = std::nullopt,
                                 std::optional<QString> reason = std::nullopt)
{
    MorvelRun::Finished finished;
    finished.outcome.reply.ok = ok;
    finished.outcome.reply.quads = 600;
    finished.outcome.reply.reason = reason;
    if (preview) {
        finished.outcome.preview = MorvelPreview{{0, 0, 0}, {}, {}, {}, {}};
    }
    finished.outcome.writeError = writeError;
    finished.totalMs = 1500;
    return finished;
}

MorvelRun::Failure engineFailure(EngineFailure failure)
{
    return {MorvelRun::Failure::Kind::engine, failure, failure.localizedDescription(),
            failure.debugDescription()};
}

const QJsonObject kOptions{{"mode", "fine"}};

} // namespace

TEST(MorvelMacSession, FitRunsThroughItsPhasesToDone)
{
    QLocale::setDefault(QLocale::c());
    FakeRuns runs;
    MorvelMacSession session(runs.starter());
    EXPECT_EQ(session.phase(), Phase::idle());

    session.start("/r/model.usdz", "/r", kOptions, 1800);
    ASSERT_EQ(runs.fits.size(), 1u);
    EXPECT_EQ(session.phase(), Phase::running(u"Reading the scan\u2026"_qs, 0.02));
    const MorvelRun::Request& request = runs.fits[0]->request;
    EXPECT_EQ(request.meshPath, "/r/model.usdz");
    EXPECT_EQ(request.timeLimitSeconds, 1800);
    EXPECT_EQ(request.options, kOptions);
    EXPECT_EQ(request.appInfo.value("options").toObject(), kOptions);
    EXPECT_EQ(request.appInfo.value("app").toString(), "tovarine Companion (Linux)");
    EXPECT_EQ(request.logTag, "tovarine.companion.morvel");

    // A second start while the fit runs changes nothing.
    session.start("/other/model.usdz", "/other", {}, 300);
    EXPECT_EQ(runs.fits.size(), 1u);

    runs.fits[0]->step(u"Fitting the cage\u2026"_qs, 0.71);
    EXPECT_EQ(session.phase(), Phase::running(u"Fitting the cage\u2026"_qs, 0.71));

    runs.fits[0]->finish(finishedWith(true, true));
    EXPECT_EQ(session.phase().kind, Phase::Kind::done);
    EXPECT_EQ(session.phase().summary, u"600 quads \u00B7 1.5 s"_qs);
    EXPECT_EQ(session.writtenIn(), QString("/r"));
    EXPECT_FALSE(session.hasTask());
}

TEST(MorvelMacSession, EndingsWithoutACageBecomeFailedTexts)
{
    struct Case
    {
        Expected<MorvelRun::Finished, MorvelRun::Failure> result;
        QString message;
    };
    const std::vector<Case> cases = {
        {finishedWith(false, false, {}, QString("too few triangles")), "No Morvel: too few triangles."},
        {finishedWith(true, false), "No Morvel: engine refused this scan."},
        {unexpected(engineFailure(EngineFailure::timedOut(1800))), "No Morvel: stopped after 1800 s."},
        {unexpected(engineFailure(EngineFailure::notBundled())),
         "No Morvel: engine missing from this build."},
        {unexpected(MorvelRun::Failure{MorvelRun::Failure::Kind::scanRead, std::nullopt,
                                       "the scan has no triangles", "x"}),
         "No Morvel: the scan has no triangles."},
        {unexpected(engineFailure(EngineFailure::cancelled())), "Stopped. Nothing was written."},
        {unexpected(MorvelRun::Failure{MorvelRun::Failure::Kind::cancelled, std::nullopt, "stopped", "x"}),
         "Stopped. Nothing was written."},
    };
    for (const Case& c : cases) {
        FakeRuns runs;
        MorvelMacSession session(runs.starter());
        session.start("/r/model.usdz", "/r", kOptions, 900);
        runs.fits[0]->finish(c.result);
        EXPECT_EQ(session.phase(), Phase::failed(c.message));
        EXPECT_FALSE(session.writtenIn());
    }
}

TEST(MorvelMacSession, WriteErrorEndsDoneWithoutWrittenIn)
{
    FakeRuns runs;
    MorvelMacSession session(runs.starter());
    session.start("/r/model.usdz", "/r", kOptions, 900);
    runs.fits[0]->finish(finishedWith(true, true, QString("disk full")));
    EXPECT_EQ(session.phase().kind, Phase::Kind::done);
    EXPECT_TRUE(session.phase().summary.endsWith(u" \u00B7 files not saved: disk full"_qs));
    EXPECT_FALSE(session.writtenIn());
}

TEST(MorvelMacSession, StopThenStartAgainIgnoresTheStoppedFitsLateEnding)
{
    FakeRuns runs;
    MorvelMacSession session(runs.starter());
    session.start("/r/model.usdz", "/r", kOptions, 900);
    session.cancel();
    EXPECT_EQ(runs.fits[0]->stops, 1);
    EXPECT_EQ(session.phase(), Phase::failed("Stopped. Nothing was written."));
    EXPECT_FALSE(session.hasTask());

    session.start("/r/model.usdz", "/r", kOptions, 300);
    ASSERT_EQ(runs.fits.size(), 2u);
    runs.fits[0]->step("late step", 0.5);
    runs.fits[0]->finish(finishedWith(true, true));
    EXPECT_EQ(session.phase(), Phase::running(u"Reading the scan\u2026"_qs, 0.02));
    EXPECT_TRUE(session.hasTask());
    EXPECT_FALSE(session.writtenIn());

    // The newer fit is still the one a stop reaches.
    session.cancel();
    EXPECT_EQ(runs.fits[1]->stops, 1);
}

TEST(MorvelMacSession, StoppedFitWhoseEngineHadAnsweredStillEndsDone)
{
    FakeRuns runs;
    MorvelMacSession session(runs.starter());
    session.start("/r/model.usdz", "/r", kOptions, 900);
    session.cancel();
    runs.fits[0]->finish(finishedWith(true, true));
    EXPECT_EQ(session.phase().kind, Phase::Kind::done);
    EXPECT_EQ(session.writtenIn(), QString("/r"));
}

TEST(MorvelMacSession, ResetReturnsToIdleAndSilencesTheOldFit)
{
    FakeRuns runs;
    MorvelMacSession session(runs.starter());
    session.start("/r/model.usdz", "/r", kOptions, 900);
    runs.fits[0]->finish(finishedWith(true, true));
    ASSERT_TRUE(session.writtenIn());

    session.start("/r/model.usdz", "/r", kOptions, 900);
    session.reset();
    EXPECT_EQ(runs.fits[1]->stops, 1);
    EXPECT_EQ(session.phase(), Phase::idle());
    EXPECT_FALSE(session.writtenIn());
    runs.fits[1]->step("late", 0.3);
    runs.fits[1]->finish(finishedWith(true, true));
    EXPECT_EQ(session.phase(), Phase::idle());
    EXPECT_FALSE(session.writtenIn());
}

TEST(MorvelMacSession, CancelOutsideAFitChangesNothing)
{
    FakeRuns runs;
    MorvelMacSession session(runs.starter());
    session.cancel();
    EXPECT_EQ(session.phase(), Phase::idle());
    session.start("/r/model.usdz", "/r", kOptions, 900);
    runs.fits[0]->finish(finishedWith(true, true));
    const Phase done = session.phase();
    session.cancel();
    EXPECT_EQ(session.phase(), done);
    EXPECT_EQ(session.writtenIn(), QString("/r"));
}

TEST(MorvelMacSession, ClosingTheWindowStopsTheFit)
{
    FakeRuns runs;
    auto session = std::make_unique<MorvelMacSession>(runs.starter());
    session->start("/r/model.usdz", "/r", kOptions, 900);
    session.reset();
    EXPECT_EQ(runs.fits[0]->stops, 1);
    runs.fits[0]->finish(finishedWith(true, true)); // a late ending finds no session and does nothing
}

TEST(MorvelMacSession, ADyingSessionPublishesNothing)
{
    // A stop that ends the fit at once (as a stop during the engine does) must not publish from the
    // destructor.
    std::shared_ptr<FakeFit> fit;
    MorvelMacSession::RunStarter starter = [&fit](const MorvelRun::Request& request,
                                                  MorvelRun::StepCallback step,
                                                  MorvelRun::FinishCallback finish) {
        fit = std::make_shared<FakeFit>(FakeFit{request, std::move(step), std::move(finish), 0});
        return [f = fit.get()] {
            ++f->stops;
            f->finish(unexpected(engineFailure(EngineFailure::cancelled())));
        };
    };
    auto session = std::make_unique<MorvelMacSession>(starter);
    session->start("/r/model.usdz", "/r", kOptions, 900);
    int published = 0;
    QObject::connect(session.get(), &MorvelMacSession::phaseChanged, [&] { ++published; });
    QObject::connect(session.get(), &MorvelMacSession::writtenInChanged, [&] { ++published; });
    session.reset();
    EXPECT_EQ(fit->stops, 1);
    EXPECT_EQ(published, 0);
}
