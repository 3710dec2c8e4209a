#include "OllamaHttpExchange.h"

#include <QNetworkProxy>
#include <QTcpSocket>
#include <utility>
#if QT_CONFIG(ssl)
#include <QSslSocket>
#endif

namespace ostrel {

namespace {

QNetworkReply::NetworkError networkError(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return QNetworkReply::ConnectionRefusedError;
    case QAbstractSocket::RemoteHostClosedError:
        return QNetworkReply::RemoteHostClosedError;
    case QAbstractSocket::HostNotFoundError:
        return QNetworkReply::HostNotFoundError;
    case QAbstractSocket::SocketTimeoutError:
        return QNetworkReply::TimeoutError;
    case QAbstractSocket::SslHandshakeFailedError:
        return QNetworkReply::SslHandshakeFailedError;
    default:
        return QNetworkReply::UnknownNetworkError;
    }
}

// The request head: the path and query as the URL has them, Host without an IPv6 zone.
QByteArray requestHead(const OllamaHttpExchange::Request& request)
{
    const QUrl& url = request.url;
    QByteArray target = url.path(QUrl::FullyEncoded).toUtf8();
    if (target.isEmpty()) {
        target = "/";
    }
    if (url.hasQuery()) {
        target += '?' + url.query(QUrl::FullyEncoded).toUtf8();
    }
    QString host = url.host(QUrl::FullyEncoded);
    if (host.contains(QLatin1Char(':'))) {
        host = QLatin1Char('[') + host.section(QLatin1Char('%'), 0, 0) + QLatin1Char(']');
    }
    if (url.port() >= 0) {
        host += QLatin1Char(':') + QString::number(url.port());
    }
    QByteArray head = request.method + ' ' + target + " HTTP/1.1\r\nHost: " + host.toUtf8() +
                      "\r\nConnection: close\r\nAccept: */*\r\n";
    if (request.jsonBody) {
        head += "Content-Type: application/json\r\n";
    }
    if (request.method != "GET") {
        head += "Content-Length: " + QByteArray::number(request.body.size()) + "\r\n";
    }
    return head + "\r\n";
}

} // namespace

OllamaHttpExchange::OllamaHttpExchange(Request request, Handlers handlers)
    : m_request(std::move(request)), m_handlers(std::move(handlers))
{
    m_idle.setSingleShot(true);
    m_idle.setInterval(m_request.idleTimeoutMs);
    connect(&m_idle, &QTimer::timeout, this, &OllamaHttpExchange::onIdleTimeout);
    m_wholeReply.setSingleShot(true);
    m_wholeReply.setInterval(m_request.wholeReplyMs);
    connect(&m_wholeReply, &QTimer::timeout, this, &OllamaHttpExchange::onIdleTimeout);
}

OllamaHttpExchange* OllamaHttpExchange::start(const Request& request, Handlers handlers)
{
    auto* exchange = new OllamaHttpExchange(request, std::move(handlers));
    exchange->connectSocket();
    return exchange;
}

void OllamaHttpExchange::connectSocket()
{
    const bool tls = m_request.url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0;
    const QString host = m_request.url.host();
    const quint16 port = static_cast<quint16>(m_request.url.port(tls ? 443 : 80));
#if QT_CONFIG(ssl)
    if (tls) {
        auto* socket = new QSslSocket(this);
        m_socket = socket;
        connect(socket, &QSslSocket::encrypted, this, &OllamaHttpExchange::onConnected);
    }
#endif
    if (!m_socket) {
        m_socket = new QTcpSocket(this);
        connect(m_socket, &QAbstractSocket::connected, this, &OllamaHttpExchange::onConnected);
    }
    m_socket->setProxy(QNetworkProxy::NoProxy);
    m_socket->setReadBufferSize(kReadBufferBytes);
    connect(m_socket, &QAbstractSocket::readyRead, this, &OllamaHttpExchange::onReadyRead);
    connect(m_socket, &QAbstractSocket::bytesWritten, this, [this] { m_idle.start(); });
    connect(m_socket, &QAbstractSocket::disconnected, this, &OllamaHttpExchange::onSocketEnded);
    connect(m_socket, &QAbstractSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        if (error == QAbstractSocket::RemoteHostClosedError) {
            onSocketEnded();
            return;
        }
        if (m_ended) {
            return;
        }
        // Bytes that came before the error still count: a reply may be complete.
        if (!drain()) {
            return;
        }
        failWith(OllamaError::transport(networkError(error), m_socket->errorString()));
    });
    m_idle.start();
#if QT_CONFIG(ssl)
    if (tls) {
        static_cast<QSslSocket*>(m_socket)->connectToHostEncrypted(host, port);
        return;
    }
#else
    if (tls) {
        // Reported from the event loop, like every other ending.
        QMetaObject::invokeMethod(
            this,
            [this] {
                failWith(OllamaError::transport(QNetworkReply::ProtocolUnknownError,
                                                QStringLiteral("HTTPS is not supported")));
            },
            Qt::QueuedConnection);
        return;
    }
#endif
    m_socket->connectToHost(host, port);
}

void OllamaHttpExchange::onConnected()
{
    if (m_ended) {
        return;
    }
    m_idle.start();
    m_socket->write(requestHead(m_request));
    if (m_request.method != "GET") {
        m_socket->write(m_request.body);
    }
}

void OllamaHttpExchange::onReadyRead()
{
    if (m_ended) {
        return;
    }
    m_idle.start();
    if (m_request.wholeReplyMs > 0 && !m_wholeReply.isActive()) {
        m_wholeReply.start(); // the reply's first bytes
    }
    drain();
}

// Feeds what the socket holds through the parser; false once the exchange has ended.
bool OllamaHttpExchange::drain()
{
    const OllamaHttpReplyParser::Sink sink{m_handlers.onHead, m_handlers.onBody};
    while (!m_ended && m_socket->bytesAvailable() > 0) {
        const QByteArray piece = m_socket->read(kReadBufferBytes);
        const OllamaHttpReplyParser::State state = m_parser.feed(piece, sink);
        if (m_ended) {
            return false; // a handler cancelled the exchange
        }
        switch (state) {
        case OllamaHttpReplyParser::State::head:
        case OllamaHttpReplyParser::State::body:
            break;
        case OllamaHttpReplyParser::State::complete:
            finish();
            return false;
        case OllamaHttpReplyParser::State::stopped:
            cancel();
            return false;
        case OllamaHttpReplyParser::State::failed:
            failWith(OllamaError::transport(QNetworkReply::ProtocolFailure, m_parser.failure()));
            return false;
        }
    }
    return !m_ended;
}

void OllamaHttpExchange::onSocketEnded()
{
    if (m_ended || !drain()) {
        return;
    }
    if (m_parser.close() == OllamaHttpReplyParser::State::complete) {
        finish();
        return;
    }
    failWith(OllamaError::transport(m_parser.closedEarly() ? QNetworkReply::RemoteHostClosedError
                                                           : QNetworkReply::ProtocolFailure,
                                    m_parser.failure()));
}

void OllamaHttpExchange::onIdleTimeout()
{
    if (m_ended) {
        return;
    }
    failWith(OllamaError::transport(QNetworkReply::TimeoutError, QStringLiteral("The request timed out.")));
}

void OllamaHttpExchange::finish()
{
    const auto onComplete = m_handlers.onComplete;
    cancel();
    if (onComplete) {
        onComplete();
    }
}

void OllamaHttpExchange::failWith(const OllamaError& failure)
{
    const auto onFailure = m_handlers.onFailure;
    cancel();
    if (onFailure) {
        onFailure(failure);
    }
}

void OllamaHttpExchange::cancel()
{
    if (m_ended) {
        return;
    }
    m_ended = true;
    m_idle.stop();
    m_wholeReply.stop();
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
    }
    m_handlers = {};
    deleteLater();
}

} // namespace ostrel
