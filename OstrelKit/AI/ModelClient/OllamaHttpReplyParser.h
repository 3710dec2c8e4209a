#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <functional>

namespace ostrel {

// Reads one HTTP/1.x reply as it arrives in pieces of any size: the status line and headers (interim 1xx
// replies skipped), then the body as Content-Length bytes, chunks, or everything up to the end of the
// connection. The body is handed on piece by piece as it arrives, never gathered, so the parser holds at
// most one head (kMaxHeadBytes) or one chunk-size line plus the piece being fed. Plain value; one thread.
//
// Everything of a reply that is not body counts against one budget of kMaxHeadBytes: every head (interim
// ones included), the trailer after the last chunk, and what chunk-size lines carry beyond a plain size
// (leading zeros past 16 digits, extensions). A server that sends endless interim heads, trailer lines or
// chunk extensions therefore fails the reply at once, however fast or slowly it sends them. Legal rarities
// are read: chunk sizes with any number of leading zeros, chunk extensions, and header lines continued on
// the next line (obsolete folding, joined with one space).
class OllamaHttpReplyParser
{
public:
    // Largest sum of heads, trailer and chunk-size extras of one reply; largest chunk-size line.
    static constexpr qsizetype kMaxHeadBytes = 64 * 1024;
    static constexpr qsizetype kMaxChunkLineBytes = 4 * 1024;

    enum class State {
        head,     // waiting for (more of) the head
        body,     // the head was read; waiting for (more of) the body
        complete, // the whole reply was read
        failed,   // the bytes are not an HTTP reply, or the connection ended too early: see failure()
        stopped,  // a sink said stop
    };

    // `onHead` gets the status of the final head, `onBody` each body piece in order; either returns false
    // to stop reading (the parser then takes no more bytes).
    struct Sink
    {
        std::function<bool(int status)> onHead;
        std::function<bool(QByteArrayView bytes)> onBody;
    };

    // Takes the next bytes of the connection. Bytes after a complete reply are ignored.
    State feed(QByteArrayView bytes, const Sink& sink);
    // The connection ended (closed or reset) after the bytes fed so far: complete for a body that runs to
    // the end of the connection, failed when the reply was not finished.
    State close();

    State state() const { return m_state; }
    // The status of the final head once it was read, else 0.
    int status() const { return m_status; }
    // Why the reply failed, for users: "Connection closed before the server replied", "The server's
    // reply is not HTTP", ... Empty unless failed().
    QString failure() const { return m_failure; }
    // True when a failure is the connection ending early (as opposed to bytes that are not HTTP).
    bool closedEarly() const { return m_closedEarly; }

private:
    enum class Body { none, length, chunkSize, chunkData, chunkDataEnd, trailer, untilClose };

    void fail(const QString& why, bool closedEarly = false);
    bool readHead(const Sink& sink);
    bool parseHead(QByteArrayView head);
    bool readBody(const Sink& sink);
    // One line ended by "\n" (an optional "\r" before it dropped) taken from the front of m_pending, or
    // false when no complete line is there yet (failing with `tooLong` when the line and its ending grow
    // past `maxBytes`). `consumed` gets the line's length with its ending.
    bool takeLine(qsizetype maxBytes, const QString& tooLong, QByteArray& line, qsizetype& consumed);
    // The part of the budget for heads, trailer and chunk-size extras not used yet.
    qsizetype metaLeft() const { return kMaxHeadBytes - m_metaBytes; }
    bool deliver(qsizetype count, const Sink& sink);

    State m_state = State::head;
    Body m_body = Body::none;
    QByteArray m_pending;       // bytes fed and not yet consumed
    qsizetype m_readOffset = 0; // consumed bytes at the front of m_pending
    qint64 m_remaining = 0;     // bytes left of the body (length) or of the current chunk
    int m_status = 0;
    bool m_chunked = false;
    qint64 m_contentLength = -1;
    bool m_anyByte = false;
    qsizetype m_metaBytes = 0; // heads, trailer and chunk-size extras read so far
    qsizetype m_headScanned = 0; // unread bytes already searched for the end of the head
    int m_interimHeads = 0;
    QString m_failure;
    bool m_closedEarly = false;
};

} // namespace ostrel
