#pragma once

#include <QNetworkReply>
#include <QString>

namespace ostrel {

// A failed model-server call, with the text shown to users. Plain value; any thread.
//
// The first five kinds are the client's own; the last three carry what the platform reported
// (network transport, the JSON parser, the JSON writer) with its message unchanged.
class OllamaError
{
public:
    enum class Kind {
        httpError,      // statusCode() and message()
        notRunning,     // the base address joined with the path is not a valid http(s) URL
        decodingFailed, // a successful reply lacks the expected field
        noResponse,     // for callers; the client reports a reply that is not HTTP as transport
        noModel,        // raised by callers that find no model to use
        transport,      // the connection failed, closed or reset early, timed out, the reply was not HTTP,
                        // or a reply, line or streamed text exceeded its cap
        invalidJson,    // a status-200 body that is not JSON
        invalidRequest, // the request body could not be written (a number that JSON cannot hold)
    };

    static OllamaError httpError(int statusCode, const QString& message);
    static OllamaError notRunning();
    static OllamaError decodingFailed();
    static OllamaError noResponse();
    static OllamaError noModel();
    static OllamaError transport(QNetworkReply::NetworkError code, const QString& message);
    static OllamaError invalidJson(const QString& parserMessage);
    static OllamaError invalidRequest(const QString& message);

    Kind kind() const { return m_kind; }
    // The HTTP status of an httpError (0 for others).
    int statusCode() const { return m_statusCode; }
    // httpError: the server's body text or the fixed words; transport/invalidJson/invalidRequest: the
    // platform's message. Empty for the other kinds.
    QString message() const { return m_message; }
    // transport only: the network error code (QNetworkReply::TimeoutError for an idle time-out).
    QNetworkReply::NetworkError networkError() const { return m_networkError; }

    // The user-facing text, never empty: "HTTP <code>: <message>", "Ollama is not running", ...
    QString errorDescription() const;

    bool operator==(const OllamaError& other) const = default;

private:
    OllamaError(Kind kind, int statusCode, QString message, QNetworkReply::NetworkError networkError);

    Kind m_kind;
    int m_statusCode;
    QString m_message;
    QNetworkReply::NetworkError m_networkError;
};

} // namespace ostrel
