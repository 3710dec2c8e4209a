// The client's guarantees against servers that misbehave and callers that let go: each request is sent once,
// replies are capped, the client may be destroyed from inside any of its callbacks.
#include "HangCeiling.h"
#include "ModelServerFixture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

using namespace ostrel;
using namespace tovarine::test;

namespace {

// One call of each kind that posts, started on `client`; `done` is told its outcome's success.
using Start = std::function<void(OllamaClient&, std::function<void(bool ok, const QString& message)>)>;

struct PostCall
{
    const char* name;
    QString path;
    Start start;
};

QList<PostCall> postCalls()
{
    const auto text = [](auto done) {
        return [done](const OllamaResult<QString>& r) {
            done(r.ok(), r.ok() ? r.value() : r.error().errorDescription());
        };
    };
    return {
        {"generate", QStringLiteral("/api/generate"),
         [text](OllamaClient& c, auto done) {
             c.generate({}, QStringLiteral("Hi"), std::nullopt, std::nullopt, std::nullopt, 60, text(done));
         }},
        {"chat", QStringLiteral("/api/chat"),
         [text](OllamaClient& c, auto done) {
             c.chat({{{QStringLiteral("role"), QStringLiteral("user")},
                      {QStringLiteral("content"), QStringLiteral("Hi")}}},
                    std::nullopt, std::nullopt, std::nullopt, 60, text(done));
         }},
        {"streamGenerate", QStringLiteral("/api/generate"),
         [text](OllamaClient& c, auto done) {
             c.streamGenerate(
                 {}, QStringLiteral("Hi"), std::nullopt, std::nullopt, std::nullopt, 60,
                 [](const QString&) {}, text(done));
         }},
        {"streamChat", QStringLiteral("/api/chat"),
         [text](OllamaClient& c, auto done) {
             c.streamChat(
                 {}, QStringLiteral("s"), std::nullopt, std::nullopt, 60, [](const QString&) {}, text(done));
         }},
        {"pullModel", QStringLiteral("/api/pull"),
         [](OllamaClient& c, auto done) {
             c.pullModel(
                 QStringLiteral("llama3.1:8b"), [](const QString&) {},
                 [done](const OllamaResult<void>& r) {
                     done(r.ok(), r.ok() ? QString() : r.error().errorDescription());
                 });
         }},
    };
}

class ClientOnce : public ModelServerFixture
{
};

} // namespace

// A server that accepts the request and closes (or resets) the connection without a reply, as one that
// crashes while loading a model does: the call fails, and the server saw the request once.
TEST_F(ClientOnce, ARequestIsSentAtMostOnce)
{
    for (const FakeModelReply::Ending ending :
         {FakeModelReply::Ending::close, FakeModelReply::Ending::reset}) {
        FakeModelReply nothing;
        nothing.notHttp = true;
        nothing.ending = ending;
        for (const PostCall& call : postCalls()) {
            // A fresh client each time: the network layer's count of sends again is per connection.
            client = std::make_unique<OllamaClient>(QStringLiteral("tests"), server.baseUrl());
            server.clearRequests();
            server.setReply("POST", call.path, nothing);
            Outcome<std::pair<bool, QString>> outcome;
            call.start(*client, [&outcome](bool ok, const QString& message) {
                outcome.callback()({ok, message});
            });
            ASSERT_TRUE(outcome.wait()) << call.name;
            EXPECT_FALSE(outcome->first) << call.name;
            EXPECT_FALSE(outcome->second.isEmpty()) << call.name;
            EXPECT_EQ(server.requests().size(), 1)
                << call.name << (ending == FakeModelReply::Ending::reset ? " reset" : " close");
        }
    }
}

// Replies read whole are capped like streamed lines: a larger one fails with a message that says why.
TEST_F(ClientOnce, OneShotRepliesAndTheModelListAreCapped)
{
    const QString huge(OllamaClient::kMaxLineBytes + 1024, QLatin1Char('x'));
    FakeModelReply big = FakeModelReply::json({{QStringLiteral("response"), huge}});
    big.splitEvery(1 << 20);
    server.setReply("POST", QStringLiteral("/api/generate"), big);
    TextOutcome generated;
    client->generate({}, QStringLiteral("Hi"), std::nullopt, std::nullopt, std::nullopt, 60,
                     generated.callback());
    ASSERT_TRUE(generated.wait());
    ASSERT_FALSE(generated->ok());
    EXPECT_EQ(generated->error().kind(), OllamaError::Kind::transport);
    EXPECT_EQ(generated->error().errorDescription(), QStringLiteral("The reply is longer than 16 MiB"));

    // The list first succeeds, so the refusal of the big one shows as the emptied list.
    server.serveModels({QStringLiteral("llama3.1:8b")}, QStringLiteral("ok"));
    Outcome<bool> first;
    client->checkConnection(first.callback());
    ASSERT_TRUE(first.wait());
    ASSERT_EQ(client->availableModels().size(), 1);
    FakeModelReply bigList = FakeModelReply::json(
        {{QStringLiteral("models"), QJsonArray{QJsonObject{{QStringLiteral("name"), huge}}}}});
    bigList.splitEvery(1 << 20);
    server.setReply("GET", QStringLiteral("/api/tags"), bigList);
    Outcome<bool> second;
    client->checkConnection(second.callback());
    ASSERT_TRUE(second.wait());
    EXPECT_FALSE(*second);
    EXPECT_FALSE(client->isConnected());
    EXPECT_TRUE(client->availableModels().isEmpty());

    // Just under the cap still reads.
    const QString fits(OllamaClient::kMaxLineBytes - 64, QLatin1Char('y'));
    server.setReply("POST", QStringLiteral("/api/generate"),
                    FakeModelReply::json({{QStringLiteral("response"), fits}}).splitEvery(1 << 20));
    TextOutcome fitting;
    client->generate({}, QStringLiteral("Hi"), std::nullopt, std::nullopt, std::nullopt, 60,
                     fitting.callback());
    ASSERT_TRUE(fitting.wait());
    ASSERT_TRUE(fitting->ok());
    EXPECT_EQ(fitting->value().size(), fits.size());
}

// Lines that end in a carriage return alone are lines too.
TEST_F(ClientOnce, CarriageReturnsAloneSplitStreamedLines)
{
    for (const qsizetype cut : {qsizetype(1), qsizetype(7), qsizetype(4096)}) {
        FakeModelReply reply;
        reply.contentType = QByteArrayLiteral("application/x-ndjson");
        reply.chunked = true;
        reply.pieces = {piece(QStringLiteral("Hel"), false) + '\r' + piece(QStringLiteral("lo"), false) +
                        '\r' + piece(QString(), true) + '\r'};
        reply.splitEvery(cut);
        server.setReply("POST", QStringLiteral("/api/generate"), reply);
        TextOutcome outcome;
        QStringList tokens;
        client->streamGenerate(
            {}, QStringLiteral("Hi"), std::nullopt, std::nullopt, std::nullopt, 60,
            [&tokens](const QString& token) { tokens.append(token); }, outcome.callback());
        ASSERT_TRUE(outcome.wait());
        ASSERT_TRUE(outcome->ok()) << cut;
        EXPECT_EQ(outcome->value(), QStringLiteral("Hello")) << cut;
        EXPECT_EQ(tokens, (QStringList{"Hel", "lo", ""})) << cut;
    }
}

// Destroying the client is the caller's way to stop a call: from inside the call's own callbacks it must be
// safe, and nothing of the call may follow. (Run under ASan or valgrind to see freed memory being read.)
TEST_F(ClientOnce, DestroyingTheClientInsideATokenCallbackEndsEverything)
{
    FakeModelReply reply =
        FakeModelReply::lines({piece(QStringLiteral("a"), false), piece(QStringLiteral("b"), false),
                               piece(QStringLiteral("c"), true)});
    // Line by line, and all lines in one piece (the first token's callback runs with two more lines read).
    FakeModelReply whole = reply;
    whole.pieces = {reply.body()};
    for (const FakeModelReply& script : {reply, whole}) {
        server.setReply("POST", QStringLiteral("/api/generate"), script);
        if (!client) {
            client = std::make_unique<OllamaClient>(QStringLiteral("tests"), server.baseUrl());
        }
        QStringList tokens;
        int completions = 0;
        client->streamGenerate(
            {}, QStringLiteral("Hi"), std::nullopt, std::nullopt, std::nullopt, 60,
            [&](const QString& token) {
                tokens.append(token);
                client.reset();
            },
            [&completions](const OllamaResult<QString>&) { ++completions; });
        QTRY_VERIFY_WITH_TIMEOUT(!client, tovarine::test::kHangCeilingMs);
        spinFor(300); // the rest of the stream arrives and must find nobody
        EXPECT_EQ(tokens, QStringList{"a"}) << script.pieces.size();
        EXPECT_EQ(completions, 0) << script.pieces.size();
    }
}

TEST_F(ClientOnce, DestroyingTheClientInsideAProgressCallbackOrACompletion)
{
    server.serveModels({QStringLiteral("llama3.1:8b")}, QStringLiteral("one two three"));

    // A download's progress callback.
    QStringList progress;
    int pullCompletions = 0;
    client->pullModel(
        QStringLiteral("llama3.1:8b"),
        [&](const QString& line) {
            progress.append(line);
            client.reset();
        },
        [&pullCompletions](const OllamaResult<void>&) { ++pullCompletions; });
    QTRY_VERIFY_WITH_TIMEOUT(!client, tovarine::test::kHangCeilingMs);
    spinFor(300);
    EXPECT_EQ(progress.size(), 1);
    EXPECT_EQ(pullCompletions, 0);

    // A stream's completion, a one-shot completion and a connection check's completion: the client goes
    // from inside them, and the test runs on (a read of freed memory shows under ASan or valgrind).
    const std::function<void(OllamaClient&, std::function<void()>)> starts[] = {
        [](OllamaClient& c, std::function<void()> done) {
            c.streamGenerate(
                {}, QStringLiteral("Hi"), std::nullopt, std::nullopt, std::nullopt, 60, [](const QString&) {},
                [done](const OllamaResult<QString>&) { done(); });
        },
        [](OllamaClient& c, std::function<void()> done) {
            c.generate({}, QStringLiteral("Hi"), std::nullopt, std::nullopt, std::nullopt, 60,
                       [done](const OllamaResult<QString>&) { done(); });
        },
        [](OllamaClient& c, std::function<void()> done) { c.checkConnection([done](bool) { done(); }); },
    };
    for (const auto& start : starts) {
        client = std::make_unique<OllamaClient>(QStringLiteral("tests"), server.baseUrl());
        int completions = 0;
        start(*client, [&] {
            ++completions;
            client.reset();
        });
        QTRY_VERIFY_WITH_TIMEOUT(!client, tovarine::test::kHangCeilingMs);
        spinFor(100);
        EXPECT_EQ(completions, 1);
    }
}
