#pragma once

#include "OllamaError.h"
#include "OllamaHttpReplyParser.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>
#include <QUrl>
#include <functional>

class QAbstractSocket;

namespace ostrel {

// One HTTP/1.1 request and its reply, on a connection of its own that carries nothing else and is closed
// afterwards ("Connection: close"). The request is written exactly once: a connection that closes, resets
// or answers with something that is not HTTP ends the exchange with a failure that says so; nothing is
// sent again. Never goes through a proxy.
//
// Memory: the socket's read buffer is small (kReadBufferBytes) and the reply is read from it only as fast as
// the sinks take it, so what the exchange holds stays bounded however fast the server writes; the sinks
// decide what they keep and may stop the exchange at any byte.
//
// Thread contract: the thread that creates it. It deletes itself (later, from the event loop) once it has
// ended; cancel() ends it without running any handler. Handlers may call cancel() on it, and may destroy
// anything they like: the exchange stays alive until control is back in the event loop.
class OllamaHttpExchange : public QObject
{
    Q_OBJECT
public:
    // The most bytes taken from the connection at a time, and the socket's read buffer.
    static constexpr qint64 kReadBufferBytes = 64 * 1024;

    struct Request
    {
        QByteArray method; // "GET", "POST"
        QUrl url;          // http or https, with a host
        QByteArray body;   // sent with Content-Length when the method is not GET
        bool jsonBody = false;
        int idleTimeoutMs = 60000; // fails when nothing moves for this long
        // > 0: fails when the reply is not read in whole this long after its first byte, however steadily
        // the bytes come (a reply trickled without end ends too).
        int wholeReplyMs = 0;
    };

    struct Handlers
    {
        // The final head's status; false stops the exchange (no further handler runs).
        std::function<bool(int status)> onHead;
        // Each piece of the body in order; false stops the exchange.
        std::function<bool(QByteArrayView bytes)> onBody;
        // The whole body was read.
        std::function<void()> onComplete;
        // The exchange failed: transport errors (connection refused, closed, reset, time-out, not HTTP).
        std::function<void(const OllamaError& failure)> onFailure;
    };

    // Starts connecting at once. Ends exactly once through onComplete or onFailure, unless a handler
    // returned false or cancel() was called first.
    static OllamaHttpExchange* start(const Request& request, Handlers handlers);

    // Ends the exchange now without any further handler; closes the connection.
    void cancel();

private:
    OllamaHttpExchange(Request request, Handlers handlers);

    void connectSocket();
    void onConnected();
    void onReadyRead();
    void onSocketEnded();
    void onIdleTimeout();
    void finish();
    void failWith(const OllamaError& failure);
    bool drain();

    Request m_request;
    Handlers m_handlers;
    QAbstractSocket* m_socket = nullptr;
    QTimer m_idle;
    QTimer m_wholeReply;
    OllamaHttpReplyParser m_parser;
    bool m_ended = false;
};

} // namespace ostrel
