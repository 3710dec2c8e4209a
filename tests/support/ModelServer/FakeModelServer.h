#pragma once

#include "FakeModelReply.h"

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <QTcpServer>
#include <functional>

namespace tovarine::test {

// One request as the fake server received it.
struct RecordedRequest
{
    QByteArray method;               // "GET", "POST"
    QString path;                    // "/api/tags", with any query
    QMap<QByteArray, QByteArray> headers; // names lowercased
    QByteArray body;

    // The body as a JSON object (empty when it is not one).
    QJsonObject json() const;
};

// A scripted stand-in for the local model server: an HTTP/1.1 server on 127.0.0.1 that answers each
// request with the reply scripted for its method and path, and records every request. Unscripted routes
// get 404 "404 page not found". Every connection is closed after its reply (no keep-alive).
// Thread contract: the thread that owns it; replies are written from its event loop.
class FakeModelServer : public QObject
{
    Q_OBJECT
public:
    using Handler = std::function<FakeModelReply(const RecordedRequest&)>;

    // Largest request head and body accepted; a larger one is answered 413 and closed.
    static constexpr qsizetype kMaxHeaderBytes = 64 * 1024;
    static constexpr qsizetype kMaxBodyBytes = 64 * 1024 * 1024;

    explicit FakeModelServer(QObject* parent = nullptr);
    ~FakeModelServer() override;

    // Listens on 127.0.0.1 at `port` (0: a free port). False when the port cannot be bound.
    bool listen(quint16 port = 0);
    // Stops listening: later connections to the port are refused.
    void close();
    // Resets (RST) every open connection now, whatever its reply has written so far.
    void resetConnections();
    quint16 port() const;
    // "http://127.0.0.1:<port>".
    QString baseUrl() const;

    // Every request to the route gets this reply (or the handler's).
    void setReply(const QByteArray& method, const QString& path, const FakeModelReply& reply);
    void setHandler(const QByteArray& method, const QString& path, Handler handler);
    // The next request to the route gets this reply, before the standing one; queued replies are used in order.
    void enqueueReply(const QByteArray& method, const QString& path, const FakeModelReply& reply);
    // Behaves like a server holding `models` whose every answer is `answer`: /api/tags lists the models;
    // /api/generate and /api/chat answer whole or, when the request says "stream": true, word by word in
    // NDJSON lines ending with "done": true; /api/pull streams a few progress lines and "success".
    void serveModels(const QStringList& models, const QString& answer);

    QList<RecordedRequest> requests() const { return m_requests; }
    void clearRequests() { m_requests.clear(); }

signals:
    void requestReceived(const tovarine::test::RecordedRequest& request);

private:
    class Connection;
    void onNewConnection();
    FakeModelReply replyFor(const RecordedRequest& request);

    QTcpServer m_server;
    QHash<QString, Handler> m_handlers;                 // "<METHOD> <path>"
    QHash<QString, QList<FakeModelReply>> m_queued;     // "<METHOD> <path>"
    QList<RecordedRequest> m_requests;
    quint16 m_port = 0;
};

} // namespace tovarine::test
