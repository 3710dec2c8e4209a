#include "NdjsonLineReader.h"

#include <algorithm>

namespace ostrel {

namespace {

bool isLineEnd(char c)
{
    return c == '\n' || c == '\r';
}

// Index of the first line ending in `bytes` at or after `from`, or -1.
qsizetype firstLineEnd(const QByteArray& bytes, qsizetype from)
{
    const char* begin = bytes.constData();
    const char* end = begin + bytes.size();
    const char* found = std::find_if(begin + from, end, isLineEnd);
    return found == end ? -1 : found - begin;
}

} // namespace

NdjsonLineReader::NdjsonLineReader(qsizetype maxLineBytes) : m_maxLineBytes(maxLineBytes) {}

void NdjsonLineReader::fail()
{
    m_failed = true;
    m_buffer = QByteArray();
    m_readOffset = m_scanOffset = m_tailBytes = 0;
    m_afterCarriageReturn = false;
}

bool NdjsonLineReader::append(QByteArrayView bytes)
{
    if (m_failed) {
        return false;
    }
    // Drop the lines already given out before growing, so the buffer holds little more than one line.
    if (m_readOffset > 0) {
        m_buffer.remove(0, m_readOffset);
        m_scanOffset -= m_readOffset;
        m_readOffset = 0;
    }
    const auto lastEnd = std::find_if(bytes.rbegin(), bytes.rend(), isLineEnd);
    m_tailBytes = lastEnd == bytes.rend() ? m_tailBytes + bytes.size() : lastEnd - bytes.rbegin();
    if (m_tailBytes > m_maxLineBytes) {
        fail();
        return false;
    }
    m_buffer.append(bytes.data(), bytes.size());
    return true;
}

std::optional<QByteArray> NdjsonLineReader::nextLine()
{
    if (m_failed) {
        return std::nullopt;
    }
    if (m_afterCarriageReturn) {
        if (m_readOffset >= m_buffer.size()) {
            return std::nullopt; // the pair's line feed may still come
        }
        if (m_buffer.at(m_readOffset) == '\n') {
            ++m_readOffset;
            m_scanOffset = std::max(m_scanOffset, m_readOffset);
        }
        m_afterCarriageReturn = false;
    }
    const qsizetype end = firstLineEnd(m_buffer, std::max(m_scanOffset, m_readOffset));
    if (end < 0) {
        m_scanOffset = m_buffer.size();
        return std::nullopt;
    }
    const qsizetype length = end - m_readOffset;
    if (length > m_maxLineBytes) {
        fail();
        return std::nullopt;
    }
    QByteArray line = m_buffer.mid(m_readOffset, length);
    m_afterCarriageReturn = m_buffer.at(end) == '\r';
    m_readOffset = end + 1;
    m_scanOffset = m_readOffset;
    return line;
}

std::optional<QByteArray> NdjsonLineReader::finish()
{
    if (m_failed) {
        return std::nullopt;
    }
    QByteArray line = m_buffer.mid(m_readOffset);
    m_buffer = QByteArray();
    m_readOffset = m_scanOffset = m_tailBytes = 0;
    m_afterCarriageReturn = false;
    if (line.size() > m_maxLineBytes) {
        fail();
        return std::nullopt;
    }
    if (line.isEmpty()) {
        return std::nullopt;
    }
    return line;
}

} // namespace ostrel
