#include "FakeModelServer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>
#include <sys/socket.h>

namespace tovarine::test {

QJsonObject RecordedRequest::json() const
{
    return QJsonDocument::fromJson(body).object();
}

namespace {

QString routeKey(const QByteArray& method, const QString& path)
{
    return QString::fromLatin1(method) + QLatin1Char(' ') + path;
}

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200: return "OK";
    case 400: return "Bad Request";
    case 404: return "Not Found";
    case 413: return "Payload Too Large";
    case 500: return "Internal Server Error";
    default: return "Status";
    }
}

} // namespace

// One client connection: reads one request (head, then Content-Length bytes of body), then writes the reply
// piece by piece and ends it as scripted. Deletes itself when the socket goes away.
class FakeModelServer::Connection : public QObject
{
public:
    Connection(FakeModelServer* server, QTcpSocket* socket) : QObject(server), m_server(server), m_socket(socket)
    {
        socket->setParent(this);
        connect(socket, &QTcpSocket::readyRead, this, &Connection::onReadyRead);
        connect(socket, &QTcpSocket::disconnected, this, &QObject::deleteLater);
    }

private:
    void onReadyRead()
    {
        if (m_replying) {
            m_socket->readAll(); // a client that keeps talking after its request: ignore it
            return;
        }
        m_buffer += m_socket->readAll();
        if (m_bodyBytes < 0) {
            const qsizetype headEnd = m_buffer.indexOf("\r\n\r\n");
            if (headEnd < 0) {
                if (m_buffer.size() > kMaxHeaderBytes) {
                    refuse(413);
                }
                return;
            }
            if (!parseHead(m_buffer.left(headEnd))) {
                refuse(400);
                return;
            }
            m_buffer.remove(0, headEnd + 4);
        }
        if (m_buffer.size() < m_bodyBytes) {
            return;
        }
        m_request.body = m_buffer.left(m_bodyBytes);
        m_replying = true;
        m_server->m_requests.append(m_request);
        emit m_server->requestReceived(m_request);
        start(m_server->replyFor(m_request));
    }

    bool parseHead(const QByteArray& head)
    {
        const QList<QByteArray> lines = head.split('\n');
        const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
        if (requestLine.size() != 3) {
            return false;
        }
        m_request.method = requestLine[0];
        m_request.path = QString::fromUtf8(requestLine[1]);
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines[i].indexOf(':');
            if (colon > 0) {
                m_request.headers.insert(lines[i].left(colon).trimmed().toLower(), lines[i].mid(colon + 1).trimmed());
            }
        }
        bool ok = true;
        const QByteArray length = m_request.headers.value("content-length", "0");
        m_bodyBytes = length.toLongLong(&ok);
        return ok && m_bodyBytes >= 0 && m_bodyBytes <= kMaxBodyBytes;
    }

    void refuse(int status)
    {
        m_replying = true;
        start(FakeModelReply::text(status, reasonPhrase(status)));
    }

    void start(const FakeModelReply& reply)
    {
        m_reply = reply;
        QTimer::singleShot(reply.headerDelayMs, this, [this] {
            if (!m_reply.notHttp) {
                writeHead();
            }
            writePiece(0);
        });
    }

    void writeHead()
    {
        QByteArray head = "HTTP/1.1 " + QByteArray::number(m_reply.status) + ' ' + reasonPhrase(m_reply.status)
                          + "\r\nContent-Type: " + m_reply.contentType + "\r\nConnection: close\r\n";
        if (m_reply.chunked) {
            head += "Transfer-Encoding: chunked\r\n";
        } else {
            // A stalled reply promises one byte more than it sends, so the client keeps waiting.
            const qsizetype length = m_reply.body().size() + (m_reply.ending == Ending::stall ? 1 : 0);
            head += "Content-Length: " + QByteArray::number(length) + "\r\n";
        }
        m_socket->write(head + "\r\n");
    }

    using Ending = FakeModelReply::Ending;

    void writePiece(qsizetype index)
    {
        for (; index < m_reply.pieces.size(); ++index) {
            const QByteArray& piece = m_reply.pieces[index];
            if (m_reply.chunked && !m_reply.notHttp) {
                if (!piece.isEmpty()) {
                    m_socket->write(QByteArray::number(piece.size(), 16) + "\r\n" + piece + "\r\n");
                }
            } else {
                m_socket->write(piece);
            }
            m_socket->flush();
            if (m_reply.pieceDelayMs > 0 && index + 1 < m_reply.pieces.size()) {
                QTimer::singleShot(m_reply.pieceDelayMs, this, [this, index] { writePiece(index + 1); });
                return;
            }
        }
        end();
    }

    void end()
    {
        switch (m_reply.ending) {
        case Ending::close:
            if (m_reply.chunked && !m_reply.notHttp) {
                m_socket->write("0\r\n\r\n");
            }
            m_socket->disconnectFromHost();
            break;
        case Ending::stall:
            break;
        case Ending::reset:
            reset();
            break;
        }
    }

public:
    void reset()
    {
        m_socket->flush();
        m_socket->waitForBytesWritten(1000);
        // A zero linger time makes close() send RST instead of FIN.
        const linger option{1, 0};
        ::setsockopt(static_cast<int>(m_socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &option,
                     sizeof(option));
        m_socket->abort();
        deleteLater();
    }

private:

    FakeModelServer* m_server;
    QTcpSocket* m_socket;
    QByteArray m_buffer;
    qsizetype m_bodyBytes = -1; // -1 while the head is still being read
    bool m_replying = false;
    RecordedRequest m_request;
    FakeModelReply m_reply;
};

FakeModelServer::FakeModelServer(QObject* parent) : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, &FakeModelServer::onNewConnection);
}

FakeModelServer::~FakeModelServer() = default;

bool FakeModelServer::listen(quint16 port)
{
    const bool listening = m_server.listen(QHostAddress::LocalHost, port);
    m_port = m_server.serverPort();
    return listening;
}

void FakeModelServer::close()
{
    m_port = m_server.serverPort();
    m_server.close();
}

void FakeModelServer::resetConnections()
{
    const QObjectList open = children();
    for (QObject* child : open) {
        if (auto* connection = dynamic_cast<Connection*>(child)) {
            connection->reset();
        }
    }
}

quint16 FakeModelServer::port() const
{
    return m_server.isListening() ? m_server.serverPort() : m_port;
}

QString FakeModelServer::baseUrl() const
{
    return QStringLiteral("http://127.0.0.1:") + QString::number(port());
}

void FakeModelServer::setReply(const QByteArray& method, const QString& path, const FakeModelReply& reply)
{
    setHandler(method, path, [reply](const RecordedRequest&) { return reply; });
}

void FakeModelServer::setHandler(const QByteArray& method, const QString& path, Handler handler)
{
    m_handlers.insert(routeKey(method, path), std::move(handler));
}

void FakeModelServer::enqueueReply(const QByteArray& method, const QString& path, const FakeModelReply& reply)
{
    m_queued[routeKey(method, path)].append(reply);
}

void FakeModelServer::serveModels(const QStringList& models, const QString& answer)
{
    QJsonArray list;
    for (const QString& name : models) {
        list.append(QJsonObject{{QStringLiteral("name"), name},
                                {QStringLiteral("size"), 4920753328.0},
                                {QStringLiteral("details"), QJsonObject{{QStringLiteral("family"), QStringLiteral("llama")},
                                                                         {QStringLiteral("parameter_size"), QStringLiteral("8.0B")}}}});
    }
    setReply("GET", QStringLiteral("/api/tags"), FakeModelReply::json({{QStringLiteral("models"), list}}));

    // Words with the blank that follows them, as a model streams them.
    QStringList words;
    const QStringList split = answer.split(QLatin1Char(' '));
    for (qsizetype i = 0; i < split.size(); ++i) {
        words.append(i + 1 < split.size() ? split[i] + QLatin1Char(' ') : split[i]);
    }
    const auto answerReply = [answer, words](bool chat, const RecordedRequest& request) {
        const QString model = request.json().value(QStringLiteral("model")).toString();
        const auto line = [chat, model](const QString& piece, bool done) {
            QJsonObject object{{QStringLiteral("model"), model}, {QStringLiteral("done"), done}};
            if (chat) {
                object.insert(QStringLiteral("message"), QJsonObject{{QStringLiteral("role"), QStringLiteral("assistant")},
                                                                     {QStringLiteral("content"), piece}});
            } else {
                object.insert(QStringLiteral("response"), piece);
            }
            return object;
        };
        if (!request.json().value(QStringLiteral("stream")).toBool(true)) {
            return FakeModelReply::json(line(answer, true));
        }
        QList<QJsonObject> lines;
        for (const QString& word : words) {
            lines.append(line(word, false));
        }
        lines.append(line(QString(), true));
        return FakeModelReply::lines(lines);
    };
    setHandler("POST", QStringLiteral("/api/generate"),
               [answerReply](const RecordedRequest& request) { return answerReply(false, request); });
    setHandler("POST", QStringLiteral("/api/chat"),
               [answerReply](const RecordedRequest& request) { return answerReply(true, request); });
    setReply("POST", QStringLiteral("/api/pull"),
             FakeModelReply::lines(QList<QJsonObject>{
                 {{QStringLiteral("status"), QStringLiteral("pulling manifest")}},
                 {{QStringLiteral("status"), QStringLiteral("pulling 8eeb52dfb3bb")},
                  {QStringLiteral("total"), 1000},
                  {QStringLiteral("completed"), 500}},
                 {{QStringLiteral("status"), QStringLiteral("pulling 8eeb52dfb3bb")},
                  {QStringLiteral("total"), 1000},
                  {QStringLiteral("completed"), 1000}},
                 {{QStringLiteral("status"), QStringLiteral("success")}}}));
}

void FakeModelServer::onNewConnection()
{
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        new Connection(this, socket);
    }
}

FakeModelReply FakeModelServer::replyFor(const RecordedRequest& request)
{
    const QString key = routeKey(request.method, request.path);
    auto queued = m_queued.find(key);
    if (queued != m_queued.end() && !queued->isEmpty()) {
        return queued->takeFirst();
    }
    const auto handler = m_handlers.constFind(key);
    if (handler != m_handlers.cend()) {
        return (*handler)(request);
    }
    return FakeModelReply::text(404, QByteArrayLiteral("404 page not found"));
}

} // namespace tovarine::test
