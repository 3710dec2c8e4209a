#include "FakeModelServer.h"
#include "HangCeiling.h"
#include "Quorvantile.h"
#include "QuorvantileLocalServiceBus.h"
#include "QuorvantileRouter.h"

#include <QJsonArray>
#include <QStandardPaths>
#include <QTest>
#include <gtest/gtest.h>

using namespace ostrel;
using tovarine::test::FakeModelReply;
using tovarine::test::FakeModelServer;

namespace {

const QHostAddress kSelf(QStringLiteral("127.0.0.2"));
const QHostAddress kPeer(QStringLiteral("127.0.0.1"));

// The shared facade (this machine at 127.0.0.2) on an in-process network whose one peer (127.0.0.1) runs a
// fake model server. This machine's own client talks to another fake server, which also answers the LAN
// check.
class QuorvantileFacadeTest : public ::testing::Test
{
protected:
    QuorvantileFacadeTest()
    {
        QStandardPaths::setTestModeEnabled(true);
        EXPECT_TRUE(peerServer.listen());
        EXPECT_TRUE(localServer.listen());
        peerServer.serveModels({"llama3.1:8b"}, "remote answer");
        localServer.serveModels({"mistral:7b"}, "local answer"); // the peer serves llama3.1 better
        options.modelServerPort = peerServer.port();
        options.probeTimeoutMs = 2000;
        local = std::make_unique<OllamaClient>(QStringLiteral("tovarine-tests"), localServer.baseUrl());
        Quorvantile& mesh = Quorvantile::shared();
        mesh.useServiceBackend([this] { return bus.makeBackend(kSelf); }, options);
        const quint16 lanPort = localServer.port();
        mesh.useModelServerCheck([] { return QStringLiteral("127.0.0.1"); }, lanPort);
    }
    ~QuorvantileFacadeTest() override { Quorvantile::shared().disable(); }

    int localCalls(const QString& path) const
    {
        int count = 0;
        for (const auto& request : localServer.requests()) {
            count += request.path == path ? 1 : 0;
        }
        return count;
    }

    void joinWithPeer()
    {
        Quorvantile& mesh = Quorvantile::shared();
        mesh.enable(*local);
        QTRY_VERIFY_WITH_TIMEOUT(mesh.isEnabled(), tovarine::test::kHangCeilingMs);
        peer = std::make_unique<QuorvantileDiscovery>(
            QUuid::createUuid(), [this] { return bus.makeBackend(kPeer); }, options);
        peer->start(QuorvantileManifest(peer->nodeID(), "studio", QuorvantilePlatform::linux, {}, QString(),
                                        8, 16384, std::nullopt, std::nullopt, false, 0));
        QTRY_COMPARE_WITH_TIMEOUT(mesh.remoteNodeCount(), 1, tovarine::test::kHangCeilingMs);
        QTRY_VERIFY_WITH_TIMEOUT(
            !mesh.discovery().activeRemoteNodes().first().manifest().ollamaModels().isEmpty(),
            tovarine::test::kHangCeilingMs);
    }

    OllamaResult<QString> run(QuorvantileModelCall call, QStringList* pieces = nullptr)
    {
        std::optional<OllamaResult<QString>> result;
        Quorvantile::shared().call(
            call,
            [pieces](const QString& piece) {
                if (pieces) {
                    pieces->append(piece);
                }
            },
            [&](const OllamaResult<QString>& r) { result = r; });
        EXPECT_TRUE(QTest::qWaitFor([&] { return result.has_value(); }, tovarine::test::kHangCeilingMs));
        return result.value_or(OllamaError::noResponse());
    }

    QuorvantileLocalServiceBus bus;
    QuorvantileDiscovery::Options options;
    FakeModelServer peerServer;
    FakeModelServer localServer;
    std::unique_ptr<OllamaClient> local;
    std::unique_ptr<QuorvantileDiscovery> peer;
};

QuorvantileModelCall streamGenerate(const char* model)
{
    QuorvantileModelCall call;
    call.kind = QuorvantileModelCall::Kind::streamGenerate;
    call.prompt = QStringLiteral("hi");
    call.model = QString::fromLatin1(model);
    call.timeoutSeconds = 5;
    return call;
}

} // namespace

TEST_F(QuorvantileFacadeTest, JoinsInTheBackgroundAndDisableDuringTheJoinWins)
{
    Quorvantile& mesh = Quorvantile::shared();
    FakeModelReply slowTags =
        FakeModelReply::json({{"models", QJsonArray{QJsonObject{{"name", "mistral:7b"}}}}});
    slowTags.headerDelayMs = 200;
    localServer.enqueueReply("GET", "/api/tags", slowTags);
    mesh.enable(*local);
    QuorvantileRouter* router = mesh.router();
    ASSERT_TRUE(router);
    EXPECT_FALSE(mesh.isEnabled());
    mesh.enable(*local); // a second enable while joining changes nothing
    EXPECT_EQ(mesh.router(), router);
    mesh.disable();
    QTest::qWait(400);
    EXPECT_FALSE(mesh.isEnabled());
    EXPECT_FALSE(mesh.discovery().isBrowsing());
    EXPECT_FALSE(mesh.router());

    localServer.clearRequests();
    mesh.enable(*local);
    QTRY_VERIFY_WITH_TIMEOUT(mesh.isEnabled(), tovarine::test::kHangCeilingMs);
    const auto& manifest = mesh.discovery().localNodeManifest();
    ASSERT_TRUE(manifest);
    EXPECT_EQ(manifest->ollamaModels(), QStringList({"mistral:7b"}));
    EXPECT_EQ(manifest->ollamaBaseURL(), localServer.baseUrl());
    EXPECT_EQ(manifest->platform(), QuorvantilePlatform::linux);
    EXPECT_EQ(localCalls("/api/tags"), 2); // the LAN check and the model list
    QTRY_COMPARE_WITH_TIMEOUT(mesh.activeNodes().size(), 1, tovarine::test::kHangCeilingMs); // its own entry
}

TEST_F(QuorvantileFacadeTest, LanCheckPrintsOneLineOnlyWhenTheServerDoesNotAnswer)
{
    Quorvantile& mesh = Quorvantile::shared();
    testing::internal::CaptureStdout();
    mesh.enable(*local);
    QTRY_VERIFY_WITH_TIMEOUT(mesh.isEnabled(), tovarine::test::kHangCeilingMs);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    mesh.disable();

    localServer.enqueueReply("GET", "/api/tags", FakeModelReply::text(404, "404 page not found"));
    testing::internal::CaptureStdout();
    mesh.enable(*local);
    QTRY_VERIFY_WITH_TIMEOUT(mesh.isEnabled(), tovarine::test::kHangCeilingMs); // the node joins all the same
    EXPECT_EQ(
        testing::internal::GetCapturedStdout(),
        "[Quorvantile] Ollama is localhost-only — leaving it that way; mesh peers will not route LLM work to "
        "this node.\n");
}

TEST_F(QuorvantileFacadeTest, CallsWithoutARouterFailAndRecordNothing)
{
    Quorvantile& mesh = Quorvantile::shared();
    const auto result = run(streamGenerate("llama3.1:8b"));
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().kind(), OllamaError::Kind::notRunning);
    EXPECT_FALSE(mesh.isInferring());
    EXPECT_EQ(mesh.stats().totalCalls(), 0);
}

TEST_F(QuorvantileFacadeTest, ModelNamesResolveOntoInstalledModels)
{
    Quorvantile& mesh = Quorvantile::shared();
    localServer.serveModels({"llama3.1:70b", "llama3.1:8b-instruct"}, "x");
    bool listed = false;
    local->checkConnection([&](bool) { listed = true; });
    QTRY_VERIFY_WITH_TIMEOUT(listed, tovarine::test::kHangCeilingMs);
    mesh.enable(*local);
    EXPECT_EQ(mesh.resolveModel(QString("llama3.1:8b")), QString("llama3.1:70b"));
    EXPECT_EQ(mesh.resolveModel(QString("llama3.1:8b-instruct")), QString("llama3.1:8b-instruct"));
    EXPECT_EQ(mesh.resolveModel(QString("mistral")), QString("mistral"));
    EXPECT_EQ(mesh.resolveModel(QString("")), QString("llama3.1:70b"));
    EXPECT_EQ(mesh.resolveModel(std::nullopt), std::nullopt);
}

TEST_F(QuorvantileFacadeTest, RoutesToTheBetterPeerAndFallsBackWhenItFailsMidStream)
{
    Quorvantile& mesh = Quorvantile::shared();
    joinWithPeer();
    const QString label = mesh.discovery().activeRemoteNodes().first().displayName();
    EXPECT_EQ(label, "studio (linux)"); // peers carry the placeholder platform

    QStringList pieces;
    auto result = run(streamGenerate("llama3.1:8b"), &pieces);
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(result.value(), "remote answer");
    EXPECT_EQ(pieces.join(QString()), "remote answer");
    EXPECT_EQ(mesh.lastRouteTarget(), label);
    EXPECT_FALSE(mesh.isRoutingRemotely());
    EXPECT_FALSE(mesh.isInferring());
    EXPECT_EQ(localCalls("/api/generate"), 0);
    EXPECT_EQ(mesh.stats().nodes().value(label).calls, 1);
    EXPECT_TRUE(mesh.stats().nodes().value(label).wasRemote);

    // The peer breaks off after one piece: the pieces already delivered stay, the local call starts over.
    FakeModelReply broken = FakeModelReply::lines(QList<QByteArray>{R"({"response":"par","done":false})"});
    broken.ending = FakeModelReply::Ending::reset;
    peerServer.setReply("POST", "/api/generate", broken);
    pieces.clear();
    testing::internal::CaptureStdout();
    result = run(streamGenerate("llama3.1:8b"), &pieces);
    const std::string printed = testing::internal::GetCapturedStdout();
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(result.value(), "local answer");
    EXPECT_EQ(pieces.first(), "par");
    EXPECT_EQ(pieces.join(QString()), "parlocal answer");
    EXPECT_EQ(mesh.lastRouteTarget(), QString("local (fallback)"));
    ASSERT_EQ(localCalls("/api/generate"), 1);
    EXPECT_EQ(localServer.requests().last().json().value("model").toString(),
              "llama3.1:8b"); // the caller's model
    EXPECT_EQ(printed.rfind("[Quorvantile] Remote stream failed: ", 0), 0u) << printed;
    EXPECT_NE(printed.find(". Falling back to local.\n"), std::string::npos);

    const QuorvantileStats& stats = mesh.stats();
    EXPECT_EQ(stats.totalCalls(), 2);
    EXPECT_EQ(stats.remoteCalls(), 1);
    EXPECT_EQ(stats.nodes().value("local (fallback)").calls, 1);
    EXPECT_FALSE(stats.nodes().value("local (fallback)").wasRemote);

    // A local failure after the fallback reaches the caller unchanged and is not recorded.
    FakeModelReply down = FakeModelReply::text(500, "down");
    localServer.setReply("POST", "/api/generate", down);
    result = run(streamGenerate("llama3.1:8b"));
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error(), OllamaError::httpError(500, "Stream error"));
    EXPECT_EQ(mesh.stats().totalCalls(), 2);

    // disable() clears the route fields and keeps the statistics.
    mesh.disable();
    EXPECT_FALSE(mesh.lastRouteTarget());
    EXPECT_FALSE(mesh.router());
    EXPECT_EQ(mesh.stats().totalCalls(), 2);
}

TEST_F(QuorvantileFacadeTest, ConcurrentCallsRecordUnderTheirOwnRoute)
{
    Quorvantile& mesh = Quorvantile::shared();
    joinWithPeer();
    const QString label = mesh.discovery().activeRemoteNodes().first().displayName();
    // The shared facade keeps its statistics for the whole process: count this test's calls only.
    const std::int64_t remoteBefore = mesh.stats().nodes().value(label).calls;
    const std::int64_t localBefore = mesh.stats().nodes().value("local").calls;
    // The remote call is still streaming when a local-only call starts and ends.
    FakeModelReply slow =
        FakeModelReply::lines(QList<QByteArray>{R"({"response":"a"})", R"({"response":"b"})",
                                                R"({"response":"c"})", R"({"response":"d","done":true})"});
    slow.pieceDelayMs = 50;
    peerServer.setReply("POST", "/api/generate", slow);
    std::optional<OllamaResult<QString>> remoteResult;
    mesh.call(streamGenerate("llama3.1:8b"), {}, [&](const OllamaResult<QString>& r) { remoteResult = r; });
    std::optional<OllamaResult<QString>> localResult;
    mesh.call(streamGenerate("mistral:7b"), {}, [&](const OllamaResult<QString>& r) { localResult = r; });
    QTRY_VERIFY_WITH_TIMEOUT(remoteResult && localResult, tovarine::test::kHangCeilingMs);
    EXPECT_EQ(mesh.stats().nodes().value(label).calls, remoteBefore + 1);
    EXPECT_EQ(mesh.stats().nodes().value("local").calls, localBefore + 1);
}

TEST_F(QuorvantileFacadeTest, PlainCallsAndChatsRouteTheSameWay)
{
    Quorvantile& mesh = Quorvantile::shared();
    joinWithPeer();
    std::optional<OllamaResult<QString>> result;
    const auto keep = [&](const OllamaResult<QString>& r) { result = r; };

    mesh.chat({{{"role", "user"}, {"content", "hi"}}}, QStringLiteral("be brief"),
              QStringLiteral("llama3.1:8b"), std::nullopt, 5, keep);
    QTRY_VERIFY_WITH_TIMEOUT(result, tovarine::test::kHangCeilingMs);
    ASSERT_TRUE(result->ok());
    EXPECT_EQ(result->value(), "remote answer");
    const QJsonObject body = peerServer.requests().last().json();
    EXPECT_EQ(peerServer.requests().last().path, "/api/chat");
    EXPECT_EQ(body.value("messages").toArray().first().toObject().value("role").toString(), "system");
    EXPECT_FALSE(body.value("stream").toBool());

    peerServer.setReply("POST", "/api/generate", FakeModelReply::text(500, "boom"));
    result.reset();
    testing::internal::CaptureStdout();
    mesh.generate(QString(), QStringLiteral("hi"), QStringLiteral("llama3.1:8b"), std::nullopt, std::nullopt,
                  5, keep);
    QTRY_VERIFY_WITH_TIMEOUT(result, tovarine::test::kHangCeilingMs);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[Quorvantile] Remote node studio (linux) failed: HTTP 500: boom. Falling back to local.\n");
    ASSERT_TRUE(result->ok());
    EXPECT_EQ(result->value(), "local answer");
}

TEST_F(QuorvantileFacadeTest, ACallInFlightWhenTheMeshIsDisabledStillEnds)
{
    Quorvantile& mesh = Quorvantile::shared();
    joinWithPeer();
    FakeModelReply slow =
        FakeModelReply::lines(QList<QByteArray>{R"({"response":"a"})", R"({"response":"b","done":true})"});
    slow.pieceDelayMs = 100;
    peerServer.setReply("POST", "/api/generate", slow);
    std::optional<OllamaResult<QString>> result;
    mesh.call(streamGenerate("llama3.1:8b"), {}, [&](const OllamaResult<QString>& r) { result = r; });
    QTest::qWait(30);
    mesh.disable(); // the router goes from the facade while its call runs
    QTRY_VERIFY_WITH_TIMEOUT(result, tovarine::test::kHangCeilingMs);
    ASSERT_TRUE(result->ok());
    EXPECT_EQ(result->value(), "ab");
    QTest::qWait(50); // the call's deferred clean-up runs without its router
    EXPECT_FALSE(mesh.isInferring());
}
