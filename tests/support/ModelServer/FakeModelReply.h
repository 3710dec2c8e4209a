#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>

namespace tovarine::test {

// One scripted answer of the fake model server: status, headers, the body in the pieces it is written in,
// and how the connection ends. Plain value.
struct FakeModelReply
{
    enum class Ending {
        close, // the whole body, then the connection closes
        stall, // the pieces, then nothing more while the connection stays open
        reset, // the pieces, then the connection is reset (RST)
    };

    int status = 200;
    QByteArray contentType = QByteArrayLiteral("application/json; charset=utf-8");
    QList<QByteArray> pieces; // written one by one, each flushed on its own; cutting anywhere splits lines there
    bool chunked = false;     // Transfer-Encoding: chunked (one HTTP chunk per piece); otherwise Content-Length
    bool notHttp = false;     // the pieces alone, with no status line or headers
    int headerDelayMs = 0;    // wait before the status line
    int pieceDelayMs = 0;     // wait before each piece after the first
    Ending ending = Ending::close;

    // Status 200 (or `status`) with the object as the whole body.
    static FakeModelReply json(const QJsonObject& body, int status = 200);
    // Any status with a body of plain text.
    static FakeModelReply text(int status, const QByteArray& body);
    // A chunked NDJSON stream: one piece per line, each with its line feed (the last one without when
    // `finalLineFeed` is false).
    static FakeModelReply lines(const QList<QByteArray>& lines, bool finalLineFeed = true);
    static FakeModelReply lines(const QList<QJsonObject>& lines, bool finalLineFeed = true);

    // The whole body as one byte string.
    QByteArray body() const;
    // Re-cuts the body into pieces of `bytes` (the last may be shorter).
    FakeModelReply& splitEvery(qsizetype bytes);
};

} // namespace tovarine::test
