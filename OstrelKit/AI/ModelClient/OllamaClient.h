#pragma once

#include "OllamaError.h"
#include "OllamaModelInfo.h"
#include "OllamaOptions.h"
#include "OllamaResult.h"

#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

namespace ostrel {

class OllamaHttpExchange;

// The client of one local model server over its HTTP JSON API (GET /api/tags, POST /api/generate,
// /api/chat, /api/pull). It never starts, stops or configures the server.
//
// Thread contract: GUI (owning) thread only. Every asynchronous call returns at once and ends exactly once
// by calling its completion on the owning thread from the event loop, never from inside the call itself;
// token and progress callbacks run on the same thread, in stream order, before the next line is read.
// The client may be destroyed at any time, from inside any of its callbacks or completions too: its requests
// are aborted with it and no callback or completion of it runs afterwards; that includes the receivers of
// its signals. Each request is sent exactly once, on a connection of its own (never again after a
// connection closes, resets or answers with something that is not HTTP: the call fails and says which).
// Requests never go through a proxy. Every time limit is an idle time-out: it fires when no byte arrives
// for that long. A whole (not streamed) reply, a model list or a one-shot answer, must besides be read
// within kWholeReplyLimitFactor times the limit from its first byte, so a server that trickles bytes
// without end cannot hold the call; a stream may run as long as bytes keep coming, up to kMaxStreamBytes.
// Memory: a reply is read only as fast as the call uses it, so however fast a server sends, the client
// holds at most its caps (kMaxLineBytes per reply, line or streamed text) and fails as soon as one is passed.
class OllamaClient : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool isConnected READ isConnected NOTIFY isConnectedChanged)
    Q_PROPERTY(bool isStreaming READ isStreaming NOTIFY isStreamingChanged)

public:
    // Shared with the calls in flight: whether the client is alive (defined in the .cpp).
    struct Life;

    using Message = QMap<QString, QString>; // normally "role" and "content"
    using TextCallback = std::function<void(const QString&)>;
    using TextCompletion = std::function<void(const OllamaResult<QString>&)>;
    using VoidCompletion = std::function<void(const OllamaResult<void>&)>;
    using FlagCompletion = std::function<void(bool)>;

    // Time limit of a request when the caller has no reason to choose another, in seconds.
    static constexpr double kDefaultTimeoutSeconds = 60.0;
    // Time limit of a model download, in seconds; fixed.
    static constexpr double kPullTimeoutSeconds = 3600.0;
    // A streamed reply line longer than this fails the call, and so does a one-shot reply, a model list or
    // the accumulated text of a streaming generation or chat longer than this: a server cannot grow this
    // process's memory without bound.
    static constexpr qsizetype kMaxLineBytes = 16 * 1024 * 1024;
    // A streamed body (generation, chat or download) longer than this fails the call: lines that carry no
    // text, or pad little text with much else, cannot keep a call reading for ever.
    static constexpr qint64 kMaxStreamBytes = 256LL * 1024 * 1024;
    // A whole reply must be read within this many times the call's time limit from its first byte.
    static constexpr int kWholeReplyLimitFactor = 10;
    // The model used when no preferred model is stored.
    static inline const QString kDefaultModel = QStringLiteral("llama3.1:8b");

    // `appName` names the support folder; `baseURL` is the server's root ("http://127.0.0.1:11434"), paths
    // are appended to it as text (one trailing "/" of the base dropped first). Sends nothing.
    OllamaClient(const QString& appName, const QString& baseURL, QObject* parent = nullptr);
    ~OllamaClient() override;

    QString appName() const { return m_appName; }
    QString baseURL() const { return m_baseURL; }

    // The outcome of the last connection check.
    bool isConnected() const { return m_isConnected; }
    // At least one streaming generation or chat is running (a count of calls in flight, so overlapping
    // streams keep it true until the last one ends).
    bool isStreaming() const { return m_streamsInFlight > 0; }
    // The server's models as last listed, in the server's order.
    QList<OllamaModelInfo> availableModels() const { return m_availableModels; }

    // --- Model list ---

    // GET /api/tags. Status 200: the decoded list replaces availableModels (kept when the body is not a
    // model list), isConnected becomes true, result true. Transport error, another status or a body over
    // kMaxLineBytes: isConnected false, availableModels emptied, result false. Invalid URL: isConnected
    // false, list kept, result false.
    void checkConnection(FlagCompletion done);
    // The same request; true exactly for status 200 with a whole body of at most kMaxLineBytes. Changes
    // nothing.
    void isAvailable(FlagCompletion done);
    // Runs checkConnection, then gives the names (or entries) of availableModels; empty when unreachable.
    void listModels(std::function<void(const QStringList&)> done);
    void listModelInfo(std::function<void(const QList<OllamaModelInfo>&)> done);

    // --- One-shot requests ---

    // POST /api/generate with "model" (`model`, else preferredModel()), "system", "prompt", "stream" false,
    // "options" when given, "images" when given and not empty. Gives the reply's "response" trimmed.
    // Errors: notRunning (invalid URL), transport (refused, closed or reset before the reply ended, a reply
    // that is not HTTP, idle time-out, a body over kMaxLineBytes, a reply whose "model" names another model
    // than the one sent, "name" and "name:latest" being one; the message says which), httpError
    // (status, body text), invalidJson, decodingFailed (no text "response"), invalidRequest (non-finite
    // option).
    void generate(const QString& system, const QString& prompt, const std::optional<QString>& model,
                  const std::optional<OllamaOptions>& options, const std::optional<QStringList>& images,
                  double timeoutSeconds, TextCompletion done);
    // POST /api/chat with "model", "messages" (a leading system message when `system` is given, then
    // `messages` unchanged), "stream" false, "options" when given. Gives "message"."content" trimmed.
    // Errors as for generate.
    void chat(const QList<Message>& messages, const std::optional<QString>& system,
              const std::optional<QString>& model, const std::optional<OllamaOptions>& options,
              double timeoutSeconds, TextCompletion done);

    // --- Streaming requests ---

    // As generate with "stream" true. Each line's text "response" is appended and passed to onToken; a line
    // with such a piece and "done" true ends the reading. Gives the concatenated pieces, untrimmed.
    // A line whose "model" names another model than the one sent fails the call as generate's reply does.
    // A status other than 200 gives httpError(status, "Stream error") without reading the body; an
    // {"error": ...} line gives httpError(200, "Stream error: <text>"); lines that are not JSON objects or
    // carry no piece are skipped. isStreaming is held from the request's start to its end.
    void streamGenerate(const QString& system, const QString& prompt, const std::optional<QString>& model,
                        const std::optional<OllamaOptions>& options, const std::optional<QStringList>& images,
                        double timeoutSeconds, TextCallback onToken, TextCompletion done);
    // As chat with "stream" true; the piece of a line is "message"."content".
    void streamChat(const QList<Message>& messages, const std::optional<QString>& system,
                    const std::optional<QString>& model, const std::optional<OllamaOptions>& options,
                    double timeoutSeconds, TextCallback onToken, TextCompletion done);

    // POST /api/pull {"name": name, "stream": true} with the fixed one-hour idle time-out. Every line with a
    // text "status" gives one progress line ("<status>" or "<status> (<percent>%)" when integer "total" > 0
    // and "completed" are present). The end of the body ends the download. A status other than 200 gives
    // httpError(status, "Pull failed"); an {"error": ...} line gives httpError(200, "Pull failed: <text>").
    // Does not touch isStreaming.
    void pullModel(const QString& name, TextCallback onProgress, VoidCompletion done);

    // --- Local state: support folder, preferred model, memory ---
    // Synchronous; none reports a failure (a missing or unreadable file reads as the default).

    // <user data location>/<maker>/<appName>, created (with parents) on every read.
    QString supportDir() const;
    // "dunmarrow_model.txt" trimmed, or kDefaultModel when missing, unreadable, not UTF-8 or blank.
    QString preferredModel() const;
    // Writes the name unchanged, atomically.
    void setPreferredModel(const QString& name);
    // The model to use given availableModels: absent with no models; preferredModel() when any name starts
    // with "llama3.1"; "llama3.2" when any starts with "llama3.2"; else the first name.
    std::optional<QString> activeModel() const;
    // Appends "[<UTC ISO 8601 stamp>] <text>\n" to "memory.txt".
    void appendMemory(const QString& text);
    // The last `maxEntries` non-empty lines of "memory.txt" joined by line feeds (every Unicode line break
    // splits); empty when the file is missing or maxEntries <= 0.
    QString loadContext(int maxEntries) const;
    // Deletes "memory.txt".
    void clearMemory();
    // The JSON object spanning the first "{" to the last "}" of `text`, when that span parses as an object.
    static std::optional<QJsonObject> extractJSON(const QString& text);

signals:
    void isConnectedChanged(bool isConnected);
    void isStreamingChanged(bool isStreaming);
    void availableModelsChanged();

private:
    class Call;
    friend class Call;

    void setConnected(bool connected);
    void setAvailableModels(const QList<OllamaModelInfo>& models);
    template <typename Completion> void endLater(Completion done, const OllamaError& failure);
    void track(OllamaHttpExchange* exchange);
    void beginStream();
    void endStream();
    void startTextStream(const QString& path, const QJsonObject& body, double timeoutSeconds,
                         const std::optional<OllamaOptions>& options, bool chat, TextCallback onToken,
                         TextCompletion done);

    QString m_appName;
    QString m_baseURL;
    bool m_isConnected = false;
    int m_streamsInFlight = 0;
    QList<OllamaModelInfo> m_availableModels;
    QList<QPointer<OllamaHttpExchange>> m_exchanges; // requests in flight (ended ones are null)
    std::shared_ptr<Life> m_life;
};

} // namespace ostrel
