#include "EngineHost.h"
#include "MorvelEngineLocator.h"
#include "WebTestSupport.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QtEndian>
#include <csignal>
#include <cstring>
#include <gtest/gtest.h>

using namespace tovarine;

namespace tovarine::test {

MorvelScan tetrahedronScan()
{
    const std::vector<float> p = {0, 0, 0, 40, 0, 0, 0, 30, 0, 0, 0, 20};
    const std::vector<std::uint32_t> t = {0, 2, 1, 0, 1, 3, 0, 3, 2, 1, 2, 3};
    MorvelScan scan;
    scan.positions.resize(static_cast<qsizetype>(p.size() * 4));
    for (std::size_t i = 0; i < p.size(); ++i) {
        std::uint32_t bits;
        std::memcpy(&bits, &p[i], 4);
        qToLittleEndian(bits, scan.positions.data() + 4 * i);
    }
    scan.triangles.resize(static_cast<qsizetype>(t.size() * 4));
    for (std::size_t i = 0; i < t.size(); ++i) {
        qToLittleEndian(t[i], scan.triangles.data() + 4 * i);
    }
    scan.vertexCount = 4;
    scan.triangleCount = 4;
    scan.sourceVertexCount = 4;
    return scan;
}

} // namespace tovarine::test

namespace {

struct HostRun
{
    std::vector<EngineEvent> events;
    std::optional<Expected<QString, EngineFailure>> result;
    int finishCalls = 0;

    int count(EngineEvent::Kind kind) const
    {
        return static_cast<int>(std::count_if(events.begin(), events.end(),
                                              [kind](const EngineEvent& e) { return e.kind == kind; }));
    }
    QJsonObject reply() const { return QJsonDocument::fromJson(result->value().toUtf8()).object(); }
};

class EngineHostWeb : public ::testing::Test
{
protected:
    void SetUp() override { MorvelEngineLocator::setEngineFolderForTesting(test::standInFolder()); }
    void TearDown() override { MorvelEngineLocator::setEngineFolderForTesting(std::nullopt); }

    // Runs a host over the tetrahedron with the stand-in mode `mode`; `onEvent` may act on the host.
    HostRun run(const QString& mode, int limitSeconds = 60,
                std::function<void(EngineHost&, const EngineEvent&)> onEvent = {})
    {
        HostRun out;
        EngineHost host;
        QJsonObject options{{"standinMode", mode}, {"targetQuads", 3000}};
        host.run(
            test::tetrahedronScan(), options, limitSeconds,
            [&](const EngineEvent& event) {
                out.events.push_back(event);
                if (onEvent) {
                    onEvent(host, event);
                }
            },
            [&](const Expected<QString, EngineFailure>& result) {
                ++out.finishCalls;
                out.result = result;
            });
        EXPECT_TRUE(test::waitUntil([&] { return out.result.has_value(); }, 60000)) << mode.toStdString();
        // Late messages and timers find nothing to resume.
        test::waitUntil([] { return false; }, 300);
        EXPECT_EQ(out.finishCalls, 1);
        EXPECT_EQ(host.renderProcessPid(), 0) << "the page outlived the finish";
        return out;
    }
};

} // namespace

TEST_F(EngineHostWeb, StandInAnswersWithReplyStagesAndOneStart)
{
    const HostRun out = run("ok");
    ASSERT_TRUE(out.result->hasValue()) << out.result->error().localizedDescription().toStdString();
    const QJsonObject reply = out.reply();
    EXPECT_TRUE(reply.value("ok").toBool());
    EXPECT_EQ(reply.value("settings").toObject().value("targetQuads").toInt(), 3000);
    EXPECT_EQ(reply.value("standin").toObject().value("scanVertices").toInt(), 4);
    EXPECT_EQ(reply.value("standin").toObject().value("scanTriangles").toInt(), 4);
    EXPECT_EQ(reply.value("standin").toObject().value("startCalls").toInt(), 1);
    ASSERT_FALSE(out.events.empty());
    EXPECT_EQ(out.events.front(), (EngineEvent{EngineEvent::Kind::ready, "morvel stand-in", 0}));
    EXPECT_EQ(out.count(EngineEvent::Kind::stage), 9);
    EXPECT_EQ(out.count(EngineEvent::Kind::probe), 1);
}

// The engine page must count as visible from its first script on: a hidden page runs its timers about once a
// second, which slows a real engine some forty times and ends fits in their time limit.
TEST_F(EngineHostWeb, PageIsVisibleFromItsLoadAndItsTimersAreNotThrottled)
{
    const HostRun out = run("probeTimers");
    ASSERT_TRUE(out.result->hasValue()) << out.result->error().localizedDescription().toStdString();
    const QJsonObject standin = out.reply().value("standin").toObject();
    EXPECT_EQ(standin.value("visibilityAtLoad").toString(), "visible");
    EXPECT_EQ(standin.value("visibilityAtStart").toString(), "visible");
    // Ten chained zero-delay timers: milliseconds when visible, about ten seconds when throttled.
    ASSERT_TRUE(standin.value("timerProbeMs").isDouble());
    EXPECT_LT(standin.value("timerProbeMs").toDouble(), 1000.0);
}

TEST_F(EngineHostWeb, EachFailingEndingHasItsFailure)
{
    struct Case
    {
        const char* mode;
        EngineFailure failure;
    };
    const std::vector<Case> cases = {
        {"fail", EngineFailure::engine("stand-in failed on purpose")},
        {"throw", EngineFailure::engine("Error: stand-in start threw")},
        {"reject", EngineFailure::engine("stand-in start rejected")},
        {"nothing", EngineFailure::engine("engine returned nothing")},
    };
    for (const Case& c : cases) {
        const HostRun out = run(c.mode);
        ASSERT_FALSE(out.result->hasValue()) << c.mode;
        EXPECT_EQ(out.result->error(), c.failure)
            << c.mode << ": " << out.result->error().localizedDescription().toStdString();
    }
}

TEST_F(EngineHostWeb, RefusalIsAReplyNotAFailure)
{
    const HostRun out = run("refuse");
    ASSERT_TRUE(out.result->hasValue());
    EXPECT_FALSE(out.reply().value("ok").toBool());
    EXPECT_EQ(out.reply().value("reason").toString(), "stand-in refused this scan");
}

TEST_F(EngineHostWeb, TimeLimitEndsAPageThatNeverAnswers)
{
    const HostRun out = run("hang", 1);
    ASSERT_FALSE(out.result->hasValue());
    EXPECT_EQ(out.result->error(), EngineFailure::timedOut(1));
    EXPECT_EQ(out.result->error().localizedDescription(), "stopped after 1 s");
}

TEST_F(EngineHostWeb, FirstAnswerWinsAndLaterMessagesAreIgnored)
{
    const HostRun out = run("twice");
    ASSERT_TRUE(out.result->hasValue());
    EXPECT_TRUE(out.reply().value("ok").toBool());
    EXPECT_EQ(out.count(EngineEvent::Kind::ready), 1);
    EXPECT_EQ(out.reply().value("standin").toObject().value("startCalls").toInt(), 1);
}

TEST_F(EngineHostWeb, PageErrorAfterReadyIsOnlyLogged)
{
    const HostRun out = run("pageErrorAfterReady");
    ASSERT_TRUE(out.result->hasValue());
    EXPECT_NE(std::find(out.events.begin(), out.events.end(),
                        EngineEvent{EngineEvent::Kind::log, "page error: late page error", 0}),
              out.events.end());
}

TEST_F(EngineHostWeb, RendererEndedBySystemIsProcessEnded)
{
    const HostRun out = run("crash", 60, [](EngineHost& host, const EngineEvent& event) {
        if (event.kind == EngineEvent::Kind::stage && event.text == "crash-me") {
            ASSERT_GT(host.renderProcessPid(), 0);
            ::kill(static_cast<pid_t>(host.renderProcessPid()), SIGKILL);
        }
    });
    ASSERT_FALSE(out.result->hasValue());
    EXPECT_EQ(out.result->error(), EngineFailure::processEnded());
}

TEST_F(EngineHostWeb, CancelEndsTheRunOnce)
{
    const HostRun out = run("hang", 60, [](EngineHost& host, const EngineEvent& event) {
        if (event.kind == EngineEvent::Kind::ready) {
            QMetaObject::invokeMethod(
                &host,
                [&host] {
                    host.cancel();
                    host.cancel();
                },
                Qt::QueuedConnection);
        }
    });
    ASSERT_FALSE(out.result->hasValue());
    EXPECT_EQ(out.result->error(), EngineFailure::cancelled());
}

TEST_F(EngineHostWeb, PageBehaviourBeforeTheStart)
{
    QTemporaryDir dir;
    MorvelEngineLocator::setEngineFolderForTesting(test::standInCopyWithMode(dir, "errorBeforeReady"));
    HostRun out = run("ok");
    ASSERT_FALSE(out.result->hasValue());
    EXPECT_EQ(out.result->error(), EngineFailure::loadFailed("stand-in could not start"));

    QTemporaryDir dir2;
    MorvelEngineLocator::setEngineFolderForTesting(test::standInCopyWithMode(dir2, "readyTwice"));
    out = run("ok");
    ASSERT_TRUE(out.result->hasValue());
    EXPECT_EQ(out.count(EngineEvent::Kind::ready), 1);
    EXPECT_EQ(out.reply().value("standin").toObject().value("startCalls").toInt(), 1);
}

TEST_F(EngineHostWeb, MissingPageFailsToLoadAndMissingFolderIsNotBundled)
{
    QTemporaryDir empty;
    MorvelEngineLocator::setEngineFolderForTesting(empty.path());
    HostRun out = run("ok");
    ASSERT_FALSE(out.result->hasValue());
    EXPECT_EQ(out.result->error().kind, EngineFailure::Kind::loadFailed);
    EXPECT_TRUE(out.result->error().localizedDescription().startsWith("engine failed to load ("));

    MorvelEngineLocator::setEngineFolderForTesting(QString());
    out = run("ok");
    ASSERT_FALSE(out.result->hasValue());
    EXPECT_EQ(out.result->error(), EngineFailure::notBundled());
    EXPECT_TRUE(out.events.empty());
}
