#include "MeshCallFixtures.h"
#include "QuorvantileRemoteCall.h"
#include "QuorvantileRouter.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace ostrel;

namespace {

QuorvantileNode nodeWith(const QString& name, QStringList models, const QString& host = "127.0.0.3", quint16 port = 11434,
                         bool local = false, std::optional<std::int64_t> vram = std::nullopt, double load = 0.0)
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

// Runs one remote call to `server` and waits for its end.
QuorvantileCallResult remote(ScriptedHttp& server, const QuorvantileModelCall& call, QStringList* pieces = nullptr)
{
    QNetworkAccessManager http;
    std::optional<QuorvantileCallResult> result;
    QuorvantileRemoteCall remoteCall(
        http, nodeWith("peer", {}, server.host(), server.port()), call, QStringLiteral("m"),
        [pieces](const QString& piece) {
            if (pieces) {
                pieces->append(piece);
            }
        },
        [&result](const QuorvantileCallResult& r) { result = r; });
    EXPECT_TRUE(QTest::qWaitFor([&] { return result.has_value(); }, 5000));
    return result.value_or(QuorvantileCallResult::failure("no end"));
}

} // namespace

TEST(QuorvantileRouter, ChoosesAPeerOnlyWhenItBeatsThisMachine)
{
    const QStringList models{"llama3.1:8b"};
    const auto a = nodeWith("a", {"llama3.1:70b"});        // 69
    const auto b = nodeWith("b", {"llama3.1:8b"});         // 69, listed second
    const auto none = nodeWith("c", {"mistral:7b"});       // no score
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
        {"local without the model: baseline 0", nodeWith("me", {"mistral"}, "localhost", 11434, true), {a}, QString("a")},
        {"idle local wins (79)", nodeWith("me", {"llama3.1:8b"}, "localhost", 11434, true), {a}, std::nullopt},
        {"equal to the baseline stays local (69)", nodeWith("me", {"llama3.1"}, "localhost", 11434, true, std::nullopt, 0.4),
         {a}, std::nullopt},
        {"busy local loses (44)", nodeWith("me", {"llama3.1"}, "localhost", 11434, true, std::nullopt, 1.4), {a},
         QString("a")},
        {"peer without the model never wins", std::nullopt, {none}, std::nullopt},
    };
    for (const Case& c : cases) {
        const auto chosen = QuorvantileRouter::chooseNode(c.remote, c.local, models);
        EXPECT_EQ(chosen ? std::optional<QString>(chosen->manifest().nodeName()) : std::nullopt, c.expected) << c.what;
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

TEST(QuorvantileRemoteCall, RequestBodies)
{
    QuorvantileModelCall call = generateCall();
    call.images = QStringList();
    EXPECT_EQ(QuorvantileRemoteCall::requestBody(call, "m"),
              R"({"model":"m","prompt":"hello","stream":false,"system":"be brief"})");
    call.kind = QuorvantileModelCall::Kind::streamGenerate;
    call.images = QStringList{"aGk="};
    call.options = QJsonObject{{"temperature", 0.5}};
    EXPECT_EQ(QuorvantileRemoteCall::requestBody(call, "m"),
              R"({"images":["aGk="],"model":"m","options":{"temperature":0.5},"prompt":"hello","stream":true,"system":"be brief"})");

    QuorvantileModelCall chat;
    chat.kind = QuorvantileModelCall::Kind::chat;
    chat.chatSystem = QStringLiteral("sys");
    chat.messages = {{{"role", "user"}, {"content", "hi"}}};
    EXPECT_EQ(QuorvantileRemoteCall::requestBody(chat, "m"),
              R"({"messages":[{"content":"sys","role":"system"},{"content":"hi","role":"user"}],"model":"m","stream":false})");
    chat.chatSystem.reset();
    EXPECT_EQ(QuorvantileRemoteCall::requestBody(chat, "m"),
              R"({"messages":[{"content":"hi","role":"user"}],"model":"m","stream":false})");
}

TEST(QuorvantileRemoteCall, PlainReplies)
{
    const QuorvantileModelCall generate = generateCall();
    QuorvantileModelCall chat;
    chat.kind = QuorvantileModelCall::Kind::chat;
    struct Case
    {
        const QuorvantileModelCall* call;
        int status;
        QByteArray body;
        std::optional<QString> text;
        QString error;
    };
    const Case cases[] = {
        {&generate, 200, R"({"response":"  hi there\n"})", QString("hi there"), {}},
        {&chat, 200, R"({"message":{"role":"assistant","content":" ok "}})", QString("ok"), {}},
        {&generate, 500, "boom", std::nullopt, "HTTP 500: boom"},
        {&generate, 503, "\xff\xfe", std::nullopt, "HTTP 503: "},
        {&generate, 200, R"({"text":"x"})", std::nullopt, "Failed to decode response"},
        {&chat, 200, R"({"message":"x"})", std::nullopt, "Failed to decode response"},
        {&generate, 200, R"([1])", std::nullopt, "Failed to decode response"},
    };
    for (const Case& c : cases) {
        const auto result = QuorvantileRemoteCall::readPlainReply(*c.call, c.status, c.body);
        EXPECT_EQ(result.text, c.text) << c.body.constData();
        if (!c.text) {
            EXPECT_EQ(result.error, c.error) << c.body.constData();
        }
    }
    EXPECT_FALSE(QuorvantileRemoteCall::readPlainReply(generate, 200, "{not json").text);
}

TEST(QuorvantileRemoteCall, StreamsOverLoopback)
{
    ScriptedHttp server;
    const auto streaming = generateCall(QuorvantileModelCall::Kind::streamGenerate);

    server.reply = ScriptedHttp::stream({R"({"response":"Hel","done":false})", "", "keep-alive",
                                         R"({"done":true})", R"({"response":"lo ","done":false})",
                                         R"({"response":"you","done":true})", R"({"response":"ignored"})"});
    QStringList pieces;
    auto result = remote(server, streaming, &pieces);
    EXPECT_EQ(result.text, QString("Hello you")); // not trimmed; a line without a piece does not end the reading
    EXPECT_EQ(pieces, QStringList({"Hel", "lo ", "you"}));
    EXPECT_EQ(server.lastPath, "/api/generate");
    EXPECT_TRUE(QJsonDocument::fromJson(server.lastBody).object().value("stream").toBool());

    server.reply = ScriptedHttp::stream({R"({"response":"a"})"}, false, 500);
    EXPECT_EQ(remote(server, streaming).error, "HTTP 500: Remote stream error");

    // A server that fails mid-stream: an error line, or a connection cut before the end of the body.
    pieces.clear();
    server.reply = ScriptedHttp::stream({R"({"response":"par"})", R"({"error":"model crashed"})"});
    result = remote(server, streaming, &pieces);
    EXPECT_FALSE(result.text);
    EXPECT_EQ(result.error, "model crashed");
    EXPECT_EQ(pieces, QStringList({"par"}));
    server.reply = ScriptedHttp::stream({R"({"response":"par"})"}, true);
    EXPECT_FALSE(remote(server, streaming).text);

    // The server closing a complete stream without "done" ends it with what arrived.
    QuorvantileModelCall chat;
    chat.kind = QuorvantileModelCall::Kind::streamChat;
    chat.timeoutSeconds = 5;
    server.reply = ScriptedHttp::stream({R"({"message":{"content":"x"}})", R"({"message":{"content":"y"}})"});
    EXPECT_EQ(remote(server, chat).text, QString("xy"));
    EXPECT_EQ(server.lastPath, "/api/chat");
}

TEST(QuorvantileRemoteCall, NodeAddressThatCannotFormAUrlFailsWithoutARequest)
{
    QNetworkAccessManager http;
    std::optional<QuorvantileCallResult> result;
    QuorvantileRemoteCall call(http, nodeWith("bad", {}, "evil.example/x?"), generateCall(), "m", {},
                               [&](const QuorvantileCallResult& r) { result = r; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return result.has_value(); }, 2000));
    EXPECT_FALSE(result->text);
}
