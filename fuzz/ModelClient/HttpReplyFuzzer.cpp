// Server replies as they come off the connection: the bytes are cut into pieces (the first byte picks the
// piece size) and read by the HTTP reply parser, then the connection is closed. The parser must never hold
// more than its head cap plus one piece, and the body it hands on, joined, is what a whole read gives.
#include "OllamaHttpReplyParser.h"

#include <cstddef>
#include <cstdint>

namespace {

struct Read
{
    ostrel::OllamaHttpReplyParser::State state;
    int status;
    QByteArray body;
};

Read readAll(const QByteArray& stream, qsizetype pieceBytes)
{
    ostrel::OllamaHttpReplyParser parser;
    QByteArray body;
    const ostrel::OllamaHttpReplyParser::Sink sink{[](int status) { return status >= 100 && status <= 999; },
                                                   [&body](QByteArrayView bytes) {
                                                       body.append(bytes.data(), bytes.size());
                                                       return true;
                                                   }};
    for (qsizetype offset = 0; offset < stream.size(); offset += pieceBytes) {
        parser.feed(QByteArrayView(stream.constData() + offset, std::min(pieceBytes, stream.size() - offset)),
                    sink);
    }
    parser.close();
    if (parser.state() == ostrel::OllamaHttpReplyParser::State::failed && parser.failure().isEmpty()) {
        __builtin_trap(); // every failure says why
    }
    return {parser.state(), parser.status(), body};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) {
        return 0;
    }
    const qsizetype pieceBytes = 1 + data[0] % 64;
    const QByteArray stream(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1));
    const Read pieces = readAll(stream, pieceBytes);
    const Read whole = readAll(stream, std::max<qsizetype>(1, stream.size()));
    // How the bytes were cut must not change what was read.
    if (pieces.state != whole.state || pieces.status != whole.status || pieces.body != whole.body) {
        __builtin_trap();
    }
    return 0;
}
