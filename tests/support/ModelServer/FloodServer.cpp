#include "FloodServer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tovarine::test {

namespace {

constexpr int kPollMs = 50; // how soon the thread sees the stop flag
constexpr int kChunkBytes = 256 * 1024;

QByteArray repeatedTo(const QByteArray& piece, qsizetype totalBytes)
{
    QByteArray out;
    while (out.size() + piece.size() <= totalBytes) {
        out += piece;
    }
    return out;
}

// What comes first and what is then repeated without end.
struct Reply
{
    QByteArray start;
    QByteArray block;
};

QByteArray chunkPayload(FloodServer::Body body)
{
    QByteArray payload;
    if (body == FloodServer::Body::oneLine) {
        payload = QByteArray("{\"response\":\"");
        payload += QByteArray(kChunkBytes - payload.size(), 'x');
        return payload;
    }
    const QByteArray line = body == FloodServer::Body::pieceless
                                ? QByteArray("{\"keep\":\"") + QByteArray(1013, 'x') + "\"}\n"
                                : QByteArray("{\"response\":\"") + QByteArray(33, 'x') + "\",\"done\":false}\n";
    while (payload.size() + line.size() <= kChunkBytes) {
        payload += line;
    }
    return payload;
}

// Waits until `fd` can be read or written; false when the server stops first.
bool waitFor(int fd, short events, const std::atomic<bool>& stop)
{
    while (!stop.load()) {
        pollfd entry{fd, events, 0};
        const int ready = ::poll(&entry, 1, kPollMs);
        if (ready > 0) {
            return true;
        }
        if (ready < 0 && errno != EINTR) {
            return false;
        }
    }
    return false;
}

} // namespace

FloodServer::FloodServer(Body body, const char* address, quint16 port) : m_address(address), m_body(body)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int yes = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(port);
    ::inet_pton(AF_INET, address, &where.sin_addr);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&where), sizeof(where)) != 0 || ::listen(fd, 128) != 0) {
        ::close(fd);
        return;
    }
    socklen_t length = sizeof(where);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&where), &length);
    m_port = ntohs(where.sin_port);
    m_listenFd = fd;
    m_thread = std::thread([this] { run(); });
}

FloodServer::~FloodServer()
{
    m_stop = true;
    if (m_thread.joinable()) {
        m_thread.join();
    }
    for (std::thread& connection : m_connections) {
        connection.join();
    }
    if (m_listenFd >= 0) {
        ::close(m_listenFd);
    }
}

QString FloodServer::baseUrl() const
{
    return QStringLiteral("http://") + QString::fromLatin1(m_address) + QLatin1Char(':') +
           QString::number(m_port);
}

void FloodServer::run()
{
    while (waitFor(m_listenFd, POLLIN, m_stop)) {
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0) {
            m_connections.emplace_back([this, fd] {
                serve(fd);
                ::close(fd);
            });
        }
    }
}

void FloodServer::serve(int fd)
{
    // The request head (and a body of at most what arrives with it: nothing here reads it).
    QByteArray head;
    while (m_body != Body::unasked && !head.contains("\r\n\r\n")) {
        if (!waitFor(fd, POLLIN, m_stop)) {
            return;
        }
        char buffer[4096];
        const ssize_t count = ::recv(fd, buffer, sizeof(buffer), 0);
        if (count <= 0) {
            return;
        }
        head.append(buffer, count);
    }
    ++m_requests;
    const QByteArray chunkedHead =
        "HTTP/1.1 200 OK\r\nContent-Type: application/x-ndjson\r\nTransfer-Encoding: chunked\r\n\r\n";
    Reply reply;
    switch (m_body) {
    case Body::oneLine:
    case Body::shortLines:
    case Body::pieceless: {
        const QByteArray payload = chunkPayload(m_body);
        reply = {chunkedHead, QByteArray::number(payload.size(), 16) + "\r\n" + payload + "\r\n"};
        break;
    }
    case Body::trailer:
        reply = {chunkedHead + "2\r\n{}\r\n0\r\n",
                 repeatedTo("X-Pad: " + QByteArray(55, 'p') + "\r\n", kChunkBytes)};
        break;
    case Body::interimHeads:
        reply = {{}, repeatedTo("HTTP/1.1 100 Continue\r\n\r\n", kChunkBytes)};
        break;
    case Body::unasked:
        reply = {{}, QByteArray(kChunkBytes, 'x')};
        break;
    }
    QByteArray out = reply.start;
    qsizetype offset = 0;
    for (;;) {
        if (offset == out.size()) {
            out = reply.block;
            offset = 0;
        }
        if (!waitFor(fd, POLLOUT, m_stop)) {
            return;
        }
        const ssize_t sent = ::send(fd, out.constData() + offset, out.size() - offset, MSG_NOSIGNAL);
        if (sent <= 0) {
            return; // the client closed or reset the connection
        }
        offset += sent;
        m_bytesSent += sent;
    }
}

qint64 peakResidentBytes()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<qint64>(usage.ru_maxrss) * 1024; // kilobytes on Linux
}

} // namespace tovarine::test
