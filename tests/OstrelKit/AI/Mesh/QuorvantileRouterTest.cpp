#include "QuorvantileRouter.h"

#include "FakeModelServer.h"
#include "FloodServer.h"
#include "HangCeiling.h"
#include "QuorvantileLocalServiceBus.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

using namespace ostrel;
using tovarine::test::FakeModelReply;
using tovarine::test::FakeModelServer;
using tovarine::test::FloodServer;

namespace {

QuorvantileNode nodeWith(const QString& name, QStringList models, const QString& host = "127.0.0.3",
                         quint16 port = 11434, bool local = false,
                         std::optional<std::int64_t> vram = std::nullopt, double load = 0.0)
{
    const QUuid id = QUuid::createUuid();
    return QuorvantileNode(id,
                           QuorvantileManifest(id, name, QuorvantilePlatform::linux, models, QString(), 0, 0,
                                               std::nullopt, vram, false, load),
                           host, port, QDateTime::currentDateTime(), local);
}

QuorvantileModelCall generateCall(QuorvantileModelCall::Kind kind = QuorvantileModelCall::Kind::generate)
{
    QuorvantileModelCall call;
    call.kind = kind;
    call.system = QStringLiteral("be brief");
    call.prompt = QStringLiteral("hello");
    call.model = QStringLiteral("llama3.1:8b");
    call.timeoutSeconds = 5;
    return call;
}

// Runs one remote call through a router to the node at `host`:`port` and waits for its end.
OllamaResult<QString> remoteTo(const QString& host, quint16 port, const QuorvantileModelCall& call,
                               QStringList* pieces = nullptr)
{
    QuorvantileLocalServiceBus bus;
    QuorvantileDiscovery discovery(QUuid::createUuid(),
                                   [&bus] { return bus.makeBackend(QHostAddress::LocalHost); });
    OllamaClient local(QStringLiteral("tests"), QStringLiteral("http://127.0.0.1:9"));
    auto router = std::make_shared<QuorvantileRouter>(discovery, local);
    std::optional<OllamaResult<QString>> result;
    router->remoteCall(
        nodeWith("peer", {}, host, port), call, QStringLiteral("m"),
        [pieces](const QString& piece) {
            if (pieces) {
                pieces->append(piece);
            }
        },
        [&result](const OllamaResult<QString>& r) { result = r; });
    EXPECT_TRUE(QTest::qWaitFor([&] { return result.has_value(); }, tovarine::test::kHangCeilingMs));
    return result.value_or(OllamaError::noResponse());
}

OllamaResult<QString> remote(FakeModelServer& server, const QuorvantileModelCall& call,
                             QStringList* pieces = nullptr)
{
    return remoteTo(QStringLiteral("127.0.0.1"), server.port(), call, pieces);
}

QString errorText(const OllamaResult<QString>& result)
{
    return result.ok() ? QString() : result.error().errorDescription();
}

} // namespace

TEST(QuorvantileRouter, ChoosesAPeerOnlyWhenItBeatsThisMachine)
{
    const QStringList models{"llama3.1:8b"};
    const auto a = nodeWith("a", {"llama3.1:70b"});  // 69
    const auto b = nodeWith("b", {"llama3.1:8b"});   // 69, listed second
    const auto none = nodeWith("c", {"mistral:7b"}); // no score
    struct Case
    {
        const char* what;
        std::optional<QuorvantileNode> local;
        QList<QuorvantileNode> remote;
        std::optional<QString> expected;
    };
    const Case cases[] = {
        {"no peers", std::nullopt, {}, std::nullopt},
        {"no local entry: baseline 20", std::nullopt, {none, a}, QString("a")},
        {"equal scores keep the first", std::nullopt, {a, b}, QString("a")},
        {"local without the model: baseline 0",
         nodeWith("me", {"mistral"}, "localhost", 11434, true),
         {a},
         QString("a")},
        {"idle local wins (79)",
         nodeWith("me", {"llama3.1:8b"}, "localhost", 11434, true),
         {a},
         std::nullopt},
        {"equal to the baseline stays local (69)",
         nodeWith("me", {"llama3.1"}, "localhost", 11434, true, std::nullopt, 0.4),
         {a},
         std::nullopt},
        {"busy local loses (44)",
         nodeWith("me", {"llama3.1"}, "localhost", 11434, true, std::nullopt, 1.4),
         {a},
         QString("a")},
        {"peer without the model never wins", std::nullopt, {none}, std::nullopt},
    };
    for (const Case& c : cases) {
        const auto chosen = QuorvantileRouter::chooseNode(c.remote, c.local, models);
        EXPECT_EQ(chosen ? std::optional<QString>(chosen->manifest().nodeName()) : std::nullopt, c.expected)
            << c.what;
    }
}

TEST(QuorvantileRouter, ModelNamesMapOntoTheNodesFirstFamilyMatch)
{
    const auto node = nodeWith("n", {"llama3.1:70b", "llama3.1:8b-q4", "llama3.10:7b", "x:8b"});
    EXPECT_EQ(QuorvantileRouter::resolveModelName("llama3.1:8b", node), "llama3.1:70b");
    EXPECT_EQ(QuorvantileRouter::resolveModelName("llama3.1:8b-q4", node), "llama3.1:8b-q4");
    EXPECT_EQ(QuorvantileRouter::resolveModelName("llama3.10", node), "llama3.10:7b");
    EXPECT_EQ(QuorvantileRouter::resolveModelName(":x", node), "x:8b");
    EXPECT_EQ(QuorvantileRouter::resolveModelName("", node), "llama3.1:70b");
    EXPECT_EQ(QuorvantileRouter::resolveModelName("qwen", node), "qwen");
}

TEST(QuorvantileRouterRemoteCalls, RequestBodies)
{
    FakeModelServer server;
    ASSERT_TRUE(server.listen());
    server.setReply("POST", "/api/generate", FakeModelReply::json({{"response", "x"}}));
    server.setReply("POST", "/api/chat", FakeModelReply::json({{"message", QJsonObject{{"content", "x"}}}}));
    const auto sent = [&server](const QuorvantileModelCall& call) {
        EXPECT_TRUE(remote(server, call).ok());
        return QJsonDocument(server.requests().last().json()).toJson(QJsonDocument::Compact);
    };
    QuorvantileModelCall call = generateCall();
    call.images = QStringList();
    EXPECT_EQ(sent(call), R"({"model":"m","prompt":"hello","stream":false,"system":"be brief"})");
    EXPECT_EQ(server.requests().last().headers.value("content-type"), "application/json");
    call.kind = QuorvantileModelCall::Kind::streamGenerate;
    call.images = QStringList{"aGk="};
    call.options = OllamaOptions(0.5, std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt,
                                 std::nullopt);
    EXPECT_EQ(
        sent(call),
        R"({"images":["aGk="],"model":"m","options":{"temperature":0.5},"prompt":"hello","stream":true,"system":"be brief"})");

    QuorvantileModelCall chat;
    chat.kind = QuorvantileModelCall::Kind::chat;
    chat.chatSystem = QStringLiteral("sys");
    chat.messages = {{{"role", "user"}, {"content", "hi"}}};
    EXPECT_EQ(
        sent(chat),
        R"({"messages":[{"content":"sys","role":"system"},{"content":"hi","role":"user"}],"model":"m","stream":false})");
    chat.chatSystem.reset();
    EXPECT_EQ(sent(chat), R"({"messages":[{"content":"hi","role":"user"}],"model":"m","stream":false})");
}

TEST(QuorvantileRouterRemoteCalls, PlainReplies)
{
    FakeModelServer server;
    ASSERT_TRUE(server.listen());
    const QuorvantileModelCall generate = generateCall();
    QuorvantileModelCall chat;
    chat.kind = QuorvantileModelCall::Kind::chat;
    struct Case
    {
        const QuorvantileModelCall* call;
        int status;
        QByteArray body;
        QString expected; // the text, or the error's description
        bool ok;
    };
    const Case cases[] = {
        {&generate, 200, R"({"response":"  hi there\n"})", "hi there", true},
        {&chat, 200, R"({"message":{"role":"assistant","content":" ok "}})", "ok", true},
        {&generate, 500, "boom", "HTTP 500: boom", false},
        {&generate, 503, "\xff\xfe", "HTTP 503: ", false},
        {&generate, 200, R"({"text":"x"})", "Failed to decode response", false},
        {&chat, 200, R"({"message":"x"})", "Failed to decode response", false},
        {&generate, 200, R"([1])", "Failed to decode response", false},
    };
    for (const Case& c : cases) {
        server.setReply("POST", c.call->isChat() ? "/api/chat" : "/api/generate",
                        FakeModelReply::text(c.status, c.body));
        const auto result = remote(server, *c.call);
        EXPECT_EQ(result.ok(), c.ok) << c.body.constData();
        EXPECT_EQ(result.ok() ? result.value() : result.error().errorDescription(), c.expected)
            << c.body.constData();
    }
    server.setReply("POST", "/api/generate", FakeModelReply::text(200, "{not json"));
    const auto unparsable = remote(server, generate);
    ASSERT_FALSE(unparsable.ok());
    EXPECT_EQ(unparsable.error().kind(), OllamaError::Kind::invalidJson);

    // A peer that drops the connection without a reply, or does not speak HTTP: the error (and so the
    // fallback's log line) says what happened.
    FakeModelReply dropped;
    dropped.notHttp = true;
    FakeModelReply ssh = FakeModelReply::text(200, "SSH-2.0-OpenSSH_9.2\r\n");
    ssh.notHttp = true;
    for (const QuorvantileModelCall* call :
         std::initializer_list<const QuorvantileModelCall*>{&generate, &chat}) {
        const QString path = call->isChat() ? "/api/chat" : "/api/generate";
        server.setReply("POST", path, dropped);
        EXPECT_EQ(errorText(remote(server, *call)), "Connection closed before the server replied");
        server.setReply("POST", path, ssh);
        EXPECT_EQ(errorText(remote(server, *call)), "The server's reply is not HTTP");
    }
}

TEST(QuorvantileRouterRemoteCalls, StreamsOverLoopback)
{
    FakeModelServer server;
    ASSERT_TRUE(server.listen());
    const auto streaming = generateCall(QuorvantileModelCall::Kind::streamGenerate);

    server.setReply("POST", "/api/generate",
                    FakeModelReply::lines(
                        QList<QByteArray>{R"({"response":"Hel","done":false})", "", "keep-alive",
                                          R"({"done":true})", R"({"response":"lo ","done":false})",
                                          R"({"response":"you","done":true})", R"({"response":"ignored"})"}));
    QStringList pieces;
    auto result = remote(server, streaming, &pieces);
    ASSERT_TRUE(result.ok()) << errorText(result).toStdString();
    EXPECT_EQ(result.value(), "Hello you"); // not trimmed; a line without a piece does not end the reading
    EXPECT_EQ(pieces, QStringList({"Hel", "lo ", "you"}));
    EXPECT_EQ(server.requests().last().path, "/api/generate");
    EXPECT_TRUE(server.requests().last().json().value("stream").toBool());
    EXPECT_EQ(server.requests().last().headers.value("content-type"), "application/json");

    FakeModelReply failing = FakeModelReply::lines(QList<QByteArray>{R"({"response":"a"})"});
    failing.status = 500;
    server.setReply("POST", "/api/generate", failing);
    EXPECT_EQ(errorText(remote(server, streaming)), "HTTP 500: Remote stream error");

    // A server that fails mid-stream: an error line, or a connection reset before the end of the body.
    pieces.clear();
    server.setReply(
        "POST", "/api/generate",
        FakeModelReply::lines(QList<QByteArray>{R"({"response":"par"})", R"({"error":"model crashed"})"}));
    result = remote(server, streaming, &pieces);
    EXPECT_EQ(errorText(result), "HTTP 200: Remote stream error: model crashed");
    EXPECT_EQ(pieces, QStringList({"par"}));
    FakeModelReply reset = FakeModelReply::lines(QList<QByteArray>{R"({"response":"par"})"});
    reset.ending = FakeModelReply::Ending::reset;
    server.setReply("POST", "/api/generate", reset);
    EXPECT_FALSE(remote(server, streaming).ok());

    // The server closing a complete stream without "done" ends it with what arrived.
    QuorvantileModelCall chat;
    chat.kind = QuorvantileModelCall::Kind::streamChat;
    chat.timeoutSeconds = 5;
    server.setReply("POST", "/api/chat",
                    FakeModelReply::lines(QList<QByteArray>{R"({"message":{"content":"x"}})",
                                                            R"({"message":{"content":"y"}})"}));
    result = remote(server, chat);
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(result.value(), "xy");
}

TEST(QuorvantileRouterRemoteCalls, NodeAddressThatCannotFormAUrlFailsWithoutARequest)
{
    const auto result = remoteTo(QStringLiteral("evil.example/x?"), 11434, generateCall());
    EXPECT_FALSE(result.ok());
}

// A peer that sends trailer lines or interim heads without end never lets the call's 5 s limit fire (bytes
// keep coming): each kind of remote call still ends at once with the text, so the routed call falls back.
TEST(QuorvantileRouterRemoteCalls, EndlessTrailersOrInterimHeadsEndTheRemoteCall)
{
    const struct
    {
        FloodServer::Body body;
        const char* failure;
    } shapes[]{{FloodServer::Body::trailer, "The server's reply trailer is longer than 64 KiB"},
               {FloodServer::Body::interimHeads, "The server's interim replies are longer than 64 KiB"}};
    for (const auto& shape : shapes) {
        for (const auto kind : {QuorvantileModelCall::Kind::generate, QuorvantileModelCall::Kind::streamGenerate,
                                QuorvantileModelCall::Kind::chat, QuorvantileModelCall::Kind::streamChat}) {
            FloodServer flood(shape.body);
            ASSERT_TRUE(flood.listening());
            const auto result = remoteTo(QStringLiteral("127.0.0.1"), flood.port(), generateCall(kind));
            EXPECT_EQ(errorText(result), shape.failure) << static_cast<int>(kind);
        }
    }
}
