#include "MeshCallFixtures.h"
#include "Quorvantile.h"
#include "QuorvantileLocalServiceBus.h"
#include "QuorvantileRouter.h"

#include <QTest>

#include <gtest/gtest.h>

using namespace ostrel;

namespace {

const QHostAddress kSelf(QStringLiteral("127.0.0.2"));
const QHostAddress kPeer(QStringLiteral("127.0.0.3"));

// The shared facade on an in-process network whose one peer (127.0.0.3) runs a scripted model server; the
// facade's LAN check goes to a scripted server on 127.0.0.5.
class QuorvantileFacadeTest : public ::testing::Test
{
protected:
    QuorvantileFacadeTest()
        : peerServer(kPeer)
        , lanServer(QHostAddress(QStringLiteral("127.0.0.5")))
    {
        options.modelServerPort = peerServer.port();
        options.probeTimeoutMs = 2000;
        peerServer.replies.insert("/api/tags", ScriptedHttp::json(200, R"({"models":[{"name":"llama3.1:8b"}]})"));
        lanServer.reply = ScriptedHttp::json(200, R"({"models":[]})");
        Quorvantile& mesh = Quorvantile::shared();
        mesh.useServiceBackend([this] { return bus.makeBackend(kSelf); }, options);
        mesh.useModelServerCheck([] { return QStringLiteral("127.0.0.5"); }, lanServer.port());
        local->installed = {"mistral:7b"}; // the peer serves llama3.1 better than this machine
    }
    ~QuorvantileFacadeTest() override { Quorvantile::shared().disable(); }

    void joinWithPeer()
    {
        Quorvantile& mesh = Quorvantile::shared();
        mesh.enable(local);
        QTRY_VERIFY_WITH_TIMEOUT(mesh.isEnabled(), 5000);
        peer = std::make_unique<QuorvantileDiscovery>(QUuid::createUuid(), [this] { return bus.makeBackend(kPeer); },
                                                      options);
        peer->start(QuorvantileManifest(peer->nodeID(), "studio", QuorvantilePlatform::linux, {}, QString(), 8,
                                        16384, std::nullopt, std::nullopt, false, 0));
        QTRY_COMPARE_WITH_TIMEOUT(mesh.remoteNodeCount(), 1, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(!mesh.discovery().activeRemoteNodes().first().manifest().ollamaModels().isEmpty(), 5000);
    }

    QuorvantileCallResult run(QuorvantileModelCall call, QStringList* pieces = nullptr)
    {
        std::optional<QuorvantileCallResult> result;
        Quorvantile::shared().call(
            call,
            [pieces](const QString& piece) {
                if (pieces) {
                    pieces->append(piece);
                }
            },
            [&](const QuorvantileCallResult& r) { result = r; });
        EXPECT_TRUE(QTest::qWaitFor([&] { return result.has_value(); }, 5000));
        return result.value_or(QuorvantileCallResult::failure("no end"));
    }

    QuorvantileLocalServiceBus bus;
    QuorvantileDiscovery::Options options;
    ScriptedHttp peerServer;
    ScriptedHttp lanServer;
    std::shared_ptr<FakeLocalModel> local = std::make_shared<FakeLocalModel>();
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
    local->listDelayMs = 200;
    mesh.enable(local);
    QuorvantileRouter* router = mesh.router();
    ASSERT_TRUE(router);
    EXPECT_FALSE(mesh.isEnabled());
    mesh.enable(local); // a second enable while joining changes nothing
    EXPECT_EQ(mesh.router(), router);
    mesh.disable();
    QTest::qWait(400);
    EXPECT_FALSE(mesh.isEnabled());
    EXPECT_FALSE(mesh.discovery().isBrowsing());
    EXPECT_FALSE(mesh.router());

    mesh.enable(local);
    QTRY_VERIFY_WITH_TIMEOUT(mesh.isEnabled(), 5000);
    const auto& manifest = mesh.discovery().localNodeManifest();
    ASSERT_TRUE(manifest);
    EXPECT_EQ(manifest->ollamaModels(), QStringList({"mistral:7b"}));
    EXPECT_EQ(manifest->ollamaBaseURL(), "http://localhost:11434");
    EXPECT_EQ(manifest->platform(), QuorvantilePlatform::linux);
    EXPECT_EQ(lanServer.lastPath, "/api/tags");
    QTRY_COMPARE_WITH_TIMEOUT(mesh.activeNodes().size(), 1, 5000); // its own entry
}

TEST_F(QuorvantileFacadeTest, LanCheckPrintsOneLineOnlyWhenTheServerDoesNotAnswer)
{
    Quorvantile& mesh = Quorvantile::shared();
    testing::internal::CaptureStdout();
    mesh.enable(local);
    QTRY_VERIFY_WITH_TIMEOUT(mesh.isEnabled(), 5000);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    mesh.disable();

    lanServer.reply = ScriptedHttp::json(404, "no");
    testing::internal::CaptureStdout();
    mesh.enable(local);
    QTRY_VERIFY_WITH_TIMEOUT(mesh.isEnabled(), 5000); // the node joins all the same
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[Quorvantile] Ollama is localhost-only — leaving it that way; mesh peers will not route LLM work to "
              "this node.\n");
}

TEST_F(QuorvantileFacadeTest, CallsWithoutARouterFailAndRecordNothing)
{
    Quorvantile& mesh = Quorvantile::shared();
    const auto result = run(streamGenerate("llama3.1:8b"));
    EXPECT_EQ(result.error, "Ollama is not running");
    EXPECT_FALSE(mesh.isInferring());
    EXPECT_EQ(mesh.stats().totalCalls(), 0);
}

TEST_F(QuorvantileFacadeTest, ModelNamesResolveOntoInstalledModels)
{
    Quorvantile& mesh = Quorvantile::shared();
    local->installed = {"llama3.1:70b", "llama3.1:8b-instruct"};
    mesh.enable(local);
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
    EXPECT_EQ(label, "studio (macOS)"); // peers carry the placeholder platform

    peerServer.replies.insert("/api/generate",
                              ScriptedHttp::stream({R"({"response":"remote ","done":false})",
                                                    R"({"response":"answer","done":true})"}));
    QStringList pieces;
    auto result = run(streamGenerate("llama3.1:8b"), &pieces);
    EXPECT_EQ(result.text, QString("remote answer"));
    EXPECT_EQ(mesh.lastRouteTarget(), label);
    EXPECT_FALSE(mesh.isRoutingRemotely());
    EXPECT_FALSE(mesh.isInferring());
    EXPECT_EQ(local->calls, 0);
    EXPECT_EQ(mesh.stats().nodes().value(label).calls, 1);
    EXPECT_TRUE(mesh.stats().nodes().value(label).wasRemote);

    // The peer breaks off after one piece: the pieces already delivered stay, the local call starts over.
    peerServer.replies.insert("/api/generate", ScriptedHttp::stream({R"({"response":"par"})"}, true));
    pieces.clear();
    testing::internal::CaptureStdout();
    result = run(streamGenerate("llama3.1:8b"), &pieces);
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(result.text, QString("local answer"));
    EXPECT_EQ(pieces, QStringList({"par", "local ", "answer"}));
    EXPECT_EQ(mesh.lastRouteTarget(), QString("local (fallback)"));
    EXPECT_EQ(local->calls, 1);
    EXPECT_EQ(local->lastCall.model, QString("llama3.1:8b")); // the caller's model, not the peer's mapping
    EXPECT_EQ(printed.rfind("[Quorvantile] Remote stream failed: ", 0), 0u) << printed;
    EXPECT_NE(printed.find(". Falling back to local.\n"), std::string::npos);

    const QuorvantileStats& stats = mesh.stats();
    EXPECT_EQ(stats.totalCalls(), 2);
    EXPECT_EQ(stats.remoteCalls(), 1);
    EXPECT_EQ(stats.nodes().value("local (fallback)").calls, 1);
    EXPECT_FALSE(stats.nodes().value("local (fallback)").wasRemote);

    // A local failure after the fallback reaches the caller and is not recorded.
    local->error = QStringLiteral("HTTP 500: down");
    result = run(streamGenerate("llama3.1:8b"));
    EXPECT_EQ(result.error, "HTTP 500: down");
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
    // The remote call is still streaming when a local-only call starts and ends.
    peerServer.replies.insert("/api/generate",
                              ScriptedHttp::stream({R"({"response":"a"})", R"({"response":"b"})", R"({"response":"c"})",
                                                    R"({"response":"d","done":true})"}));
    std::optional<QuorvantileCallResult> remoteResult;
    mesh.call(streamGenerate("llama3.1:8b"), {}, [&](const QuorvantileCallResult& r) { remoteResult = r; });
    QuorvantileModelCall localCall = streamGenerate("mistral:7b");
    std::optional<QuorvantileCallResult> localResult;
    mesh.call(localCall, {}, [&](const QuorvantileCallResult& r) { localResult = r; });
    QTRY_VERIFY_WITH_TIMEOUT(remoteResult && localResult, 5000);
    EXPECT_EQ(mesh.stats().nodes().value(label).calls, 1);
    EXPECT_EQ(mesh.stats().nodes().value("local").calls, 1);
}
