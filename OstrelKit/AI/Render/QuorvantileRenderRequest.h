#pragma once

#include "QuorvantileRenderJob.h"

#include <QByteArray>
#include <QByteArrayView>
#include <optional>

namespace ostrel {

// One answer of the render server: a status code and a JSON body.
struct QuorvantileHttpAnswer
{
    int status = 200;
    QByteArray body;

    // "HTTP/1.1 <code> <reason>" with Content-Type, Content-Length and Connection: close, then the body.
    QByteArray toBytes() const;
    bool operator==(const QuorvantileHttpAnswer&) const = default;
};

// Collects one HTTP request from the bytes of one connection: the request line and headers up to the blank
// line, then as many body bytes as Content-Length says. The whole request may hold at most kMaxRequestBytes.
// Pure; one per connection; any thread.
class QuorvantileRenderRequestReader
{
public:
    static constexpr qsizetype kMaxRequestBytes = 64 * 1024;

    enum class State {
        reading,  // more bytes are expected
        complete, // request() holds the whole request
        failed,   // failure() holds the answer to send
    };

    // Adds received bytes; bytes after a complete request are ignored (one request per connection).
    State feed(QByteArrayView bytes);
    State state() const { return m_state; }
    // The bytes received up to the end of the request (or all so far while reading).
    const QByteArray& request() const { return m_bytes; }
    const std::optional<QuorvantileHttpAnswer>& failure() const { return m_failure; }

private:
    State fail(int status, const char* body);

    QByteArray m_bytes;
    State m_state = State::reading;
    qsizetype m_expectedSize = -1; // whole request, known once the headers are in
    std::optional<QuorvantileHttpAnswer> m_failure;
};

// What one request asks of the render server.
struct QuorvantileRenderRoute
{
    enum class Kind {
        answer, // send `answer` as it stands
        submit, // start `job`, answer 202
        status, // answer the progress of `jobID` or 404
        cancel, // stop `jobID` when it is known, answer 200
    };
    Kind kind = Kind::answer;
    QuorvantileHttpAnswer answer;
    std::optional<QuorvantileRenderJob> job;
    std::optional<QUuid> jobID;
};

// Routes the raw bytes of one request (which need not be complete: a request cut short gets "no body" or
// "invalid job JSON"). Bytes that are not UTF-8 are an empty request. Pure; any thread.
QuorvantileRenderRoute quorvantileRouteRenderRequest(const QByteArray& raw);

} // namespace ostrel
