#pragma once

#include <QByteArray>
#include <QString>
#include <atomic>
#include <thread>
#include <vector>

namespace tovarine::test {

// A hostile HTTP server for memory tests: on threads of its own (so the event loop under test is only the
// client's; one per connection, so many clients are flooded at once), it answers every request with an
// endless reply written as fast as the connection takes it, until the client goes away. Listens on a
// loopback address.
class FloodServer
{
public:
    enum class Body {
        oneLine,    // one line that never ends: no line break at all
        shortLines, // a line feed every 64 bytes: {"response":"xxxx...","done":false}
        pieceless,  // lines of 1 KiB that carry no piece of text: {"keep":"xxxx..."}
        trailer,    // a status 200 chunked body "{}", its last chunk, then trailer lines without end
        interimHeads, // "HTTP/1.1 100 Continue" interim heads without end
        unasked,      // bytes without end from the moment the connection is accepted, no request awaited
    };

    // Listens on `address` (127.0.0.x) at a free port, or at `port`.
    explicit FloodServer(Body body, const char* address = "127.0.0.1", quint16 port = 0);
    ~FloodServer();
    FloodServer(const FloodServer&) = delete;
    FloodServer& operator=(const FloodServer&) = delete;

    bool listening() const { return m_listenFd >= 0; }
    quint16 port() const { return m_port; }
    // "http://<address>:<port>".
    QString baseUrl() const;
    // Requests received (a request head read in whole; for unasked, connections) and bytes written so far.
    int requests() const { return m_requests.load(); }
    qint64 bytesSent() const { return m_bytesSent.load(); }

private:
    void run();
    void serve(int fd);

    QByteArray m_address;
    Body m_body;
    int m_listenFd = -1;
    quint16 m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_requests{0};
    std::atomic<qint64> m_bytesSent{0};
    std::thread m_thread;
    std::vector<std::thread> m_connections; // touched by m_thread only, joined after it
};

// The peak resident memory of this process so far, in bytes.
qint64 peakResidentBytes();

} // namespace tovarine::test
