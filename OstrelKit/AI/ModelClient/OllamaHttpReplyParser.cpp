#include "OllamaHttpReplyParser.h"

#include <QList>
#include <algorithm>

namespace ostrel {

namespace {

const QByteArray kHttpPrefix = QByteArrayLiteral("HTTP/");

QString notHttp()
{
    return QStringLiteral("The server's reply is not HTTP");
}

QString invalidHttp()
{
    return QStringLiteral("The server's reply is not valid HTTP");
}

// Chunk-size line bytes that cost nothing: a size of up to 16 hex digits and its line ending.
constexpr qsizetype kPlainChunkLineBytes = 18;

QString budgetText(const char* what)
{
    return QStringLiteral("The server's ") + QLatin1String(what) + QStringLiteral(" longer than ") +
           QString::number(OllamaHttpReplyParser::kMaxHeadBytes / 1024) + QStringLiteral(" KiB");
}

// A non-negative decimal or hexadecimal number that fits in 62 bits; -1 otherwise. Leading zeros are
// allowed in any number: only the significant digits must fit.
qint64 parseCount(QByteArrayView text, int base)
{
    if (text.isEmpty()) {
        return -1;
    }
    qint64 value = 0;
    qsizetype significant = 0;
    for (const char c : text) {
        int digit = -1;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (base == 16 && c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (base == 16 && c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        }
        if (digit < 0 || digit >= base) {
            return -1;
        }
        if (value == 0 && digit == 0) {
            continue; // a leading zero
        }
        if (++significant > 15) {
            return -1; // past 62 bits (either base)
        }
        value = value * base + digit;
    }
    return value;
}

} // namespace

void OllamaHttpReplyParser::fail(const QString& why, bool closedEarly)
{
    m_state = State::failed;
    m_failure = why;
    m_closedEarly = closedEarly;
    m_pending = QByteArray();
    m_readOffset = 0;
}

OllamaHttpReplyParser::State OllamaHttpReplyParser::feed(QByteArrayView bytes, const Sink& sink)
{
    if (m_state != State::head && m_state != State::body) {
        return m_state;
    }
    if (!bytes.isEmpty()) {
        m_anyByte = true;
    }
    // Drop what was consumed before growing, so the buffer holds little more than the unread bytes.
    if (m_readOffset > 0) {
        m_pending.remove(0, m_readOffset);
        m_readOffset = 0;
    }
    m_pending.append(bytes.data(), bytes.size());
    for (;;) {
        const State before = m_state;
        const qsizetype unread = m_pending.size() - m_readOffset;
        const bool progressed = m_state == State::head ? readHead(sink) : readBody(sink);
        if (m_state != State::head && m_state != State::body) {
            return m_state;
        }
        if (!progressed && before == m_state && unread == m_pending.size() - m_readOffset) {
            return m_state; // needs more bytes
        }
    }
}

OllamaHttpReplyParser::State OllamaHttpReplyParser::close()
{
    if (m_state == State::head) {
        fail(m_anyByte ? QStringLiteral("Connection closed before the reply was complete")
                       : QStringLiteral("Connection closed before the server replied"),
             true);
    } else if (m_state == State::body) {
        if (m_body == Body::untilClose) {
            m_state = State::complete;
        } else {
            fail(QStringLiteral("Connection closed before the reply was complete"), true);
        }
    }
    return m_state;
}

bool OllamaHttpReplyParser::takeLine(qsizetype maxBytes, const QString& tooLong, QByteArray& line,
                                     qsizetype& consumed)
{
    const char* begin = m_pending.constData() + m_readOffset;
    const char* end = m_pending.constData() + m_pending.size();
    const char* found = std::find(begin, end, '\n');
    if (found == end) {
        if (end - begin >= maxBytes) {
            fail(tooLong); // with its ending the line cannot fit any more
        }
        return false;
    }
    qsizetype length = found - begin;
    consumed = length + 1;
    if (consumed > maxBytes) {
        fail(tooLong);
        return false;
    }
    m_readOffset += consumed;
    if (length > 0 && begin[length - 1] == '\r') {
        --length;
    }
    line = QByteArray(begin, length);
    return true;
}

bool OllamaHttpReplyParser::readHead(const Sink& sink)
{
    // Say so at once when the first bytes cannot start a status line.
    const QByteArrayView unread(m_pending.constData() + m_readOffset, m_pending.size() - m_readOffset);
    const qsizetype compared = std::min(unread.size(), kHttpPrefix.size());
    if (unread.first(compared) != QByteArrayView(kHttpPrefix).first(compared)) {
        fail(notHttp());
        return false;
    }
    // The head ends at an empty line. Bytes scanned before are not scanned again (but for the last two, which
    // may start the empty line), so a head that trickles in byte by byte costs no more than one read in whole.
    qsizetype end = -1;
    for (qsizetype i = std::max<qsizetype>(0, m_headScanned - 2); i < unread.size(); ++i) {
        if (unread[i] != '\n') {
            continue;
        }
        if (i + 1 < unread.size() && unread[i + 1] == '\n') {
            end = i + 2;
            break;
        }
        if (i + 2 < unread.size() && unread[i + 1] == '\r' && unread[i + 2] == '\n') {
            end = i + 3;
            break;
        }
    }
    // Every head counts against the budget, so endless interim replies end the reply as one long head does.
    const QString tooLong =
        m_interimHeads > 0 ? budgetText("interim replies are") : budgetText("reply head is");
    if (end < 0) {
        m_headScanned = unread.size();
        if (unread.size() > metaLeft()) {
            fail(tooLong);
        }
        return false;
    }
    m_headScanned = 0;
    if (end > metaLeft()) {
        fail(tooLong);
        return false;
    }
    const QByteArrayView head = unread.first(end);
    m_readOffset += end;
    m_metaBytes += end;
    if (!parseHead(head)) {
        fail(invalidHttp());
        return false;
    }
    if (m_status >= 100 && m_status < 200) {
        m_status = 0; // an interim reply: the final one follows
        ++m_interimHeads;
        return true;
    }
    m_state = State::body;
    const bool noBody = m_status == 204 || m_status == 304;
    if (noBody || (!m_chunked && m_contentLength == 0)) {
        m_body = Body::none;
    } else if (m_chunked) {
        m_body = Body::chunkSize;
    } else if (m_contentLength > 0) {
        m_body = Body::length;
        m_remaining = m_contentLength;
    } else {
        m_body = Body::untilClose;
    }
    if (sink.onHead && !sink.onHead(m_status)) {
        m_state = State::stopped;
        return false;
    }
    if (m_body == Body::none) {
        m_state = State::complete;
    }
    return true;
}

bool OllamaHttpReplyParser::parseHead(QByteArrayView head)
{
    m_chunked = false;
    m_contentLength = -1;
    bool first = true;
    QList<QByteArray> fields; // "name: value", continuation lines joined
    qsizetype start = 0;
    while (start < head.size()) {
        qsizetype end = start;
        while (end < head.size() && head[end] != '\n') {
            ++end;
        }
        QByteArrayView line = head.sliced(start, end - start);
        start = end + 1;
        if (line.endsWith('\r')) {
            line.chop(1);
        }
        if (first) {
            // "HTTP/1.1 200 OK": a version, a three-digit status, an optional reason.
            first = false;
            const QList<QByteArray> parts = line.toByteArray().split(' ');
            if (parts.size() < 2 || !parts[0].startsWith(kHttpPrefix) || parts[1].size() != 3) {
                return false;
            }
            const qint64 status = parseCount(parts[1], 10);
            if (status < 100) {
                return false;
            }
            m_status = static_cast<int>(status);
            continue;
        }
        if (line.isEmpty()) {
            break;
        }
        if (line.front() == ' ' || line.front() == '\t') {
            // Obsolete line folding: the line continues the field before it, joined with one space.
            if (fields.isEmpty()) {
                return false;
            }
            fields.last() += ' ' + line.trimmed().toByteArray();
            continue;
        }
        fields.append(line.toByteArray());
    }
    for (const QByteArray& field : std::as_const(fields)) {
        const qsizetype colon = field.indexOf(':');
        if (colon <= 0) {
            return false;
        }
        const QByteArray name = field.first(colon).trimmed().toLower();
        const QByteArray value = field.sliced(colon + 1).trimmed();
        if (name == "transfer-encoding") {
            m_chunked = value.toLower().split(',').last().trimmed() == "chunked";
        } else if (name == "content-length") {
            const qint64 length = parseCount(value, 10);
            if (length < 0 || (m_contentLength >= 0 && m_contentLength != length)) {
                return false;
            }
            m_contentLength = length;
        }
    }
    return !first;
}

bool OllamaHttpReplyParser::deliver(qsizetype count, const Sink& sink)
{
    const QByteArrayView piece(m_pending.constData() + m_readOffset, count);
    m_readOffset += count;
    if (sink.onBody && !sink.onBody(piece)) {
        m_state = State::stopped;
        return false;
    }
    return true;
}

bool OllamaHttpReplyParser::readBody(const Sink& sink)
{
    const qsizetype unread = m_pending.size() - m_readOffset;
    QByteArray line;
    qsizetype consumed = 0;
    switch (m_body) {
    case Body::none:
        m_state = State::complete;
        return true;
    case Body::untilClose:
        return unread > 0 && deliver(unread, sink);
    case Body::length:
    case Body::chunkData: {
        const qsizetype count = static_cast<qsizetype>(std::min<qint64>(unread, m_remaining));
        if (count == 0) {
            return false;
        }
        m_remaining -= count;
        if (!deliver(count, sink)) {
            return false;
        }
        if (m_remaining == 0) {
            if (m_body == Body::length) {
                m_state = State::complete;
            } else {
                m_body = Body::chunkDataEnd;
            }
        }
        return true;
    }
    case Body::chunkDataEnd:
        if (!takeLine(2, invalidHttp(), line, consumed)) {
            return false;
        }
        if (!line.isEmpty()) {
            fail(invalidHttp());
            return false;
        }
        m_body = Body::chunkSize;
        return true;
    case Body::chunkSize: {
        if (!takeLine(kMaxChunkLineBytes, invalidHttp(), line, consumed)) {
            return false;
        }
        // Leading zeros and extensions beyond a plain size count against the budget: endless chunks of one
        // byte with long extensions must not be read for ever.
        m_metaBytes += std::max<qsizetype>(0, consumed - kPlainChunkLineBytes);
        if (m_metaBytes > kMaxHeadBytes) {
            fail(budgetText("chunk extensions are"));
            return false;
        }
        const qsizetype extension = line.indexOf(';');
        const qint64 size =
            parseCount(QByteArrayView(line).first(extension < 0 ? line.size() : extension).trimmed(), 16);
        if (size < 0) {
            fail(invalidHttp());
            return false;
        }
        m_remaining = size;
        m_body = size == 0 ? Body::trailer : Body::chunkData;
        return true;
    }
    case Body::trailer:
        // The trailer shares the budget of the heads: endless trailer lines end the reply.
        if (!takeLine(metaLeft(), budgetText("reply trailer is"), line, consumed)) {
            return false;
        }
        m_metaBytes += consumed;
        if (line.isEmpty()) {
            m_state = State::complete;
        }
        return true;
    }
    return false;
}

} // namespace ostrel
