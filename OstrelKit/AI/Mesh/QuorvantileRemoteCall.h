#pragma once

#include "QuorvantileModelCall.h"
#include "QuorvantileNode.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>

class QNetworkAccessManager;
class QNetworkReply;

namespace ostrel {

// One model call sent to a peer's model server at the node's address: POST "/api/generate" or "/api/chat"
// with a JSON body, the caller's timeout as the idle limit. A plain reply must be status 200 with "response"
// (or "message"."content") as a string, returned trimmed; a streamed reply is read line by line, each piece
// passed to the token handler as it arrives, until a piece comes with "done" true or the server closes.
// Failures: httpError for a status other than 200 (the body's text, or "Remote stream error" for streams,
// status 0 when the reply is not HTTP) and for an "error" line inside a stream; decodingFailed for a reply
// without its text; invalidJson, transport (also for a reply beyond the size caps), and notRunning when the
// node's address forms no valid URL. Ends exactly once through `done`, unless deleted first. GUI thread only.
class QuorvantileRemoteCall : public QObject
{
    Q_OBJECT
public:
    // Bytes of a plain reply, and of one line of a streamed reply, beyond which the peer is not trusted.
    static constexpr qint64 kMaxReplyBytes = 16 << 20;
    static constexpr qint64 kMaxLineBytes = 1 << 20;

    // The request body for `call` with the model name to send.
    static QByteArray requestBody(const QuorvantileModelCall& call, const QString& model);
    // Reads a plain reply's body: the trimmed text, or the failure.
    static OllamaResult<QString> readPlainReply(const QuorvantileModelCall& call, int status,
                                                const QByteArray& body);

    // Starts the call; `model` is the name to send (already mapped onto the node's models).
    QuorvantileRemoteCall(QNetworkAccessManager& http, const QuorvantileNode& node,
                          const QuorvantileModelCall& call, const QString& model,
                          QuorvantileTokenHandler onToken, QuorvantileCallDone done,
                          QObject* parent = nullptr);
    ~QuorvantileRemoteCall() override;

private:
    void readStream();
    // Handles one line of a stream; returns false when the reading ends (done, or a failure already
    // reported).
    bool streamLine(const QByteArray& line);
    void finished();
    void end(const OllamaResult<QString>& result);

    QuorvantileModelCall m_call;
    QuorvantileTokenHandler m_onToken;
    QuorvantileCallDone m_done;
    QPointer<QNetworkReply> m_reply;
    QByteArray m_pending;
    QString m_accumulated;
    bool m_streamChecked = false;
    bool m_ended = false;
};

} // namespace ostrel
