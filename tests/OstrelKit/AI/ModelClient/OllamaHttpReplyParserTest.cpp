#include "OllamaHttpReplyParser.h"

#include <gtest/gtest.h>

using namespace ostrel;
using State = OllamaHttpReplyParser::State;

namespace {

struct Read
{
    State state;
    int status;
    QByteArray body;
    QString failure;
};

// What the parser makes of `stream` fed in pieces of `pieceBytes` (the connection stays open afterwards).
Read readAll(const QByteArray& stream, qsizetype pieceBytes)
{
    OllamaHttpReplyParser parser;
    QByteArray body;
    const OllamaHttpReplyParser::Sink sink{[](int) { return true; },
                                           [&body](QByteArrayView bytes) {
                                               body.append(bytes.data(), bytes.size());
                                               return true;
                                           }};
    for (qsizetype offset = 0; offset < stream.size() && parser.state() != State::failed;
         offset += pieceBytes) {
        parser.feed(QByteArrayView(stream).sliced(offset, std::min(pieceBytes, stream.size() - offset)), sink);
    }
    return {parser.state(), parser.status(), body, parser.failure()};
}

QByteArray repeated(const QByteArray& piece, qsizetype totalBytes)
{
    QByteArray out;
    while (out.size() < totalBytes) {
        out += piece;
    }
    return out;
}

const QByteArray kChunkedHead = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";

struct Case
{
    const char* name;
    QByteArray stream;
    State state;
    QByteArray body;   // complete replies
    QString failure;   // failed replies
};

} // namespace

// Rare but legal replies are read as the server meant them; a reply whose heads, trailer or chunk
// extensions pass the one budget fails at once with a text that names what was too long, however it is cut.
TEST(OllamaHttpReplyParser, LegalRaritiesAreReadAndEndlessMetadataFailsAtTheBudget)
{
    const QString invalid = QStringLiteral("The server's reply is not valid HTTP");
    const QList<Case> cases{
        {"chunk sizes with leading zeros",
         kChunkedHead + "0000000000000000005\r\nhello\r\n00000000000000000000000000\r\n\r\n", State::complete,
         "hello", {}},
        {"chunk extensions",
         kChunkedHead + "5;name=\"a;b\"\r\nhello\r\n3 ; x\r\n!!!\r\n0;last\r\n\r\n", State::complete,
         "hello!!!", {}},
        {"a chunk size past 62 bits", kChunkedHead + "1000000000000000\r\n", State::failed, {}, invalid},
        {"a content length with leading zeros", "HTTP/1.1 200 OK\r\nContent-Length: 00000000000000000005\r\n\r\nhello",
         State::complete, "hello", {}},
        {"a folded header before the length",
         "HTTP/1.1 200 OK\r\nX-Note: one\r\n\ttwo\r\n  three\r\nContent-Length: 2\r\n\r\nok", State::complete,
         "ok", {}},
        {"a folded transfer encoding",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip,\r\n chunked\r\n\r\n2\r\nok\r\n0\r\n\r\n", State::complete,
         "ok", {}},
        {"a folded content length", "HTTP/1.1 200 OK\r\nContent-Length:\r\n 2\r\n\r\nok", State::complete, "ok",
         {}},
        {"a continuation with no field before it", "HTTP/1.1 200 OK\r\n folded: x\r\n\r\n", State::failed, {},
         invalid},
        {"a few interim replies", "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 103 Early Hints\r\nLink: </a>\r\n\r\n"
                                  "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok",
         State::complete, "ok", {}},
        {"endless interim replies", repeated("HTTP/1.1 100 Continue\r\n\r\n", 80 * 1024), State::failed, {},
         QStringLiteral("The server's interim replies are longer than 64 KiB")},
        {"a trailer", kChunkedHead + "2\r\nok\r\n0\r\nX-Checksum: 1\r\nX-Other: 2\r\n\r\n", State::complete,
         "ok", {}},
        {"endless trailer lines", kChunkedHead + "2\r\nok\r\n0\r\n" + repeated("X-Pad: 0123456789\r\n", 80 * 1024),
         State::failed, {}, QStringLiteral("The server's reply trailer is longer than 64 KiB")},
        {"one endless trailer line", kChunkedHead + "0\r\nX-Pad: " + QByteArray(80 * 1024, 'p'), State::failed, {},
         QStringLiteral("The server's reply trailer is longer than 64 KiB")},
        {"endless one-byte chunks with long extensions",
         kChunkedHead + repeated("1;" + QByteArray(4000, 'e') + "\r\nx\r\n", 80 * 1024), State::failed, {},
         QStringLiteral("The server's chunk extensions are longer than 64 KiB")},
    };
    for (const Case& c : cases) {
        for (const qsizetype pieceBytes : {qsizetype(1), qsizetype(7), c.stream.size()}) {
            const Read read = readAll(c.stream, pieceBytes);
            EXPECT_EQ(read.state, c.state) << c.name << ", pieces of " << pieceBytes;
            if (c.state == State::complete) {
                EXPECT_EQ(read.status, 200) << c.name;
                EXPECT_EQ(read.body, c.body) << c.name << ", pieces of " << pieceBytes;
            } else {
                EXPECT_EQ(read.failure, c.failure) << c.name << ", pieces of " << pieceBytes;
            }
        }
    }
}
