#include "OllamaClient.h"

#include "NdjsonLineReader.h"
#include "OllamaStreamLine.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QIODevice>
#include <QPointer>
#include <QStringDecoder>
#include <QUrl>
#include <cmath>
#include <cstring>
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
    const QUrl url(baseURL + path, QUrl::StrictMode);
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

QNetworkRequest makeRequest(const QUrl& url, int transferTimeoutMs, bool jsonBody)
{
    QNetworkRequest request(url);
    if (jsonBody) {
        request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    }
    // An idle limit: it fires when nothing arrives for this long, however long the whole reply runs.
    request.setTransferTimeout(transferTimeoutMs);
    return request;
}

// The HTTP status of a reply, or nullopt when it carried no HTTP response.
std::optional<int> httpStatus(const QNetworkReply* reply)
{
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid()) {
        return std::nullopt;
    }
    return status.toInt();
}

// A failure the network layer reported. Our own aborts happen only after the call has ended and its signals
// are cut, so a cancelled operation here is the transfer time-out.
OllamaError transportError(const QNetworkReply* reply)
{
    if (reply->error() == QNetworkReply::OperationCanceledError) {
        return OllamaError::transport(QNetworkReply::TimeoutError, QStringLiteral("The request timed out."));
    }
    return OllamaError::transport(reply->error(), reply->errorString());
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
            return OllamaError::invalidRequest(QStringLiteral("Invalid request: option \"") + field
                                               + QStringLiteral("\" is not a finite number"));
        }
    }
    return std::nullopt;
}

OllamaError invalidTimeout()
{
    return OllamaError::invalidRequest(QStringLiteral("Invalid request: the time-out must be a positive number of seconds"));
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
LineHandler pieceHandler(std::shared_ptr<QString> accumulated, OllamaClient::TextCallback onToken, bool chat)
{
    return [accumulated = std::move(accumulated), onToken = std::move(onToken), chat](const QJsonObject& line) {
        const auto piece = chat ? OllamaStreamLine::chatPiece(line) : OllamaStreamLine::generatePiece(line);
        if (!piece) {
            if (const auto error = OllamaStreamLine::errorText(line)) {
                return LineVerdict{LineVerdict::Action::fail,
                                   OllamaError::httpError(200, kStreamError + QStringLiteral(": ") + *error)};
            }
            return LineVerdict{};
        }
        accumulated->append(piece->text);
        if (onToken) {
            onToken(piece->text);
        }
        return piece->done ? LineVerdict{LineVerdict::Action::stop} : LineVerdict{};
    };
}

} // namespace

// Whether the client is still alive, and whether one of its reply handlers is running. Shared by the client
// and its calls, so a handler can tell that a callback destroyed the client and stop there.
struct OllamaClient::Life
{
    bool alive = true;
    int handlersRunning = 0;
};

namespace {

// Marks one reply handler as running for the span of a scope.
class HandlerScope
{
public:
    explicit HandlerScope(std::shared_ptr<OllamaClient::Life> life) : m_life(std::move(life)) { ++m_life->handlersRunning; }
    ~HandlerScope() { --m_life->handlersRunning; }
    HandlerScope(const HandlerScope&) = delete;
    HandlerScope& operator=(const HandlerScope&) = delete;

private:
    std::shared_ptr<OllamaClient::Life> m_life;
};

// A request body the network layer cannot rewind. Qt sends a request again on a fresh connection when the
// server closes one without a valid reply; for a model call that would ask a server that just crashed while
// loading a model to load it again. With a body that cannot be rewound, that second send fails instead,
// and the call ends with the network layer's error.
class SendOnceBody : public QIODevice
{
public:
    SendOnceBody(QByteArray bytes, QObject* parent) : QIODevice(parent), m_bytes(std::move(bytes))
    {
        open(QIODevice::ReadOnly);
    }
    bool isSequential() const override { return true; }
    bool reset() override { return false; }
    bool seek(qint64) override { return false; }
    qint64 bytesAvailable() const override { return m_bytes.size() - m_offset + QIODevice::bytesAvailable(); }
    qint64 size() const override { return m_bytes.size(); }

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        const qint64 count = std::min<qint64>(maxSize, m_bytes.size() - m_offset);
        if (count <= 0) {
            return m_offset >= m_bytes.size() ? -1 : 0;
        }
        std::memcpy(data, m_bytes.constData() + m_offset, static_cast<size_t>(count));
        m_offset += count;
        return count;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArray m_bytes;
    qint64 m_offset = 0;
};

OllamaError tooLong(const QString& what)
{
    return OllamaError::transport(QNetworkReply::ProtocolFailure,
                                  what + QStringLiteral(" is longer than ")
                                      + QString::number(OllamaClient::kMaxLineBytes / (1024 * 1024))
                                      + QStringLiteral(" MiB"));
}

} // namespace

// One request in flight: owns nothing but its reply's signal connections; ends exactly once, and not at all
// once the client is gone.
class OllamaClient::Call
{
public:
    static QNetworkReply* send(OllamaClient* client, QNetworkRequest request, const QByteArray* body)
    {
        // Every connection carries one request: a POST never meets a kept-alive connection that the server
        // has meanwhile closed (which the network layer would answer by sending again).
        request.setRawHeader(QByteArrayLiteral("Connection"), QByteArrayLiteral("close"));
        if (!body) {
            return client->m_network->get(request);
        }
        request.setHeader(QNetworkRequest::ContentLengthHeader, body->size());
        request.setAttribute(QNetworkRequest::DoNotBufferUploadDataAttribute, true);
        auto* device = new SendOnceBody(*body, nullptr);
        QNetworkReply* reply = client->m_network->post(request, device);
        device->setParent(reply);
        return reply;
    }

    // A whole reply of at most kMaxLineBytes: `done` gets the finished reply (still alive until `done`
    // returns) and the failure that ended it early, if any.
    static void sendWhole(OllamaClient* client, const QNetworkRequest& request, const QByteArray* body,
                          std::function<void(QNetworkReply*, const std::optional<OllamaError>&)> done)
    {
        QNetworkReply* reply = send(client, request, body);
        auto life = client->m_life;
        auto ended = std::make_shared<bool>(false);
        const auto end = [reply, ended, done](const std::optional<OllamaError>& early) {
            *ended = true;
            reply->disconnect();
            reply->deleteLater();
            done(reply, early);
        };
        QObject::connect(reply, &QNetworkReply::readyRead, reply, [reply, life, ended, end] {
            const HandlerScope scope(life);
            if (*ended || !life->alive) {
                return;
            }
            if (reply->bytesAvailable() > OllamaClient::kMaxLineBytes) {
                // Stop the transfer once the network layer is out of its own signal.
                end(tooLong(QStringLiteral("The reply")));
            }
        });
        QObject::connect(reply, &QNetworkReply::finished, reply, [reply, life, ended, end] {
            const HandlerScope scope(life);
            if (*ended || !life->alive) {
                return;
            }
            end(reply->bytesAvailable() > OllamaClient::kMaxLineBytes
                    ? std::optional<OllamaError>(tooLong(QStringLiteral("The reply")))
                    : std::nullopt);
        });
    }

    // A streamed reply cut into JSON lines. `badStatus` gets the status (0: not HTTP) of a reply that is not
    // 200, `end` the outcome otherwise (nullopt: the body ended or a line said stop).
    static void sendStream(OllamaClient* client, const QNetworkRequest& request, const QByteArray& body,
                           LineHandler handleLine, std::function<void(int)> badStatus,
                           std::function<void(std::optional<OllamaError>)> end)
    {
        struct State
        {
            NdjsonLineReader reader{OllamaClient::kMaxLineBytes};
            bool statusChecked = false;
            bool ended = false;
        };
        auto state = std::make_shared<State>();
        auto life = client->m_life;
        QNetworkReply* reply = send(client, request, &body);

        const auto finish = [reply, state](const std::function<void()>& report) {
            state->ended = true;
            reply->disconnect();
            // Stop the transfer once the network layer is out of its own signal (aborting from inside its
            // readyRead makes it report twice); deleting the reply closes the connection.
            reply->deleteLater();
            report();
        };
        // True when the status is acceptable; otherwise ends the call.
        const auto checkStatus = [reply, state, finish, badStatus] {
            if (state->statusChecked) {
                return true;
            }
            const std::optional<int> status = httpStatus(reply);
            if (!status && reply->error() != QNetworkReply::NoError) {
                return true; // a transport failure: reported by the finished handler
            }
            state->statusChecked = true;
            if (status.value_or(0) != 200) {
                finish([badStatus, status] { badStatus(status.value_or(0)); });
                return false;
            }
            return true;
        };
        // Feeds the bytes read so far through the line handler; false once the call has ended (or the client
        // was destroyed by a callback).
        const auto pump = [reply, state, life, finish, handleLine, end](bool atEnd) {
            if (!state->reader.append(reply->readAll())) {
                finish([end] { end(tooLong(QStringLiteral("A reply line"))); });
                return false;
            }
            for (;;) {
                std::optional<QByteArray> line = state->reader.nextLine();
                if (!line && atEnd) {
                    line = state->reader.finish();
                    atEnd = false; // the final line is the last one
                }
                if (!line) {
                    if (state->reader.failed()) {
                        finish([end] { end(tooLong(QStringLiteral("A reply line"))); });
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
                    finish([end] { end(std::nullopt); });
                    return false;
                }
                if (verdict.action == LineVerdict::Action::fail) {
                    finish([end, failure = verdict.failure] { end(failure); });
                    return false;
                }
            }
        };

        QObject::connect(reply, &QNetworkReply::readyRead, reply, [state, life, checkStatus, pump] {
            const HandlerScope scope(life);
            if (state->ended || !life->alive || !checkStatus()) {
                return;
            }
            pump(false);
        });
        QObject::connect(reply, &QNetworkReply::finished, reply, [reply, state, life, checkStatus, pump, finish, end] {
            const HandlerScope scope(life);
            if (state->ended || !life->alive) {
                return;
            }
            if (!httpStatus(reply) && reply->error() != QNetworkReply::NoError) {
                finish([end, error = transportError(reply)] { end(error); });
                return;
            }
            if (!checkStatus()) {
                return;
            }
            const bool cleanEnd = reply->error() == QNetworkReply::NoError;
            // A body cut short keeps the lines it completed; its unfinished last line is not trusted.
            if (!pump(cleanEnd)) {
                return;
            }
            if (!cleanEnd) {
                finish([end, error = transportError(reply)] { end(error); });
                return;
            }
            finish([end] { end(std::nullopt); });
        });
    }
};

OllamaClient::OllamaClient(const QString& appName, const QString& baseURL, QObject* parent)
    : QObject(parent), m_appName(appName), m_baseURL(baseURL), m_network(new QNetworkAccessManager(this)),
      m_life(std::make_shared<Life>())
{
    // Calls go straight to the server: a desktop proxy must not see (or break) local model traffic.
    m_network->setProxy(QNetworkProxy::NoProxy);
}

OllamaClient::~OllamaClient()
{
    m_life->alive = false;
    // Replies die with the manager; cut their signals first so no callback runs after the client is gone.
    const QList<QNetworkReply*> replies = m_network->findChildren<QNetworkReply*>();
    for (QNetworkReply* reply : replies) {
        reply->disconnect();
        reply->abort();
    }
    if (m_life->handlersRunning > 0) {
        // Destroyed from a callback inside one of the replies' signals: that reply must outlive the signal,
        // so the manager (and the replies with it) goes once control is back in the event loop.
        m_network->setParent(nullptr);
        m_network->deleteLater();
    }
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
    const QNetworkRequest request = makeRequest(*url, *timeoutMs(kDefaultTimeoutSeconds), false);
    Call::sendWhole(this, request, nullptr,
                    [this, done = std::move(done)](QNetworkReply* reply, const std::optional<OllamaError>& early) {
        const std::optional<int> status = httpStatus(reply);
        const QPointer<OllamaClient> self(this);
        if (early || status.value_or(0) != 200 || reply->error() != QNetworkReply::NoError) {
            // A model list over the cap is no model list: the server is not one this client can use.
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
        const QJsonDocument document = QJsonDocument::fromJson(reply->readAll(), &error);
        if (error.error == QJsonParseError::NoError) {
            const QJsonValue root = document.isObject() ? QJsonValue(document.object()) : QJsonValue();
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
        QMetaObject::invokeMethod(this, [done = std::move(done)] { done(false); }, Qt::QueuedConnection);
        return;
    }
    const QNetworkRequest request = makeRequest(*url, *timeoutMs(kDefaultTimeoutSeconds), false);
    Call::sendWhole(this, request, nullptr,
                    [done = std::move(done)](QNetworkReply* reply, const std::optional<OllamaError>& early) {
        done(!early && httpStatus(reply).value_or(0) == 200 && reply->error() == QNetworkReply::NoError);
    });
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
    std::optional<QNetworkRequest> request; // set when nothing failed
    std::optional<OllamaError> failure;
    QByteArray body;
};

PreparedRequest prepare(const QString& baseURL, const QString& path, const QJsonObject& body, double timeoutSeconds,
                        const std::optional<OllamaOptions>& options)
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
    prepared.body = QJsonDocument(body).toJson(QJsonDocument::Compact);
    prepared.request = makeRequest(*url, *timeout, true);
    return prepared;
}

QJsonObject generateBody(const QString& model, const QString& system, const QString& prompt, bool stream,
                         const std::optional<OllamaOptions>& options, const std::optional<QStringList>& images)
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
                     const std::optional<QString>& system, bool stream, const std::optional<OllamaOptions>& options)
{
    QJsonObject body{{QStringLiteral("model"), model},
                     {QStringLiteral("messages"), chatMessages(messages, system)},
                     {QStringLiteral("stream"), stream}};
    if (options) {
        body.insert(QStringLiteral("options"), options->dictionary());
    }
    return body;
}

// The reply of a one-shot call: the text of its body, trimmed, or the failure. `notHttp` is the error of a
// reply that carried no HTTP response (generation and chat differ there).
OllamaResult<QString> oneShotResult(QNetworkReply* reply, const OllamaError& notHttp, bool chat)
{
    const std::optional<int> status = httpStatus(reply);
    if (!status) {
        if (reply->error() != QNetworkReply::NoError) {
            return transportError(reply);
        }
        return notHttp;
    }
    const QByteArray body = reply->readAll();
    if (*status != 200) {
        return OllamaError::httpError(*status, utf8OrEmpty(body));
    }
    if (reply->error() != QNetworkReply::NoError) {
        return transportError(reply); // the body broke off after a 200
    }
    return OllamaStreamLine::wholeReplyText(body, chat);
}

} // namespace

// --- One-shot requests ---

template <typename Completion>
void OllamaClient::endLater(Completion done, const OllamaError& failure)
{
    // From the event loop, never from inside the call that failed.
    QMetaObject::invokeMethod(this, [done = std::move(done), failure] { done(failure); }, Qt::QueuedConnection);
}

void OllamaClient::generate(const QString& system, const QString& prompt, const std::optional<QString>& model,
                            const std::optional<OllamaOptions>& options, const std::optional<QStringList>& images,
                            double timeoutSeconds, TextCompletion done)
{
    const QJsonObject body = generateBody(model ? *model : preferredModel(), system, prompt, false, options, images);
    PreparedRequest prepared = prepare(m_baseURL, kGeneratePath, body, timeoutSeconds, options);
    if (prepared.failure) {
        endLater(std::move(done), *prepared.failure);
        return;
    }
    Call::sendWhole(this, *prepared.request, &prepared.body,
                    [done = std::move(done)](QNetworkReply* reply, const std::optional<OllamaError>& early) {
        done(early ? OllamaResult<QString>(*early) : oneShotResult(reply, OllamaError::noResponse(), false));
    });
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
    Call::sendWhole(this, *prepared.request, &prepared.body,
                    [done = std::move(done)](QNetworkReply* reply, const std::optional<OllamaError>& early) {
        done(early ? OllamaResult<QString>(*early)
                   : oneShotResult(reply, OllamaError::httpError(0, QString()), true));
    });
}

// --- Streaming requests ---

void OllamaClient::startTextStream(const QString& path, const QJsonObject& body, double timeoutSeconds,
                                   const std::optional<OllamaOptions>& options, bool chat, TextCallback onToken,
                                   TextCompletion done)
{
    PreparedRequest prepared = prepare(m_baseURL, path, body, timeoutSeconds, options);
    if (prepared.failure) {
        endLater(std::move(done), *prepared.failure);
        return;
    }
    beginStream();
    auto accumulated = std::make_shared<QString>();
    auto sharedDone = std::make_shared<TextCompletion>(std::move(done));
    Call::sendStream(
        this, *prepared.request, prepared.body, pieceHandler(accumulated, std::move(onToken), chat),
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

void OllamaClient::streamGenerate(const QString& system, const QString& prompt, const std::optional<QString>& model,
                                  const std::optional<OllamaOptions>& options,
                                  const std::optional<QStringList>& images, double timeoutSeconds,
                                  TextCallback onToken, TextCompletion done)
{
    const QJsonObject body = generateBody(model ? *model : preferredModel(), system, prompt, true, options, images);
    startTextStream(kGeneratePath, body, timeoutSeconds, options, false, std::move(onToken), std::move(done));
}

void OllamaClient::streamChat(const QList<Message>& messages, const std::optional<QString>& system,
                              const std::optional<QString>& model, const std::optional<OllamaOptions>& options,
                              double timeoutSeconds, TextCallback onToken, TextCompletion done)
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
        this, *prepared.request, prepared.body, std::move(handleLine),
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
