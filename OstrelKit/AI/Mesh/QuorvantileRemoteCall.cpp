#include "QuorvantileRemoteCall.h"

#include "QuorvantilePeerText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QStringDecoder>
#include <QTimer>

namespace ostrel {

namespace {

const QString kStreamError = QStringLiteral("Remote stream error");

// The text piece of one reply object: "response" for generate, "message"."content" for chat.
std::optional<QString> piece(const QuorvantileModelCall& call, const QJsonObject& object)
{
    const QJsonValue value =
        call.isChat() ? object.value(QStringLiteral("message")).toObject().value(QStringLiteral("content"))
                      : object.value(QStringLiteral("response"));
    if (call.isChat() && !object.value(QStringLiteral("message")).isObject()) {
        return std::nullopt;
    }
    return value.isString() ? std::optional<QString>(value.toString()) : std::nullopt;
}

} // namespace

QByteArray QuorvantileRemoteCall::requestBody(const QuorvantileModelCall& call, const QString& model)
{
    QJsonObject body{{QStringLiteral("model"), model}, {QStringLiteral("stream"), call.isStream()}};
    if (call.isChat()) {
        QJsonArray messages;
        if (call.chatSystem) {
            messages.append(QJsonObject{{QStringLiteral("role"), QStringLiteral("system")},
                                        {QStringLiteral("content"), *call.chatSystem}});
        }
        for (const auto& message : call.messages) {
            QJsonObject object;
            for (auto it = message.cbegin(); it != message.cend(); ++it) {
                object.insert(it.key(), it.value());
            }
            messages.append(object);
        }
        body.insert(QStringLiteral("messages"), messages);
    } else {
        body.insert(QStringLiteral("system"), call.system);
        body.insert(QStringLiteral("prompt"), call.prompt);
        if (call.images && !call.images->isEmpty()) {
            body.insert(QStringLiteral("images"), QJsonArray::fromStringList(*call.images));
        }
    }
    if (call.options) {
        body.insert(QStringLiteral("options"), call.options->dictionary());
    }
    return QJsonDocument(body).toJson(QJsonDocument::Compact);
}

OllamaResult<QString> QuorvantileRemoteCall::readPlainReply(const QuorvantileModelCall& call, int status,
                                                            const QByteArray& body)
{
    if (status != 200) {
        auto decode = QStringDecoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        QString text = decode(body);
        return OllamaError::httpError(status, decode.hasError() ? QString() : text);
    }
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError) {
        return OllamaError::invalidJson(error.errorString());
    }
    const auto text = document.isObject() ? piece(call, document.object()) : std::nullopt;
    if (!text) {
        return OllamaError::decodingFailed();
    }
    return text->trimmed();
}

QuorvantileRemoteCall::QuorvantileRemoteCall(QNetworkAccessManager& http, const QuorvantileNode& node,
                                             const QuorvantileModelCall& call, const QString& model,
                                             QuorvantileTokenHandler onToken, QuorvantileCallDone done,
                                             QObject* parent)
    : QObject(parent), m_call(call), m_onToken(std::move(onToken)), m_done(std::move(done))
{
    const QString path = call.isChat() ? QStringLiteral("/api/chat") : QStringLiteral("/api/generate");
    const QUrl url(node.ollamaURL() + path, QUrl::StrictMode);
    if (!url.isValid() || !QuorvantilePeerText::isSafeHost(node.host())) {
        QTimer::singleShot(0, this, [this] { end(OllamaError::notRunning()); });
        return;
    }
    if (call.options && !call.options->nonFiniteField().isEmpty()) {
        const QString field = call.options->nonFiniteField();
        QTimer::singleShot(0, this, [this, field] {
            end(OllamaError::invalidRequest(QStringLiteral("option %1 is not a finite number").arg(field)));
        });
        return;
    }
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    request.setTransferTimeout(static_cast<int>(std::min(call.timeoutSeconds, 2.0e6) * 1000.0));
    m_reply = http.post(request, requestBody(call, model));
    if (call.isStream()) {
        connect(m_reply, &QNetworkReply::readyRead, this, &QuorvantileRemoteCall::readStream);
    } else {
        connect(m_reply, &QNetworkReply::downloadProgress, this, [this](qint64 received, qint64) {
            if (received > kMaxReplyBytes) {
                end(OllamaError::transport(QNetworkReply::UnknownContentError,
                                           QStringLiteral("Reply too large")));
            }
        });
    }
    connect(m_reply, &QNetworkReply::finished, this, &QuorvantileRemoteCall::finished);
}

QuorvantileRemoteCall::~QuorvantileRemoteCall()
{
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
        m_reply->deleteLater();
    }
}

void QuorvantileRemoteCall::end(const OllamaResult<QString>& result)
{
    if (m_ended) {
        return;
    }
    m_ended = true;
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
        m_reply->deleteLater();
        m_reply = nullptr;
    }
    m_done(result);
}

void QuorvantileRemoteCall::readStream()
{
    if (m_ended || !m_reply) {
        return;
    }
    if (!m_streamChecked) {
        m_streamChecked = true;
        const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (status != 200) {
            end(OllamaError::httpError(status, kStreamError));
            return;
        }
    }
    m_pending += m_reply->readAll();
    qsizetype newline;
    while ((newline = m_pending.indexOf('\n')) >= 0) {
        const QByteArray line = m_pending.left(newline);
        m_pending.remove(0, newline + 1);
        if (!streamLine(line)) {
            return;
        }
    }
    if (m_pending.size() > kMaxLineBytes) {
        end(OllamaError::transport(QNetworkReply::UnknownContentError,
                                   QStringLiteral("Stream line too long")));
    }
}

bool QuorvantileRemoteCall::streamLine(const QByteArray& line)
{
    const QJsonDocument document = QJsonDocument::fromJson(line);
    if (!document.isObject()) {
        return true; // keep-alive blank lines and anything else that is not an object
    }
    const QJsonObject object = document.object();
    // A server that fails mid-stream says so in a line of its own.
    const QJsonValue error = object.value(QStringLiteral("error"));
    if (error.isString()) {
        end(OllamaError::httpError(200, kStreamError + QStringLiteral(": ") + error.toString()));
        return false;
    }
    const auto text = piece(m_call, object);
    if (!text) {
        return true;
    }
    m_accumulated += *text;
    if (m_onToken) {
        m_onToken(*text);
    }
    if (m_ended) {
        return false; // the handler ended the call
    }
    if (object.value(QStringLiteral("done")).toBool(false) && object.value(QStringLiteral("done")).isBool()) {
        end(m_accumulated);
        return false;
    }
    return true;
}

void QuorvantileRemoteCall::finished()
{
    if (m_ended || !m_reply) {
        return;
    }
    const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (m_call.isStream()) {
        if (!m_streamChecked && m_reply->error() == QNetworkReply::NoError) {
            readStream();
            if (m_ended) {
                return;
            }
        }
        if (m_reply->error() != QNetworkReply::NoError) {
            if (!m_streamChecked && status != 0 && status != 200) {
                end(OllamaError::httpError(status, kStreamError));
            } else {
                end(OllamaError::transport(m_reply->error(), m_reply->errorString()));
            }
            return;
        }
        readStream();
        if (!m_ended && !m_pending.isEmpty()) {
            const QByteArray last = m_pending;
            m_pending.clear();
            if (!streamLine(last)) {
                return;
            }
        }
        if (!m_ended) {
            end(m_accumulated); // the server closed the stream
        }
        return;
    }
    if (m_reply->error() != QNetworkReply::NoError && status == 0) {
        end(OllamaError::transport(m_reply->error(), m_reply->errorString()));
        return;
    }
    end(readPlainReply(m_call, status, m_reply->readAll()));
}

} // namespace ostrel
