#include "ModelServerFixture.h"

#include <QJsonArray>
#include <QSignalSpy>

using namespace ostrel;
using namespace tovarine::test;

namespace {

using TextOutcome = Outcome<OllamaResult<QString>>;

const QJsonObject kTwoModels{
    {QStringLiteral("models"),
     QJsonArray{QJsonObject{{QStringLiteral("name"), QStringLiteral("llama3.1:8b")},
                            {QStringLiteral("size"), 4920753328.0}},
                QJsonObject{{QStringLiteral("name"), QStringLiteral("phi3:mini")}}}}};

class ClientRequests : public ModelServerFixture
{
protected:
    bool check()
    {
        Outcome<bool> connected;
        client->checkConnection(connected.callback());
        EXPECT_TRUE(connected.wait());
        return *connected;
    }

    OllamaResult<QString> generate(const std::optional<OllamaOptions>& options = std::nullopt,
                                   const std::optional<QStringList>& images = std::nullopt,
                                   double timeout = 60)
    {
        TextOutcome outcome;
        client->generate(QStringLiteral("Be brief."), QStringLiteral("Hi"), std::nullopt, options, images,
                         timeout, outcome.callback());
        EXPECT_TRUE(outcome.wait());
        return *outcome;
    }

    OllamaResult<QString> chat(const std::optional<QString>& system)
    {
        TextOutcome outcome;
        client->chat({{{QStringLiteral("role"), QStringLiteral("user")},
                       {QStringLiteral("content"), QStringLiteral("Hi")}}},
                     system, QStringLiteral("phi3:mini"), std::nullopt, 60, outcome.callback());
        EXPECT_TRUE(outcome.wait());
        return *outcome;
    }
};

} // namespace

TEST_F(ClientRequests, ConnectionCheckPublishesTheModelList)
{
    server.setReply("GET", QStringLiteral("/api/tags"), FakeModelReply::json(kTwoModels));
    QSignalSpy connectedChanged(client.get(), &OllamaClient::isConnectedChanged);
    EXPECT_TRUE(check());
    EXPECT_TRUE(client->isConnected());
    EXPECT_EQ(connectedChanged.count(), 1);
    ASSERT_EQ(client->availableModels().size(), 2);
    EXPECT_EQ(client->availableModels()[0].displaySize(), QStringLiteral("4.6GB"));
    EXPECT_EQ(server.requests().last().method, QByteArray("GET"));
    EXPECT_EQ(server.requests().last().path, QStringLiteral("/api/tags"));

    // The model choice follows the list: a llama3.1 family gives the preferred model.
    EXPECT_EQ(client->activeModel(), QStringLiteral("llama3.1:8b"));

    // A 200 whose body is no model list still counts as connected and keeps the previous list.
    server.setReply("GET", QStringLiteral("/api/tags"), FakeModelReply::text(200, "not a list"));
    EXPECT_TRUE(check());
    EXPECT_EQ(client->availableModels().size(), 2);

    // {"models": []} is an empty list.
    server.setReply("GET", QStringLiteral("/api/tags"),
                    FakeModelReply::json({{QStringLiteral("models"), QJsonArray()}}));
    Outcome<QStringList> names;
    client->listModels(names.callback());
    ASSERT_TRUE(names.wait());
    EXPECT_TRUE(names->isEmpty());
    EXPECT_TRUE(client->isConnected());
    EXPECT_FALSE(client->activeModel());

    // Another status empties the list and clears the flag.
    server.setReply("GET", QStringLiteral("/api/tags"), FakeModelReply::json(kTwoModels));
    EXPECT_TRUE(check());
    server.setReply("GET", QStringLiteral("/api/tags"), FakeModelReply::text(500, "boom"));
    EXPECT_FALSE(check());
    EXPECT_FALSE(client->isConnected());
    EXPECT_TRUE(client->availableModels().isEmpty());
}

TEST_F(ClientRequests, ActiveModelRule)
{
    const std::pair<QStringList, std::optional<QString>> cases[] = {
        {{"mistral:7b", "llama3.1:70b"}, QStringLiteral("llama3.1:8b")},
        {{"llama3.2:3b", "phi3:mini"}, QStringLiteral("llama3.2")},
        {{"phi3:mini"}, QStringLiteral("phi3:mini")},
    };
    for (const auto& [names, expected] : cases) {
        QJsonArray models;
        for (const QString& name : names) {
            models.append(QJsonObject{{QStringLiteral("name"), name}});
        }
        server.setReply("GET", QStringLiteral("/api/tags"),
                        FakeModelReply::json({{QStringLiteral("models"), models}}));
        ASSERT_TRUE(check());
        EXPECT_EQ(client->activeModel(), expected) << names.join(',').toStdString();
    }
}

TEST_F(ClientRequests, UnreachableOrInvalidServer)
{
    server.setReply("GET", QStringLiteral("/api/tags"), FakeModelReply::json(kTwoModels));
    ASSERT_TRUE(check());

    // Refused: false, flag cleared, list emptied.
    OllamaClient refused(QStringLiteral("tests"), refusedUrl());
    Outcome<bool> available;
    refused.isAvailable(available.callback());
    ASSERT_TRUE(available.wait());
    EXPECT_FALSE(*available);

    // Invalid base addresses send nothing and fail with notRunning; the check returns false.
    for (const char* base :
         {"localhost:11434", "127.0.0.1:11434", "ftp://127.0.0.1:11434", "http://", "", "http://exa mple"}) {
        OllamaClient invalid(QStringLiteral("tests"), QString::fromLatin1(base));
        Outcome<bool> connected;
        invalid.checkConnection(connected.callback());
        ASSERT_TRUE(connected.wait());
        EXPECT_FALSE(*connected) << base;
        TextOutcome generated;
        invalid.generate({}, QStringLiteral("Hi"), std::nullopt, std::nullopt, std::nullopt, 60,
                         generated.callback());
        ASSERT_TRUE(generated.wait());
        ASSERT_FALSE(generated->ok());
        EXPECT_EQ(generated->error().kind(), OllamaError::Kind::notRunning) << base;
        EXPECT_EQ(generated->error().errorDescription(), QStringLiteral("Ollama is not running"));
    }
    EXPECT_EQ(server.requests().size(), 1);
}

TEST_F(ClientRequests, RefusedConnectionCheckEmptiesTheList)
{
    server.setReply("GET", QStringLiteral("/api/tags"), FakeModelReply::json(kTwoModels));
    ASSERT_TRUE(check());
    server.close();
    Outcome<QList<OllamaModelInfo>> models;
    client->listModelInfo(models.callback());
    ASSERT_TRUE(models.wait());
    EXPECT_TRUE(models->isEmpty());
    EXPECT_FALSE(client->isConnected());
    EXPECT_TRUE(client->availableModels().isEmpty());

    TextOutcome generated;
    client->generate({}, QStringLiteral("Hi"), std::nullopt, std::nullopt, std::nullopt, 60,
                     generated.callback());
    ASSERT_TRUE(generated.wait());
    ASSERT_FALSE(generated->ok());
    EXPECT_EQ(generated->error().kind(), OllamaError::Kind::transport);
    EXPECT_EQ(generated->error().networkError(), QNetworkReply::ConnectionRefusedError);
}

TEST_F(ClientRequests, GenerateSendsTheBodyKeyForKeyAndTrimsTheAnswer)
{
    server.setReply("POST", QStringLiteral("/api/generate"),
                    FakeModelReply::json({{QStringLiteral("response"), QStringLiteral(" \n Hello there.\n ")},
                                          {QStringLiteral("done"), true}}));
    const OllamaResult<QString> answer = generate();
    ASSERT_TRUE(answer.ok()) << answer.error().errorDescription().toStdString();
    EXPECT_EQ(answer.value(), QStringLiteral("Hello there."));

    const RecordedRequest request = server.requests().last();
    EXPECT_EQ(request.headers.value("content-type"), QByteArray("application/json"));
    EXPECT_EQ(request.json(), (QJsonObject{{QStringLiteral("model"), QStringLiteral("llama3.1:8b")},
                                           {QStringLiteral("system"), QStringLiteral("Be brief.")},
                                           {QStringLiteral("prompt"), QStringLiteral("Hi")},
                                           {QStringLiteral("stream"), false}}));

    // Empty options still send "options" (as {}); an empty image list sends no "images".
    ASSERT_TRUE(generate(OllamaOptions(), QStringList()).ok());
    EXPECT_EQ(lastBody().value(QStringLiteral("options")), QJsonObject());
    EXPECT_FALSE(lastBody().contains(QStringLiteral("images")));

    const OllamaOptions options(0.2, std::nullopt, 40, std::nullopt, std::nullopt, std::nullopt,
                                QStringList{"END"});
    ASSERT_TRUE(generate(options, QStringList{QStringLiteral("aGVsbG8=")}).ok());
    EXPECT_EQ(lastBody().value(QStringLiteral("options")).toObject(), options.dictionary());
    EXPECT_EQ(lastBody().value(QStringLiteral("images")).toArray(), QJsonArray{QStringLiteral("aGVsbG8=")});

    // A named model wins over the preferred one; the preferred one is read at call time.
    client->setPreferredModel(QStringLiteral("mistral:7b\n"));
    ASSERT_TRUE(generate().ok());
    EXPECT_EQ(lastBody().value(QStringLiteral("model")).toString(), QStringLiteral("mistral:7b"));
    TextOutcome named;
    client->generate({}, {}, QStringLiteral("phi3"), std::nullopt, std::nullopt, 60, named.callback());
    ASSERT_TRUE(named.wait());
    EXPECT_EQ(lastBody().value(QStringLiteral("model")).toString(), QStringLiteral("phi3"));
    EXPECT_EQ(lastBody().value(QStringLiteral("system")).toString(), QString()); // sent even when empty
    EXPECT_TRUE(lastBody().contains(QStringLiteral("system")));
}

TEST_F(ClientRequests, GenerateFailures)
{
    struct Case
    {
        const char* name;
        FakeModelReply reply;
        OllamaError::Kind kind;
        QString description; // empty: not checked
    };
    FakeModelReply notHttp = FakeModelReply::text(200, "SSH-2.0-OpenSSH_9.2\r\n");
    notHttp.notHttp = true;
    const Case cases[] = {
        {"500 with a text body", FakeModelReply::text(500, "model crashed"), OllamaError::Kind::httpError,
         QStringLiteral("HTTP 500: model crashed")},
        {"404 with invalid UTF-8", FakeModelReply::text(404, "\xff\xfe not utf-8"),
         OllamaError::Kind::httpError, QStringLiteral("HTTP 404: ")},
        {"200 not JSON", FakeModelReply::text(200, "<html>"), OllamaError::Kind::invalidJson, {}},
        {"200 without response", FakeModelReply::json({{QStringLiteral("done"), true}}),
         OllamaError::Kind::decodingFailed, QStringLiteral("Failed to decode response")},
        {"200 response not text",
         FakeModelReply::json({{QStringLiteral("response"), 3}}),
         OllamaError::Kind::decodingFailed,
         {}},
        {"200 array", FakeModelReply::text(200, "[\"x\"]"), OllamaError::Kind::decodingFailed, {}},
        {"not HTTP", notHttp, OllamaError::Kind::transport, {}},
        {"200 from another model",
         FakeModelReply::json({{QStringLiteral("model"), QStringLiteral("tinyllama")},
                               {QStringLiteral("response"), QStringLiteral("hi")}}),
         OllamaError::Kind::transport,
         QStringLiteral("The server answered with model \"tinyllama\" instead of \"llama3.1:8b\"")},
    };
    for (const Case& c : cases) {
        server.setReply("POST", QStringLiteral("/api/generate"), c.reply);
        const OllamaResult<QString> result = generate();
        ASSERT_FALSE(result.ok()) << c.name;
        EXPECT_EQ(result.error().kind(), c.kind) << c.name;
        if (!c.description.isEmpty()) {
            EXPECT_EQ(result.error().errorDescription(), c.description) << c.name;
        }
        EXPECT_FALSE(result.error().errorDescription().isEmpty()) << c.name;
    }
}

// A reply is taken only from the model that was asked for (a name without a tag is the ":latest" one); a
// reply that names no model is taken.
TEST_F(ClientRequests, RepliesFromAnotherModelAreNotTaken)
{
    const struct
    {
        const char* asked;
        std::optional<QString> answered; // absent: the reply names no model
        bool taken;
    } cases[]{{"llama3.1:8b", QStringLiteral("llama3.1:8b"), true},
              {"llama3.1", QStringLiteral("llama3.1:latest"), true},
              {"phi3:latest", QStringLiteral("phi3"), true},
              {"llama3.1:8b", std::nullopt, true},
              {"llama3.1:8b", QStringLiteral("llama3.1:70b"), false},
              {"llama3.1", QStringLiteral("tinyllama"), false}};
    for (const auto& c : cases) {
        QJsonObject whole{{QStringLiteral("response"), QStringLiteral("hi")},
                          {QStringLiteral("message"), QJsonObject{{QStringLiteral("content"), QStringLiteral("hi")}}}};
        QJsonObject line = whole;
        line.insert(QStringLiteral("done"), true);
        if (c.answered) {
            whole.insert(QStringLiteral("model"), *c.answered);
            line.insert(QStringLiteral("model"), *c.answered);
        }
        server.setReply("POST", QStringLiteral("/api/generate"), FakeModelReply::json(whole));
        server.setReply("POST", QStringLiteral("/api/chat"), FakeModelReply::lines(QList<QJsonObject>{line}));
        const QString asked = QString::fromLatin1(c.asked);
        TextOutcome generated;
        client->generate({}, QStringLiteral("Hi"), asked, std::nullopt, std::nullopt, 60, generated.callback());
        TextOutcome streamed;
        client->streamChat({}, std::nullopt, asked, std::nullopt, 60, {}, streamed.callback());
        ASSERT_TRUE(generated.wait() && streamed.wait());
        for (const TextOutcome* outcome : {&generated, &streamed}) {
            EXPECT_EQ((*outcome)->ok(), c.taken) << c.asked;
            if (!c.taken && !(*outcome)->ok()) {
                EXPECT_EQ((*outcome)->error().errorDescription(),
                          QStringLiteral("The server answered with model \"%1\" instead of \"%2\"")
                              .arg(*c.answered, asked));
            }
        }
    }
}

TEST_F(ClientRequests, TimeLimitIsAnIdleLimit)
{
    // A server that stalls after its head: the caller's limit ends the call with a time-out.
    FakeModelReply stalled = FakeModelReply::json({{QStringLiteral("response"), QStringLiteral("late")}});
    stalled.ending = FakeModelReply::Ending::stall;
    server.setReply("POST", QStringLiteral("/api/generate"), stalled);
    OllamaResult<QString> result = generate(std::nullopt, std::nullopt, 0.3);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().kind(), OllamaError::Kind::transport);
    EXPECT_EQ(result.error().networkError(), QNetworkReply::TimeoutError);
    EXPECT_EQ(result.error().errorDescription(), QStringLiteral("The request timed out."));

    // A slow reply that keeps sending runs longer than the limit and still succeeds.
    FakeModelReply slow =
        FakeModelReply::json({{QStringLiteral("response"), QStringLiteral("slow but steady")}});
    slow.splitEvery(4);
    slow.pieceDelayMs = 60; // 9 pieces: about 0.5 s in all, never 0.3 s idle
    server.setReply("POST", QStringLiteral("/api/generate"), slow);
    result = generate(std::nullopt, std::nullopt, 0.3);
    ASSERT_TRUE(result.ok()) << result.error().errorDescription().toStdString();
    EXPECT_EQ(result.value(), QStringLiteral("slow but steady"));

    // A whole reply that trickles on for longer than ten times the limit is cut all the same, never idle.
    FakeModelReply trickle =
        FakeModelReply::json({{QStringLiteral("response"), QStringLiteral("a reply that trickles on and on")}});
    trickle.splitEvery(1);
    trickle.pieceDelayMs = 100; // some 4.5 s in all, never 0.3 s idle
    server.setReply("POST", QStringLiteral("/api/generate"), trickle);
    result = generate(std::nullopt, std::nullopt, 0.3);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().networkError(), QNetworkReply::TimeoutError);
    EXPECT_EQ(result.error().errorDescription(), QStringLiteral("The request timed out."));

    // A limit that is not a positive number is refused before anything is sent.
    const qsizetype sent = server.requests().size();
    result = generate(std::nullopt, std::nullopt, 0);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().kind(), OllamaError::Kind::invalidRequest);
    OllamaOptions notANumber;
    notANumber.temperature = std::numeric_limits<double>::infinity();
    result = generate(notANumber);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().kind(), OllamaError::Kind::invalidRequest);
    EXPECT_TRUE(result.error().errorDescription().contains(QStringLiteral("temperature")));
    EXPECT_EQ(server.requests().size(), sent);
}

TEST_F(ClientRequests, ChatSendsTheSystemMessageFirst)
{
    server.setReply(
        "POST", QStringLiteral("/api/chat"),
        FakeModelReply::json({{QStringLiteral("message"),
                               QJsonObject{{QStringLiteral("role"), QStringLiteral("assistant")},
                                           {QStringLiteral("content"), QStringLiteral("\tHi!\n")}}}}));
    OllamaResult<QString> answer = chat(QString());
    ASSERT_TRUE(answer.ok());
    EXPECT_EQ(answer.value(), QStringLiteral("Hi!"));
    const QJsonArray expectedMessages{QJsonObject{{QStringLiteral("role"), QStringLiteral("system")},
                                                  {QStringLiteral("content"), QString()}},
                                      QJsonObject{{QStringLiteral("role"), QStringLiteral("user")},
                                                  {QStringLiteral("content"), QStringLiteral("Hi")}}};
    EXPECT_EQ(lastBody(), (QJsonObject{{QStringLiteral("model"), QStringLiteral("phi3:mini")},
                                       {QStringLiteral("messages"), expectedMessages},
                                       {QStringLiteral("stream"), false}}));

    ASSERT_TRUE(chat(std::nullopt).ok());
    EXPECT_EQ(lastBody().value(QStringLiteral("messages")).toArray().size(), 1);

    server.setReply("POST", QStringLiteral("/api/chat"),
                    FakeModelReply::json({{QStringLiteral("message"), QStringLiteral("x")}}));
    answer = chat(std::nullopt);
    ASSERT_FALSE(answer.ok());
    EXPECT_EQ(answer.error().kind(), OllamaError::Kind::decodingFailed);

    server.setReply("POST", QStringLiteral("/api/chat"), FakeModelReply::text(503, "busy"));
    answer = chat(std::nullopt);
    ASSERT_FALSE(answer.ok());
    EXPECT_EQ(answer.error().errorDescription(), QStringLiteral("HTTP 503: busy"));
}

// A base address ending in "/" reaches the same paths as one without it, at the root or below it.
TEST_F(ClientRequests, ABaseWithATrailingSlashReachesTheSamePaths)
{
    struct Case
    {
        QString suffix; // after "http://127.0.0.1:<port>"
        QString prefix; // of every path the server sees
    };
    const Case cases[] = {
        {QString(), QString()},
        {QStringLiteral("/"), QString()},
        {QStringLiteral("/ok/slash"), QStringLiteral("/ok/slash")},
        {QStringLiteral("/ok/slash/"), QStringLiteral("/ok/slash")},
    };
    for (const Case& c : cases) {
        OllamaClient based(QStringLiteral("tests"), server.baseUrl() + c.suffix);
        server.clearRequests();
        Outcome<bool> connected;
        based.checkConnection(connected.callback());
        ASSERT_TRUE(connected.wait());
        TextOutcome generated;
        based.generate({}, QStringLiteral("Hi"), std::nullopt, std::nullopt, std::nullopt, 60,
                       generated.callback());
        ASSERT_TRUE(generated.wait());
        ASSERT_EQ(server.requests().size(), 2) << c.suffix.toStdString();
        EXPECT_EQ(server.requests()[0].path, c.prefix + QStringLiteral("/api/tags"))
            << c.suffix.toStdString();
        EXPECT_EQ(server.requests()[1].path, c.prefix + QStringLiteral("/api/generate"))
            << c.suffix.toStdString();
    }
}

TEST_F(ClientRequests, NoCallbackAfterTheClientIsDestroyed)
{
    FakeModelReply stalled = FakeModelReply::json({{QStringLiteral("response"), QStringLiteral("late")}});
    stalled.headerDelayMs = 200;
    server.setReply("POST", QStringLiteral("/api/generate"), stalled);
    TextOutcome outcome;
    client->generate({}, QStringLiteral("Hi"), std::nullopt, std::nullopt, std::nullopt, 60,
                     outcome.callback());
    spinFor(50);
    client.reset();
    spinFor(400);
    EXPECT_FALSE(outcome.ended());
}
