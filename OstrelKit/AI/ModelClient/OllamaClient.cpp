#include "OllamaClient.h"

#include "NdjsonLineReader.h"
#include "OllamaHttpExchange.h"
#include "OllamaStreamLine.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QPointer>
#include <QStringDecoder>
#include <QUrl>
#include <cmath>
#include <limits>
#include <memory>

namespace ostrel {

namespace {

const QString kTagsPath = QStringLiteral("/api/tags");
const QString kGeneratePath = QStringLiteral("/api/generate");
const QString kChatPath = QStringLiteral("/api/chat");
const QString kPullPath = QStringLiteral("/api/pull");
const QString kStreamError = QStringLiteral("Stream error");
const QString kPullFailed = QStringLiteral("Pull failed");

// The base address joined with a path, when that is an http(s) URL with a host.
std::optional<QUrl> requestUrl(const QString& baseURL, const QString& path)
{
    // A base that ends in "/" reaches the same paths as one without it (the slash that ends the authority
    // of "http://" itself stays).
    QString base = baseURL;
    if (base.endsWith(QLatin1Char('/')) && !base.endsWith(QLatin1String("://"))) {
        base.chop(1);
    }
    const QUrl url(base + path, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty()) {
        return std::nullopt;
    }
    const QString scheme = url.scheme().toLower();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https")) {
        return std::nullopt;
    }
    return url;
}

// Seconds to a transfer time-out in milliseconds; nullopt for a value that is not a positive number.
std::optional<int> timeoutMs(double seconds)
{
    if (!std::isfinite(seconds) || seconds <= 0.0) {
        return std::nullopt;
    }
    const double ms = std::ceil(seconds * 1000.0);
    return ms >= std::numeric_limits<int>::max() ? std::numeric_limits<int>::max() : static_cast<int>(ms);
}

OllamaHttpExchange::Request makeRequest(const QByteArray& method, const QUrl& url, int idleTimeoutMs,
                                        QByteArray body = {})
{
    OllamaHttpExchange::Request request;
    request.method = method;
    request.url = url;
    request.jsonBody = method != "GET";
    request.body = std::move(body);
    // An idle limit: it fires when nothing arrives for this long, however long the whole reply runs.
    request.idleTimeoutMs = idleTimeoutMs;
    return request;
}

// Text of a body that should be UTF-8: empty when it is not valid UTF-8.
QString utf8OrEmpty(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    return decoder.hasError() ? QString() : text;
}

QJsonArray chatMessages(const QList<OllamaClient::Message>& messages, const std::optional<QString>& system)
{
    QJsonArray array;
    if (system) {
        array.append(QJsonObject{{QStringLiteral("role"), QStringLiteral("system")},
                                 {QStringLiteral("content"), *system}});
    }
    for (const OllamaClient::Message& message : messages) {
        QJsonObject object;
        for (auto it = message.cbegin(); it != message.cend(); ++it) {
            object.insert(it.key(), it.value());
        }
        array.append(object);
    }
    return array;
}

std::optional<OllamaError> checkOptions(const std::optional<OllamaOptions>& options)
{
    if (options) {
        const QString field = options->nonFiniteField();
        if (!field.isEmpty()) {
            return OllamaError::invalidRequest(QStringLiteral("Invalid request: option \"") + field +
                                               QStringLiteral("\" is not a finite number"));
        }
    }
    return std::nullopt;
}

OllamaError invalidTimeout()
{
    return OllamaError::invalidRequest(
        QStringLiteral("Invalid request: the time-out must be a positive number of seconds"));
}

OllamaError tooLong(const QString& what, qint64 capBytes = OllamaClient::kMaxLineBytes)
{
    return OllamaError::transport(QNetworkReply::ProtocolFailure,
                                  what + QStringLiteral(" is longer than ") +
                                      QString::number(capBytes / (1024 * 1024)) + QStringLiteral(" MiB"));
}

// "name" and "name:latest" are one model.
QString withTag(const QString& model)
{
    return model.contains(QLatin1Char(':')) ? model : model + QStringLiteral(":latest");
}

// A reply (or stream line) that names another model than the one asked for: the answer is not the one the
// caller wanted, and is not taken. A reply that names no model is taken.
std::optional<OllamaError> otherModel(const QJsonObject& reply, const QString& asked)
{
    const QJsonValue named = reply.value(QLatin1String("model"));
    if (!named.isString() || withTag(named.toString()) == withTag(asked)) {
        return std::nullopt;
    }
    return OllamaError::transport(QNetworkReply::ProtocolFailure,
                                  QStringLiteral("The server answered with model \"") + named.toString() +
                                      QStringLiteral("\" instead of \"") + asked + QStringLiteral("\""));
}

// What a streamed line means to its call.
struct LineVerdict
{
    enum class Action { next, stop, fail } action = Action::next;
    OllamaError failure = OllamaError::decodingFailed(); // only for fail
};

using LineHandler = std::function<LineVerdict(const QJsonObject&)>;

// A stream's handler for generation and chat lines: pieces go to onToken and the accumulated text; a line
// without a piece but with an "error" ends the call.
LineHandler pieceHandler(std::shared_ptr<QString> accumulated, OllamaClient::TextCallback onToken, bool chat,
                         const QString& model)
{
    return [accumulated = std::move(accumulated), onToken = std::move(onToken), chat,
            model](const QJsonObject& line) {
        if (auto other = otherModel(line, model)) {
            return LineVerdict{LineVerdict::Action::fail, std::move(*other)};
        }
        const auto piece = chat ? OllamaStreamLine::chatPiece(line) : OllamaStreamLine::generatePiece(line);
        if (!piece) {
            if (const auto error = OllamaStreamLine::errorText(line)) {
                return LineVerdict{LineVerdict::Action::fail,
                                   OllamaError::httpError(200, kStreamError + QStringLiteral(": ") + *error)};
            }
            return LineVerdict{};
        }
        if (accumulated->size() + piece->text.size() > OllamaClient::kMaxLineBytes) {
            // An endless stream of small pieces must not grow the text without bound either.
            return LineVerdict{LineVerdict::Action::fail, tooLong(QStringLiteral("The streamed reply"))};
        }
        accumulated->append(piece->text);
        if (onToken) {
            onToken(piece->text);
        }
        return piece->done ? LineVerdict{LineVerdict::Action::stop} : LineVerdict{};
    };
}

} // namespace

// Whether the client is still alive. Shared by the client and its calls, so a handler can tell that a
// callback destroyed the client and stop there.
struct OllamaClient::Life
{
    bool alive = true;
};

// One request in flight: ends exactly once, and not at all once the client is gone.
class OllamaClient::Call
{
public:
    // A whole reply of at most kMaxLineBytes: `done` gets the failure that ended the call (if any), the
    // status (nullopt when no head was read, or the body passed the cap) and the body read.
    using WholeDone = std::function<void(const std::optional<OllamaError>&, std::optional<int> status,
                                         const QByteArray& body)>;

    static void sendWhole(OllamaClient* client, const OllamaHttpExchange::Request& request, WholeDone done)
    {
        struct State
        {
            std::optional<int> status;
            QByteArray body;
        };
        auto state = std::make_shared<State>();
        auto life = client->m_life;
        auto sharedDone = std::make_shared<WholeDone>(std::move(done));
        OllamaHttpExchange::Request whole = request;
        whole.wholeReplyMs = static_cast<int>(std::min<qint64>(
            qint64(request.idleTimeoutMs) * OllamaClient::kWholeReplyLimitFactor, std::numeric_limits<int>::max()));
        OllamaHttpExchange::Handlers handlers;
        handlers.onHead = [state](int status) {
            state->status = status;
            return true;
        };
        handlers.onBody = [state, life, sharedDone](QByteArrayView bytes) {
            if (state->body.size() + bytes.size() > OllamaClient::kMaxLineBytes) {
                // Fails as soon as the cap is passed, whatever the status: nothing more is read or kept.
                state->body = QByteArray();
                if (life->alive) {
                    (*sharedDone)(tooLong(QStringLiteral("The reply")), std::nullopt, QByteArray());
                }
                return false;
            }
            state->body.append(bytes.data(), bytes.size());
            return true;
        };
        handlers.onComplete = [state, life, sharedDone] {
            if (life->alive) {
                (*sharedDone)(std::nullopt, state->status, state->body);
            }
        };
        handlers.onFailure = [state, life, sharedDone](const OllamaError& failure) {
            if (life->alive) {
                (*sharedDone)(failure, state->status, state->body);
            }
        };
        client->track(OllamaHttpExchange::start(whole, std::move(handlers)));
    }

    // A streamed reply cut into JSON lines. `badStatus` gets the status of a reply that is not 200 (its body
    // is not read), `end` the outcome otherwise (nullopt: the body ended or a line said stop).
    static void sendStream(OllamaClient* client, const OllamaHttpExchange::Request& request,
                           LineHandler handleLine, std::function<void(int)> badStatus,
                           std::function<void(std::optional<OllamaError>)> end)
    {
        struct State
        {
            NdjsonLineReader reader{OllamaClient::kMaxLineBytes};
            qint64 bodyBytes = 0;
            bool ended = false;
        };
        auto state = std::make_shared<State>();
        auto life = client->m_life;
        const auto finish = [state, life, end](const std::optional<OllamaError>& outcome) {
            state->ended = true;
            state->reader = NdjsonLineReader(0);
            if (life->alive) {
                end(outcome);
            }
        };
        // Hands every complete line to the line handler (and the final one when `atEnd`); false once the
        // call has ended (or a callback destroyed the client).
        const auto pump = [state, life, handleLine, finish](bool atEnd) {
            for (;;) {
                std::optional<QByteArray> line = state->reader.nextLine();
                if (!line && atEnd) {
                    line = state->reader.finish();
                    atEnd = false; // the final line is the last one
                }
                if (!line) {
                    if (state->reader.failed()) {
                        finish(tooLong(QStringLiteral("A reply line")));
                        return false;
                    }
                    return true;
                }
                const std::optional<QJsonObject> object = OllamaStreamLine::parseObject(*line);
                if (!object) {
                    continue;
                }
                const LineVerdict verdict = handleLine(*object);
                if (!life->alive) {
                    // The callback destroyed the client: the call ends silently here.
                    state->ended = true;
                    return false;
                }
                if (verdict.action == LineVerdict::Action::stop) {
                    finish(std::nullopt);
                    return false;
                }
                if (verdict.action == LineVerdict::Action::fail) {
                    finish(verdict.failure);
                    return false;
                }
            }
        };

        OllamaHttpExchange::Handlers handlers;
        handlers.onHead = [state, life, badStatus](int status) {
            if (status == 200) {
                return true;
            }
            state->ended = true;
            if (life->alive) {
                badStatus(status);
            }
            return false;
        };
        handlers.onBody = [state, finish, pump](QByteArrayView bytes) {
            if (state->ended) {
                return false;
            }
            state->bodyBytes += bytes.size();
            if (state->bodyBytes > OllamaClient::kMaxStreamBytes) {
                finish(tooLong(QStringLiteral("The server's stream"), OllamaClient::kMaxStreamBytes));
                return false;
            }
            if (!state->reader.append(bytes)) {
                finish(tooLong(QStringLiteral("A reply line")));
                return false;
            }
            return pump(false);
        };
        handlers.onComplete = [state, finish, pump] {
            if (!state->ended && pump(true)) {
                finish(std::nullopt);
            }
        };
        handlers.onFailure = [state, finish](const OllamaError& failure) {
            // A body cut short keeps the lines it completed; its unfinished last line is not trusted.
            if (!state->ended) {
                finish(failure);
            }
        };
        client->track(OllamaHttpExchange::start(request, std::move(handlers)));
    }
};

OllamaClient::OllamaClient(const QString& appName, const QString& baseURL, QObject* parent)
    : QObject(parent), m_appName(appName), m_baseURL(baseURL), m_life(std::make_shared<Life>())
{
}

OllamaClient::~OllamaClient()
{
    m_life->alive = false;
    // Each exchange closes its connection now and goes once control is back in the event loop, so one
    // whose handler is destroying the client outlives that handler.
    for (const QPointer<OllamaHttpExchange>& exchange : std::as_const(m_exchanges)) {
        if (exchange) {
            exchange->cancel();
        }
    }
}

void OllamaClient::track(OllamaHttpExchange* exchange)
{
    m_exchanges.removeIf([](const QPointer<OllamaHttpExchange>& ended) { return ended.isNull(); });
    m_exchanges.append(exchange);
}

void OllamaClient::setConnected(bool connected)
{
    if (m_isConnected == connected) {
        return;
    }
    m_isConnected = connected;
    emit isConnectedChanged(connected);
}

void OllamaClient::setAvailableModels(const QList<OllamaModelInfo>& models)
{
    if (m_availableModels == models) {
        return;
    }
    m_availableModels = models;
    emit availableModelsChanged();
}

void OllamaClient::beginStream()
{
    if (m_streamsInFlight++ == 0) {
        emit isStreamingChanged(true);
    }
}

void OllamaClient::endStream()
{
    if (m_streamsInFlight > 0 && --m_streamsInFlight == 0) {
        emit isStreamingChanged(false);
    }
}

// --- Model list ---

void OllamaClient::checkConnection(FlagCompletion done)
{
    const std::optional<QUrl> url = requestUrl(m_baseURL, kTagsPath);
    if (!url) {
        QMetaObject::invokeMethod(
            this,
            [this, done = std::move(done)] {
                setConnected(false);
                done(false);
            },
            Qt::QueuedConnection);
        return;
    }
    Call::sendWhole(this, makeRequest("GET", *url, *timeoutMs(kDefaultTimeoutSeconds)),
                    [this, done = std::move(done)](const std::optional<OllamaError>& failure,
                                                   std::optional<int> status, const QByteArray& body) {
                        const QPointer<OllamaClient> self(this);
                        if (failure || status.value_or(0) != 200) {
                            // A model list over the cap is no model list: the server is not one this client
                            // can use.
                            setConnected(false);
                            if (self) {
                                setAvailableModels({});
                            }
                            if (self) {
                                done(false);
                            }
                            return;
                        }
                        QJsonParseError error{};
                        const QJsonDocument document = QJsonDocument::fromJson(body, &error);
                        if (error.error == QJsonParseError::NoError) {
                            const QJsonValue root =
                                document.isObject() ? QJsonValue(document.object()) : QJsonValue();
                            if (const auto models = OllamaModelInfo::decodeTagsResponse(root)) {
                                setAvailableModels(*models);
                            }
                        }
                        if (self) {
                            setConnected(true);
                        }
                        if (self) {
                            done(true);
                        }
                    });
}

void OllamaClient::isAvailable(FlagCompletion done)
{
    const std::optional<QUrl> url = requestUrl(m_baseURL, kTagsPath);
    if (!url) {
        QMetaObject::invokeMethod(
            this, [done = std::move(done)] { done(false); }, Qt::QueuedConnection);
        return;
    }
    Call::sendWhole(
        this, makeRequest("GET", *url, *timeoutMs(kDefaultTimeoutSeconds)),
        [done = std::move(done)](const std::optional<OllamaError>& failure, std::optional<int> status,
                                 const QByteArray&) { done(!failure && status.value_or(0) == 200); });
}

void OllamaClient::listModels(std::function<void(const QStringList&)> done)
{
    listModelInfo([done = std::move(done)](const QList<OllamaModelInfo>& models) {
        QStringList names;
        names.reserve(models.size());
        for (const OllamaModelInfo& info : models) {
            names.append(info.name);
        }
        done(names);
    });
}

void OllamaClient::listModelInfo(std::function<void(const QList<OllamaModelInfo>&)> done)
{
    checkConnection([this, done = std::move(done)](bool) { done(m_availableModels); });
}

// --- Request building shared by the one-shot and streaming calls ---

namespace {

struct PreparedRequest
{
    std::optional<OllamaHttpExchange::Request> request; // set when nothing failed
    std::optional<OllamaError> failure;
};

PreparedRequest prepare(const QString& baseURL, const QString& path, const QJsonObject& body,
                        double timeoutSeconds, const std::optional<OllamaOptions>& options)
{
    PreparedRequest prepared;
    const std::optional<QUrl> url = requestUrl(baseURL, path);
    if (!url) {
        prepared.failure = OllamaError::notRunning();
        return prepared;
    }
    if (auto failure = checkOptions(options)) {
        prepared.failure = std::move(failure);
        return prepared;
    }
    const std::optional<int> timeout = timeoutMs(timeoutSeconds);
    if (!timeout) {
        prepared.failure = invalidTimeout();
        return prepared;
    }
    prepared.request =
        makeRequest("POST", *url, *timeout, QJsonDocument(body).toJson(QJsonDocument::Compact));
    return prepared;
}

QJsonObject generateBody(const QString& model, const QString& system, const QString& prompt, bool stream,
                         const std::optional<OllamaOptions>& options,
                         const std::optional<QStringList>& images)
{
    QJsonObject body{{QStringLiteral("model"), model},
                     {QStringLiteral("system"), system},
                     {QStringLiteral("prompt"), prompt},
                     {QStringLiteral("stream"), stream}};
    if (options) {
        body.insert(QStringLiteral("options"), options->dictionary());
    }
    if (images && !images->isEmpty()) {
        body.insert(QStringLiteral("images"), QJsonArray::fromStringList(*images));
    }
    return body;
}

QJsonObject chatBody(const QString& model, const QList<OllamaClient::Message>& messages,
                     const std::optional<QString>& system, bool stream,
                     const std::optional<OllamaOptions>& options)
{
    QJsonObject body{{QStringLiteral("model"), model},
                     {QStringLiteral("messages"), chatMessages(messages, system)},
                     {QStringLiteral("stream"), stream}};
    if (options) {
        body.insert(QStringLiteral("options"), options->dictionary());
    }
    return body;
}

// The reply of a one-shot call: the text of its body, trimmed, or the failure.
OllamaResult<QString> oneShotResult(const std::optional<OllamaError>& failure, std::optional<int> status,
                                    const QByteArray& body, bool chat, const QString& model)
{
    if (status && *status != 200) {
        return OllamaError::httpError(*status, utf8OrEmpty(body)); // also when its body broke off
    }
    if (failure) {
        return *failure;
    }
    OllamaResult<QString> text = OllamaStreamLine::wholeReplyText(body, chat);
    if (text.ok()) {
        if (auto other = otherModel(QJsonDocument::fromJson(body).object(), model)) {
            return *other;
        }
    }
    return text;
}

} // namespace

// --- One-shot requests ---

template <typename Completion> void OllamaClient::endLater(Completion done, const OllamaError& failure)
{
    // From the event loop, never from inside the call that failed.
    QMetaObject::invokeMethod(
        this, [done = std::move(done), failure] { done(failure); }, Qt::QueuedConnection);
}

void OllamaClient::generate(const QString& system, const QString& prompt, const std::optional<QString>& model,
                            const std::optional<OllamaOptions>& options,
                            const std::optional<QStringList>& images, double timeoutSeconds,
                            TextCompletion done)
{
    const QJsonObject body =
        generateBody(model ? *model : preferredModel(), system, prompt, false, options, images);
    PreparedRequest prepared = prepare(m_baseURL, kGeneratePath, body, timeoutSeconds, options);
    if (prepared.failure) {
        endLater(std::move(done), *prepared.failure);
        return;
    }
    Call::sendWhole(this, *prepared.request,
                    [done = std::move(done), asked = body.value(QLatin1String("model")).toString()](
                        const std::optional<OllamaError>& failure, std::optional<int> status,
                        const QByteArray& reply) { done(oneShotResult(failure, status, reply, false, asked)); });
}

void OllamaClient::chat(const QList<Message>& messages, const std::optional<QString>& system,
                        const std::optional<QString>& model, const std::optional<OllamaOptions>& options,
                        double timeoutSeconds, TextCompletion done)
{
    const QJsonObject body = chatBody(model ? *model : preferredModel(), messages, system, false, options);
    PreparedRequest prepared = prepare(m_baseURL, kChatPath, body, timeoutSeconds, options);
    if (prepared.failure) {
        endLater(std::move(done), *prepared.failure);
        return;
    }
    Call::sendWhole(this, *prepared.request,
                    [done = std::move(done), asked = body.value(QLatin1String("model")).toString()](
                        const std::optional<OllamaError>& failure, std::optional<int> status,
                        const QByteArray& reply) { done(oneShotResult(failure, status, reply, true, asked)); });
}

// --- Streaming requests ---

void OllamaClient::startTextStream(const QString& path, const QJsonObject& body, double timeoutSeconds,
                                   const std::optional<OllamaOptions>& options, bool chat,
                                   TextCallback onToken, TextCompletion done)
{
    PreparedRequest prepared = prepare(m_baseURL, path, body, timeoutSeconds, options);
    if (prepared.failure) {
        endLater(std::move(done), *prepared.failure);
        return;
    }
    const std::shared_ptr<Life> life = m_life;
    beginStream();
    if (!life->alive) {
        return; // a receiver of isStreamingChanged destroyed the client: nothing is sent
    }
    auto accumulated = std::make_shared<QString>();
    auto sharedDone = std::make_shared<TextCompletion>(std::move(done));
    Call::sendStream(
        this, *prepared.request, pieceHandler(accumulated, std::move(onToken), chat, body.value(QLatin1String("model")).toString()),
        [this, life = m_life, sharedDone](int status) {
            endStream();
            if (life->alive) { // an isStreamingChanged receiver may have destroyed the client
                (*sharedDone)(OllamaError::httpError(status, kStreamError));
            }
        },
        [this, life = m_life, sharedDone, accumulated](const std::optional<OllamaError>& failure) {
            endStream();
            if (!life->alive) {
                return;
            }
            if (failure) {
                (*sharedDone)(*failure);
            } else {
                (*sharedDone)(*accumulated);
            }
        });
}

void OllamaClient::streamGenerate(const QString& system, const QString& prompt,
                                  const std::optional<QString>& model,
                                  const std::optional<OllamaOptions>& options,
                                  const std::optional<QStringList>& images, double timeoutSeconds,
                                  TextCallback onToken, TextCompletion done)
{
    const QJsonObject body =
        generateBody(model ? *model : preferredModel(), system, prompt, true, options, images);
    startTextStream(kGeneratePath, body, timeoutSeconds, options, false, std::move(onToken), std::move(done));
}

void OllamaClient::streamChat(const QList<Message>& messages, const std::optional<QString>& system,
                              const std::optional<QString>& model,
                              const std::optional<OllamaOptions>& options, double timeoutSeconds,
                              TextCallback onToken, TextCompletion done)
{
    const QJsonObject body = chatBody(model ? *model : preferredModel(), messages, system, true, options);
    startTextStream(kChatPath, body, timeoutSeconds, options, true, std::move(onToken), std::move(done));
}

void OllamaClient::pullModel(const QString& name, TextCallback onProgress, VoidCompletion done)
{
    const QJsonObject body{{QStringLiteral("name"), name}, {QStringLiteral("stream"), true}};
    PreparedRequest prepared = prepare(m_baseURL, kPullPath, body, kPullTimeoutSeconds, std::nullopt);
    if (prepared.failure) {
        endLater(std::move(done), *prepared.failure);
        return;
    }
    auto sharedDone = std::make_shared<VoidCompletion>(std::move(done));
    LineHandler handleLine = [onProgress = std::move(onProgress)](const QJsonObject& line) {
        if (const auto progress = OllamaStreamLine::pullProgress(line)) {
            if (onProgress) {
                onProgress(*progress);
            }
            return LineVerdict{};
        }
        if (const auto error = OllamaStreamLine::errorText(line)) {
            return LineVerdict{LineVerdict::Action::fail,
                               OllamaError::httpError(200, kPullFailed + QStringLiteral(": ") + *error)};
        }
        return LineVerdict{};
    };
    Call::sendStream(
        this, *prepared.request, std::move(handleLine),
        [sharedDone](int status) { (*sharedDone)(OllamaError::httpError(status, kPullFailed)); },
        [sharedDone](const std::optional<OllamaError>& failure) {
            if (failure) {
                (*sharedDone)(*failure);
            } else {
                (*sharedDone)(OllamaResult<void>());
            }
        });
}

} // namespace ostrel
