#pragma once

#include "QuorvantileLocalModel.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <functional>
#include <memory>

// A loopback HTTP responder that answers every request with bytes the test scripts: a whole reply, or pieces sent
// one turn apart, optionally cut off without the end of the body. It records the last request.
class ScriptedHttp : public QObject
{
public:
    struct Reply
    {
        QList<QByteArray> pieces; // sent in order; the first holds the status line and headers
        bool cutOff = false;      // close the connection after the pieces, without ending the body
    };

    explicit ScriptedHttp(const QHostAddress& address = QHostAddress(QStringLiteral("127.0.0.3")), quint16 port = 0)
    {
        m_server.listen(address, port);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                auto buffer = std::make_shared<QByteArray>();
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer] {
                    *buffer += socket->readAll();
                    const qsizetype headerEnd = buffer->indexOf("\r\n\r\n");
                    if (headerEnd < 0) {
                        return;
                    }
                    const QByteArray head = buffer->left(headerEnd).toLower();
                    const qsizetype lengthAt = head.indexOf("content-length:");
                    const qsizetype length =
                        lengthAt < 0 ? 0 : head.mid(lengthAt + 15, head.indexOf("\r\n", lengthAt) - lengthAt - 15).trimmed().toLongLong();
                    if (buffer->size() < headerEnd + 4 + length) {
                        return;
                    }
                    lastPath = QString::fromLatin1(buffer->left(buffer->indexOf("\r\n")).split(' ').value(1));
                    lastBody = buffer->mid(headerEnd + 4, length);
                    ++requests;
                    send(socket, replies.value(lastPath, reply).pieces, 0);
                });
            }
        });
    }

    static Reply json(int status, const QByteArray& body)
    {
        return {{"HTTP/1.1 " + QByteArray::number(status) + " X\r\nContent-Type: application/json\r\nContent-Length: " +
                 QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body},
                false};
    }
    // A chunked stream of lines, each piece one chunk.
    static Reply stream(const QList<QByteArray>& lines, bool cutOff = false, int status = 200)
    {
        Reply r{{"HTTP/1.1 " + QByteArray::number(status) +
                 " X\r\nContent-Type: application/x-ndjson\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n"},
                cutOff};
        for (const QByteArray& line : lines) {
            const QByteArray data = line + "\n";
            r.pieces.append(QByteArray::number(data.size(), 16) + "\r\n" + data + "\r\n");
        }
        if (!cutOff) {
            r.pieces.append("0\r\n\r\n");
        }
        return r;
    }

    quint16 port() const { return m_server.serverPort(); }
    QString host() const { return m_server.serverAddress().toString(); }

    Reply reply;                  // for any path without its own
    QMap<QString, Reply> replies; // by path
    QString lastPath;
    QByteArray lastBody;
    int requests = 0;

private:
    void send(QTcpSocket* socket, QList<QByteArray> pieces, int index)
    {
        if (index >= pieces.size()) {
            socket->disconnectFromHost();
            return;
        }
        socket->write(pieces.at(index));
        socket->flush();
        QTimer::singleShot(5, socket, [this, socket, pieces, index] { send(socket, pieces, index + 1); });
    }

    QTcpServer m_server;
};

// This machine's model client as the mesh sees it, answering from memory.
class FakeLocalModel : public ostrel::QuorvantileLocalModel
{
public:
    QString baseURL() const override { return QStringLiteral("http://localhost:11434"); }
    QString preferredModel() const override { return preferred; }
    QStringList availableModels() const override { return installed; }
    void listModels(std::function<void(const QStringList&)> done) override
    {
        QTimer::singleShot(listDelayMs, [this, done] { done(installed); });
    }
    void call(const ostrel::QuorvantileModelCall& call, ostrel::QuorvantileTokenHandler onToken,
              ostrel::QuorvantileCallDone done) override
    {
        ++calls;
        lastCall = call;
        QTimer::singleShot(0, [call, onToken, done, this] {
            if (!error.isEmpty()) {
                done(ostrel::QuorvantileCallResult::failure(error));
                return;
            }
            if (call.isStream() && onToken) {
                onToken(QStringLiteral("local "));
                onToken(QStringLiteral("answer"));
            }
            done(ostrel::QuorvantileCallResult::success(QStringLiteral("local answer")));
        });
    }

    QString preferred = QStringLiteral("llama3.1:8b");
    QStringList installed{QStringLiteral("llama3.1:8b")};
    QString error;
    int listDelayMs = 0;
    int calls = 0;
    ostrel::QuorvantileModelCall lastCall;
};
