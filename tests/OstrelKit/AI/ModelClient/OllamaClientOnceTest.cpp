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

// A server that accepts the request and then closes or resets the connection without a reply (as one that
// crashes while loading a model does), or answers with something that is not HTTP: every call fails, says
// what happened, and the server saw its request exactly once.
TEST_F(ClientOnce, ARequestIsSentExactlyOnceAndItsFailureSaysWhatHappened)
{
    struct Shape
    {
        const char* name;
        FakeModelReply reply;
        QString failure;
    };
    FakeModelReply closed;
    closed.notHttp = true;
    FakeModelReply reset = closed;
    reset.ending = FakeModelReply::Ending::reset;
    FakeModelReply ssh = FakeModelReply::text(200, "SSH-2.0-OpenSSH_9.2\r\n");
    ssh.notHttp = true;
    const QString closedEarly = QStringLiteral("Connection closed before the server replied");
    const Shape shapes[] = {
        {"closed", closed, closedEarly},
        {"reset", reset, closedEarly},
        {"not HTTP", ssh, QStringLiteral("The server's reply is not HTTP")},
    };
    QList<PostCall> calls = postCalls();
    calls.append({"checkConnection", QStringLiteral("/api/tags"), [](OllamaClient& c, auto done) {
                      c.checkConnection([done](bool ok) { done(ok, QString()); });
                  }});
    calls.append({"isAvailable", QStringLiteral("/api/tags"), [](OllamaClient& c, auto done) {
                      c.isAvailable([done](bool ok) { done(ok, QString()); });
                  }});
    for (const Shape& shape : shapes) {
        for (const PostCall& call : calls) {
            // A fresh client each time: nothing of an earlier connection may play a part.
            client = std::make_unique<OllamaClient>(QStringLiteral("tests"), server.baseUrl());
            server.clearRequests();
            const QByteArray method = call.path == QStringLiteral("/api/tags") ? "GET" : "POST";
            server.setReply(method, call.path, shape.reply);
            Outcome<std::pair<bool, QString>> outcome;
            call.start(*client, [&outcome](bool ok, const QString& message) {
                outcome.callback()({ok, message});
            });
            ASSERT_TRUE(outcome.wait()) << call.name << ", " << shape.name;
            EXPECT_FALSE(outcome->first) << call.name << ", " << shape.name;
            if (method == "POST") {
                EXPECT_EQ(outcome->second, shape.failure) << call.name << ", " << shape.name;
            }
            EXPECT_EQ(server.requests().size(), 1) << call.name << ", " << shape.name;
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

// isStreamingChanged(true) is emitted from inside streamGenerate and streamChat, isStreamingChanged(false) as
// the stream ends: a receiver may destroy the client in either, and nothing of the call follows.
TEST_F(ClientOnce, DestroyingTheClientInAnIsStreamingChangedReceiver)
{
    server.serveModels({QStringLiteral("llama3.1:8b")}, QStringLiteral("one two"));
    for (const bool atStart : {true, false}) {
        for (const bool chat : {false, true}) {
            const std::string name =
                std::string(atStart ? "at the start" : "at the end") + (chat ? ", chat" : "");
            client = std::make_unique<OllamaClient>(QStringLiteral("tests"), server.baseUrl());
            server.clearRequests();
            QObject::connect(client.get(), &OllamaClient::isStreamingChanged, [&](bool streaming) {
                if (streaming == atStart) {
                    client.reset();
                }
            });
            QStringList tokens;
            int completions = 0;
            const auto onToken = [&tokens](const QString& token) { tokens.append(token); };
            const auto done = [&completions](const OllamaResult<QString>&) { ++completions; };
            if (chat) {
                client->streamChat({{{QStringLiteral("role"), QStringLiteral("user")},
                                     {QStringLiteral("content"), QStringLiteral("Hi")}}},
                                   std::nullopt, std::nullopt, std::nullopt, 60, onToken, done);
            } else {
                client->streamGenerate({}, QStringLiteral("Hi"), std::nullopt, std::nullopt, std::nullopt, 60,
                                       onToken, done);
            }
            QTRY_VERIFY_WITH_TIMEOUT(!client, tovarine::test::kHangCeilingMs);
            spinFor(100); // a reply still on its way must find nobody
            EXPECT_EQ(completions, 0) << name;
            if (atStart) {
                EXPECT_TRUE(tokens.isEmpty()) << name;
                EXPECT_TRUE(server.requests().isEmpty()) << name;
            } else {
                EXPECT_FALSE(tokens.isEmpty()) << name;
            }
        }
    }
}

namespace {

QStringList g_messages;

void recordMessage(QtMsgType, const QMessageLogContext&, const QString& message)
{
    g_messages.append(message);
}

} // namespace

// A call that times out ends quietly: its failure is its only report, nothing goes to the log.
TEST_F(ClientOnce, ATimedOutCallLogsNothing)
{
    FakeModelReply stalledStream = FakeModelReply::lines({piece(QStringLiteral("a"), false)});
    stalledStream.ending = FakeModelReply::Ending::stall;
    server.setReply("POST", QStringLiteral("/api/generate"), stalledStream);
    FakeModelReply stalledWhole = FakeModelReply::json({{QStringLiteral("message"), QJsonObject()}});
    stalledWhole.ending = FakeModelReply::Ending::stall;
    server.setReply("POST", QStringLiteral("/api/chat"), stalledWhole);

    g_messages.clear();
    const QtMessageHandler previous = qInstallMessageHandler(recordMessage);
    TextOutcome streamed;
    client->streamGenerate(
        {}, QStringLiteral("Hi"), std::nullopt, std::nullopt, std::nullopt, 0.3, [](const QString&) {},
        streamed.callback());
    TextOutcome whole;
    client->chat({}, QStringLiteral("s"), std::nullopt, std::nullopt, 0.3, whole.callback());
    const bool ended = streamed.wait() && whole.wait();
    spinFor(100); // whatever the network layer does after the call ended
    qInstallMessageHandler(previous);

    ASSERT_TRUE(ended);
    for (const TextOutcome* outcome : {&streamed, &whole}) {
        ASSERT_FALSE((*outcome)->ok());
        EXPECT_EQ((*outcome)->error().networkError(), QNetworkReply::TimeoutError);
    }
    EXPECT_TRUE(g_messages.isEmpty()) << g_messages.join(QLatin1Char('\n')).toStdString();
}
