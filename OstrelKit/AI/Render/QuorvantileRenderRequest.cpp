#include "QuorvantileRenderRequest.h"

#include "QuorvantileManifest.h"

#include <QStringDecoder>
#include <charconv>

namespace ostrel {

namespace {

constexpr QByteArrayView kBlankLine("\r\n\r\n");

QuorvantileHttpAnswer answer(int status, const char* body)
{
    return {status, QByteArray(body)};
}

const char* reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 202:
        return "Accepted";
    case 400:
        return "Bad Request";
    case 404:
        return "Not Found";
    case 413:
        return "Payload Too Large";
    case 503:
        return "Service Unavailable";
    default:
        return "Unknown";
    }
}

// The value of the Content-Length header in the header block `head`: no value when there is none, -1 when it
// is malformed (not a plain decimal, or two different values).
std::optional<qint64> contentLength(QByteArrayView head)
{
    std::optional<qint64> length;
    qsizetype lineStart = head.indexOf(QByteArrayView("\r\n"));
    while (lineStart >= 0 && lineStart < head.size()) {
        lineStart += 2;
        qsizetype lineEnd = head.indexOf(QByteArrayView("\r\n"), lineStart);
        if (lineEnd < 0) {
            lineEnd = head.size();
        }
        const QByteArrayView line = head.sliced(lineStart, lineEnd - lineStart);
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.first(colon).trimmed().compare("content-length", Qt::CaseInsensitive) == 0) {
            const QByteArrayView value = line.sliced(colon + 1).trimmed();
            qint64 parsed = -1;
            const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), parsed);
            if (value.isEmpty() || ec != std::errc() || end != value.data() + value.size() || parsed < 0 ||
                (length && *length != parsed)) {
                return -1;
            }
            length = parsed;
        }
        lineStart = lineEnd;
    }
    return length;
}

} // namespace

QByteArray QuorvantileHttpAnswer::toBytes() const
{
    QByteArray bytes =
        "HTTP/1.1 " + QByteArray::number(status) + ' ' + reasonPhrase(status) +
        "\r\nContent-Type: application/json\r\nContent-Length: " + QByteArray::number(body.size()) +
        "\r\nConnection: close\r\n\r\n";
    bytes += body;
    return bytes;
}

QuorvantileRenderRequestReader::State QuorvantileRenderRequestReader::feed(QByteArrayView bytes)
{
    if (m_state != State::reading) {
        return m_state;
    }
    if (m_expectedSize < 0) {
        const qsizetype searchFrom = std::max<qsizetype>(m_bytes.size() - 3, 0);
        m_bytes.append(bytes.first(std::min(bytes.size(), kMaxRequestBytes + 1 - m_bytes.size())));
        const qsizetype blank = m_bytes.indexOf(kBlankLine, searchFrom);
        if (blank < 0) {
            return m_bytes.size() > kMaxRequestBytes ? fail(413, R"({"error":"request too large"})")
                                                     : m_state;
        }
        const qsizetype headEnd = blank + kBlankLine.size();
        const auto length = contentLength(QByteArrayView(m_bytes).first(blank));
        if (length && *length < 0) {
            return fail(400, R"({"error":"malformed request"})");
        }
        if (length.value_or(0) > kMaxRequestBytes - headEnd) {
            return fail(413, R"({"error":"request too large"})");
        }
        m_expectedSize = headEnd + length.value_or(0);
    } else {
        m_bytes.append(bytes.first(std::min(bytes.size(), m_expectedSize - m_bytes.size())));
    }
    if (m_bytes.size() >= m_expectedSize) {
        m_bytes.truncate(m_expectedSize);
        m_state = State::complete;
    }
    return m_state;
}

QuorvantileRenderRequestReader::State QuorvantileRenderRequestReader::fail(int status, const char* body)
{
    m_failure = answer(status, body);
    m_state = State::failed;
    return m_state;
}

QuorvantileRenderRoute quorvantileRouteRenderRequest(const QByteArray& raw)
{
    QuorvantileRenderRoute route;
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(raw);
    if (decoder.hasError()) {
        text.clear();
    }
    const QStringList lines = text.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    if (lines.isEmpty()) {
        route.answer = answer(400, R"({"error":"empty request"})");
        return route;
    }
    const QStringList words = lines.first().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.size() < 2) {
        route.answer = answer(400, R"({"error":"malformed request"})");
        return route;
    }
    const QString& method = words[0];
    const QString& path = words[1];
    const QString prefix = QStringLiteral("/render/");
    if (method == QLatin1String("POST") && path == QLatin1String("/render/submit")) {
        const qsizetype blank = raw.indexOf(kBlankLine);
        if (blank < 0) {
            route.answer = answer(400, R"({"error":"no body"})");
            return route;
        }
        route.job = QuorvantileRenderJob::fromJsonBytes(raw.sliced(blank + kBlankLine.size()));
        if (!route.job) {
            route.answer = answer(400, R"({"error":"invalid job JSON"})");
            return route;
        }
        route.kind = QuorvantileRenderRoute::Kind::submit;
        route.jobID = route.job->jobID();
        return route;
    }
    if (method == QLatin1String("GET") && path.startsWith(prefix) &&
        path.endsWith(QLatin1String("/status"))) {
        QString id = path;
        id.remove(prefix).remove(QStringLiteral("/status"));
        route.jobID = quorvantileUuidFromText(id);
        if (!route.jobID) {
            route.answer = answer(404, R"({"error":"job not found"})");
            return route;
        }
        route.kind = QuorvantileRenderRoute::Kind::status;
        return route;
    }
    if (method == QLatin1String("POST") && path.startsWith(prefix) &&
        path.endsWith(QLatin1String("/cancel"))) {
        QString id = path;
        id.remove(prefix).remove(QStringLiteral("/cancel"));
        route.jobID = quorvantileUuidFromText(id);
        route.kind = QuorvantileRenderRoute::Kind::cancel;
        route.answer = answer(200, R"({"status":"cancelled"})");
        return route;
    }
    route.answer = answer(404, R"({"error":"not found"})");
    return route;
}

} // namespace ostrel
