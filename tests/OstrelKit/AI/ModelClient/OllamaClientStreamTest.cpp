#include "HangCeiling.h"
#include "ModelServerFixture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>

using namespace ostrel;
using namespace tovarine::test;

namespace {

QByteArray chatPiece(const QString& text, bool done)
{
    return QJsonDocument(QJsonObject{{QStringLiteral("message"),
                                      QJsonObject{{QStringLiteral("role"), QStringLiteral("assistant")},
                                                  {QStringLiteral("content"), text}}},
                                     {QStringLiteral("done"), done}})
        .toJson(QJsonDocument::Compact);
}

class ClientStreams : public ModelServerFixture
{
protected:
    // Runs a streaming generation against `reply`; gives the outcome and the pieces passed to onToken.
    OllamaResult<QString> streamGenerate(const FakeModelReply& reply, QStringList* tokens = nullptr,
                                         double timeout = 60)
    {
        server.setReply("POST", QStringLiteral("/api/generate"), reply);
        TextOutcome outcome;
        QStringList seen;
        client->streamGenerate(
            QStringLiteral("sys"), QStringLiteral("Hi"), std::nullopt, std::nullopt, std::nullopt, timeout,
            [&seen](const QString& token) { seen.append(token); }, outcome.callback());
        EXPECT_TRUE(outcome.wait());
        EXPECT_EQ(outcome.calls(), 1);
        if (tokens) {
            *tokens = seen;
        }
        return *outcome;
    }

    OllamaResult<void> pull(const FakeModelReply& reply, QStringList* progress)
    {
        server.setReply("POST", QStringLiteral("/api/pull"), reply);
        Outcome<OllamaResult<void>> outcome;
        client->pullModel(
            QStringLiteral("llama3.1:8b"), [progress](const QString& line) { progress->append(line); },
            outcome.callback());
        EXPECT_TRUE(outcome.wait());
        return *outcome;
    }
};

} // namespace

TEST_F(ClientStreams, PiecesArriveInOrderAndIsStreamingSpansTheCall)
{
    server.setReply("POST", QStringLiteral("/api/generate"),
                    FakeModelReply::lines({piece(QStringLiteral("Hel"), false),
                                           piece(QStringLiteral("lo"), false), piece(QString(), true)}));
    QSignalSpy streaming(client.get(), &OllamaClient::isStreamingChanged);
    TextOutcome outcome;
    QStringList tokens;
    QList<bool> streamingDuringTokens;
    client->streamGenerate(
        QStringLiteral("sys"), QStringLiteral("Hi"), std::nullopt, std::nullopt, std::nullopt, 60,
        [&](const QString& token) {
            tokens.append(token);
            streamingDuringTokens.append(client->isStreaming());
        },
        outcome.callback());
    EXPECT_TRUE(client->isStreaming());
    ASSERT_TRUE(outcome.wait());
    ASSERT_TRUE(outcome->ok());
    EXPECT_EQ(outcome->value(), QStringLiteral("Hello"));
    EXPECT_EQ(tokens, (QStringList{"Hel", "lo", ""}));
    EXPECT_EQ(streamingDuringTokens, (QList<bool>{true, true, true}));
    EXPECT_FALSE(client->isStreaming());
    ASSERT_EQ(streaming.count(), 2);
    EXPECT_EQ(lastBody().value(QStringLiteral("stream")), QJsonValue(true));
    EXPECT_EQ(lastBody().value(QStringLiteral("system")).toString(), QStringLiteral("sys"));
}

TEST_F(ClientStreams, LinesSplitAtEveryByteGiveTheSameText)
{
    FakeModelReply reply =
        FakeModelReply::lines({piece(QStringLiteral(" Grüße,\n"), false),
                               piece(QStringLiteral("🙂 world "), false), piece(QString(), true)});
    reply.splitEvery(1);
    QStringList tokens;
    const OllamaResult<QString> result = streamGenerate(reply, &tokens);
    ASSERT_TRUE(result.ok());
    // Untrimmed: exactly the concatenated pieces.
    EXPECT_EQ(result.value(), QStringLiteral(" Grüße,\n🙂 world "));
    EXPECT_EQ(tokens.size(), 3);
}

TEST_F(ClientStreams, WhichLinesCountAndWhereReadingStops)
{
    struct Case
    {
        const char* name;
        QList<QByteArray> lines;
        bool finalLineFeed;
        QString text;
        QStringList tokens;
    };
    const Case cases[] = {
        {"done without a piece does not stop",
         {piece(QStringLiteral("a"), false), "{\"done\":true}", piece(QStringLiteral("b"), false)},
         true,
         QStringLiteral("ab"),
         {"a", "b"}},
        {"lines after done are not read",
         {piece(QStringLiteral("a"), true), piece(QStringLiteral("b"), false)},
         true,
         QStringLiteral("a"),
         {"a"}},
        {"no done line: the text so far",
         {piece(QStringLiteral("a"), false), piece(QStringLiteral("b"), false)},
         true,
         QStringLiteral("ab"),
         {"a", "b"}},
        {"a final line without line feed counts",
         {piece(QStringLiteral("a"), false), piece(QStringLiteral("b"), true)},
         false,
         QStringLiteral("ab"),
         {"a", "b"}},
        {"junk, blank, invalid UTF-8 and non-object lines are skipped",
         {"not json", "", "{\"response\":\"\xff\xfe\"}", "[1,2]", "{\"response\":7}", "\r",
          piece(QStringLiteral("ok"), true)},
         true,
         QStringLiteral("ok"),
         {"ok"}},
        {"CRLF line endings",
         {piece(QStringLiteral("a"), false) + "\r", piece(QStringLiteral("b"), true) + "\r"},
         true,
         QStringLiteral("ab"),
         {"a", "b"}},
        {"an empty body gives empty text", {}, true, QString(), {}},
    };
    for (const Case& c : cases) {
        QStringList tokens;
        const OllamaResult<QString> result =
            streamGenerate(FakeModelReply::lines(c.lines, c.finalLineFeed), &tokens);
        ASSERT_TRUE(result.ok()) << c.name << ": " << result.error().errorDescription().toStdString();
        EXPECT_EQ(result.value(), c.text) << c.name;
        EXPECT_EQ(tokens, c.tokens) << c.name;
        EXPECT_FALSE(client->isStreaming()) << c.name;
    }
}

TEST_F(ClientStreams, FailuresEndTheStreamAndClearTheFlag)
{
    struct Case
    {
        const char* name;
        FakeModelReply reply;
        QString description; // empty: a transport failure, checked by kind
        QStringList tokens;
    };
    FakeModelReply reset = FakeModelReply::lines({piece(QStringLiteral("a"), false), "{\"respo"});
    reset.ending = FakeModelReply::Ending::reset;
    const Case cases[] = {
        {"404: the body is not read",
         FakeModelReply::text(404, "{\"error\":\"model 'x' not found\"}"),
         QStringLiteral("HTTP 404: Stream error"),
         {}},
        {"an error line after a 200",
         FakeModelReply::lines({piece(QStringLiteral("a"), false), "{\"error\":\"out of memory\"}",
                                piece(QStringLiteral("b"), true)}),
         QStringLiteral("HTTP 200: Stream error: out of memory"),
         {"a"}},
        {"a reset mid-stream keeps what was delivered", reset, {}, {"a"}},
    };
    for (const Case& c : cases) {
        QStringList tokens;
        const OllamaResult<QString> result = streamGenerate(c.reply, &tokens);
        ASSERT_FALSE(result.ok()) << c.name;
        if (c.description.isEmpty()) {
            EXPECT_EQ(result.error().kind(), OllamaError::Kind::transport) << c.name;
        } else {
            EXPECT_EQ(result.error().errorDescription(), c.description) << c.name;
        }
        EXPECT_EQ(tokens, c.tokens) << c.name;
        EXPECT_FALSE(client->isStreaming()) << c.name;
    }

    // A stream that stalls after its first line times out on the caller's idle limit.
    FakeModelReply stalled = FakeModelReply::lines({piece(QStringLiteral("a"), false)});
    stalled.ending = FakeModelReply::Ending::stall;
    QStringList tokens;
    OllamaResult<QString> result = streamGenerate(stalled, &tokens, 0.3);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().networkError(), QNetworkReply::TimeoutError);
    EXPECT_EQ(tokens, QStringList{"a"});

    // A body that never sends a line break is cut off at the line cap instead of filling memory.
    FakeModelReply endless;
    endless.chunked = true;
    endless.pieces = {QByteArray("{\"response\":\"") + QByteArray(OllamaClient::kMaxLineBytes + 64, 'x')};
    endless.splitEvery(1 << 20);
    result = streamGenerate(endless, &tokens);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().kind(), OllamaError::Kind::transport);
    EXPECT_EQ(result.error().errorDescription(), QStringLiteral("A reply line is longer than 16 MiB"));

    // An invalid base address fails before the flag is raised.
    OllamaClient invalid(QStringLiteral("tests"), QStringLiteral("localhost:11434/x"));
    QSignalSpy streaming(&invalid, &OllamaClient::isStreamingChanged);
    TextOutcome outcome;
    invalid.streamGenerate({}, {}, std::nullopt, std::nullopt, std::nullopt, 60, {}, outcome.callback());
    ASSERT_TRUE(outcome.wait());
    EXPECT_EQ(outcome->error().kind(), OllamaError::Kind::notRunning);
    EXPECT_EQ(streaming.count(), 0);
}

TEST_F(ClientStreams, OverlappingStreamsKeepTheFlagUntilTheLastEnds)
{
    FakeModelReply quick = FakeModelReply::lines({piece(QStringLiteral("quick"), true)});
    FakeModelReply slow =
        FakeModelReply::lines({piece(QStringLiteral("slow"), false), piece(QString(), true)});
    slow.pieceDelayMs = 300;
    server.enqueueReply("POST", QStringLiteral("/api/generate"), slow);
    server.enqueueReply("POST", QStringLiteral("/api/generate"), quick);
    QSignalSpy streaming(client.get(), &OllamaClient::isStreamingChanged);
    TextOutcome first;
    TextOutcome second;
    client->streamGenerate({}, QStringLiteral("1"), std::nullopt, std::nullopt, std::nullopt, 60, {},
                           first.callback());
    client->streamGenerate({}, QStringLiteral("2"), std::nullopt, std::nullopt, std::nullopt, 60, {},
                           second.callback());
    ASSERT_TRUE(second.wait());
    EXPECT_FALSE(first.ended());
    EXPECT_TRUE(client->isStreaming()); // the slow one still runs
    ASSERT_TRUE(first.wait());
    EXPECT_EQ(first->value(), QStringLiteral("slow"));
    EXPECT_FALSE(client->isStreaming());
    EXPECT_EQ(streaming.count(), 2); // one rise, one fall
}

TEST_F(ClientStreams, StreamChatReadsMessageContent)
{
    FakeModelReply reply = FakeModelReply::lines(
        {chatPiece(QStringLiteral("Hi "), false), piece(QStringLiteral("ignored"), false),
         chatPiece(QStringLiteral("there"), false), chatPiece(QString(), true),
         chatPiece(QStringLiteral("after"), false)});
    reply.splitEvery(7);
    server.setReply("POST", QStringLiteral("/api/chat"), reply);
    TextOutcome outcome;
    QStringList tokens;
    client->streamChat(
        {{{QStringLiteral("role"), QStringLiteral("user")},
          {QStringLiteral("content"), QStringLiteral("Hello")}}},
        QStringLiteral("Be kind."), std::nullopt, std::nullopt, 60,
        [&tokens](const QString& token) { tokens.append(token); }, outcome.callback());
    ASSERT_TRUE(outcome.wait());
    ASSERT_TRUE(outcome->ok());
    EXPECT_EQ(outcome->value(), QStringLiteral("Hi there"));
    EXPECT_EQ(tokens, (QStringList{"Hi ", "there", ""}));
    const QJsonArray messages = lastBody().value(QStringLiteral("messages")).toArray();
    ASSERT_EQ(messages.size(), 2);
    EXPECT_EQ(messages[0].toObject().value(QStringLiteral("role")).toString(), QStringLiteral("system"));
    EXPECT_EQ(lastBody().value(QStringLiteral("stream")), QJsonValue(true));
    EXPECT_FALSE(lastBody().contains(QStringLiteral("images")));

    server.setReply("POST", QStringLiteral("/api/chat"), FakeModelReply::text(404, "model not found"));
    TextOutcome missing;
    client->streamChat({}, std::nullopt, std::nullopt, std::nullopt, 60, {}, missing.callback());
    ASSERT_TRUE(missing.wait());
    EXPECT_EQ(missing->error().errorDescription(), QStringLiteral("HTTP 404: Stream error"));
    EXPECT_FALSE(client->isStreaming());
}

TEST_F(ClientStreams, PullReportsProgressLines)
{
    FakeModelReply reply = FakeModelReply::lines(
        QList<QJsonObject>{{{QStringLiteral("status"), QStringLiteral("pulling manifest")}},
                           {{QStringLiteral("status"), QStringLiteral("pulling 8eeb")},
                            {QStringLiteral("total"), 1000},
                            {QStringLiteral("completed"), 333}},
                           {{QStringLiteral("status"), QStringLiteral("pulling 8eeb")},
                            {QStringLiteral("total"), 0},
                            {QStringLiteral("completed"), 0}},
                           {{QStringLiteral("digest"), QStringLiteral("no status")}},
                           {{QStringLiteral("status"), QStringLiteral("pulling 8eeb")},
                            {QStringLiteral("total"), 1000},
                            {QStringLiteral("completed"), 1000}},
                           {{QStringLiteral("status"), QStringLiteral("success")}}});
    reply.splitEvery(5);
    QSignalSpy streaming(client.get(), &OllamaClient::isStreamingChanged);
    QStringList progress;
    const OllamaResult<void> result = pull(reply, &progress);
    ASSERT_TRUE(result.ok()) << result.error().errorDescription().toStdString();
    EXPECT_EQ(progress, (QStringList{"pulling manifest", "pulling 8eeb (33%)", "pulling 8eeb",
                                     "pulling 8eeb (100%)", "success"}));
    EXPECT_EQ(lastBody(), (QJsonObject{{QStringLiteral("name"), QStringLiteral("llama3.1:8b")},
                                       {QStringLiteral("stream"), true}}));
    EXPECT_EQ(server.requests().last().headers.value("content-type"), QByteArray("application/json"));
    EXPECT_EQ(streaming.count(), 0);
}

TEST_F(ClientStreams, PullFailures)
{
    QStringList progress;
    OllamaResult<void> result = pull(FakeModelReply::text(404, "not found"), &progress);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().errorDescription(), QStringLiteral("HTTP 404: Pull failed"));

    // An error line after a 200 fails the download instead of ending it as a success.
    progress.clear();
    result =
        pull(FakeModelReply::lines(QList<QJsonObject>{
                 {{QStringLiteral("status"), QStringLiteral("pulling manifest")}},
                 {{QStringLiteral("error"), QStringLiteral("pull model manifest: file does not exist")}}}),
             &progress);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().errorDescription(),
              QStringLiteral("HTTP 200: Pull failed: pull model manifest: file does not exist"));
    EXPECT_EQ(progress, QStringList{"pulling manifest"});

    // The connection is reset once the client has the progress line: a reset that came first could discard
    // the line unread in the receiving socket, and the test would show the kernel's timing, not the client.
    FakeModelReply reset =
        FakeModelReply::lines(QList<QJsonObject>{{{QStringLiteral("status"), QStringLiteral("pulling")}}});
    reset.ending = FakeModelReply::Ending::stall;
    server.setReply("POST", QStringLiteral("/api/pull"), reset);
    progress.clear();
    Outcome<OllamaResult<void>> outcome;
    client->pullModel(
        QStringLiteral("llama3.1:8b"),
        [this, &progress](const QString& line) {
            progress.append(line);
            server.resetConnections();
        },
        outcome.callback());
    ASSERT_TRUE(outcome.wait(tovarine::test::kHangCeilingMs));
    ASSERT_FALSE(outcome->ok());
    EXPECT_EQ(outcome->error().kind(), OllamaError::Kind::transport);
    EXPECT_EQ(progress, QStringList{"pulling"});
    EXPECT_EQ(server.requests().size(), 3); // one request per download: the reset one was not sent again
}

TEST_F(ClientStreams, ADoneLineEndsTheCallWhileTheServerStillHoldsTheConnection)
{
    FakeModelReply reply = FakeModelReply::lines({piece(QStringLiteral("all"), true)});
    reply.ending = FakeModelReply::Ending::stall;
    QElapsedTimer timer;
    timer.start();
    const OllamaResult<QString> result = streamGenerate(reply, nullptr, 30);
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(result.value(), QStringLiteral("all"));
    EXPECT_LT(timer.elapsed(), 5000);
}
