#include "NdjsonLineReader.h"

#include <algorithm>

namespace ostrel {

NdjsonLineReader::NdjsonLineReader(qsizetype maxLineBytes) : m_maxLineBytes(maxLineBytes) {}

void NdjsonLineReader::fail()
{
    m_failed = true;
    m_buffer = QByteArray();
    m_readOffset = m_scanOffset = m_tailBytes = 0;
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
    const qsizetype lastLineFeed = bytes.lastIndexOf('\n');
    m_tailBytes = lastLineFeed < 0 ? m_tailBytes + bytes.size() : bytes.size() - lastLineFeed - 1;
    // The unfinished line may end with the carriage return of its line ending, hence the + 1.
    if (m_tailBytes > m_maxLineBytes + 1) {
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
    const qsizetype end = m_buffer.indexOf('\n', std::max(m_scanOffset, m_readOffset));
    if (end < 0) {
        m_scanOffset = m_buffer.size();
        return std::nullopt;
    }
    qsizetype length = end - m_readOffset;
    if (length > 0 && m_buffer.at(end - 1) == '\r') {
        --length;
    }
    if (length > m_maxLineBytes) {
        fail();
        return std::nullopt;
    }
    QByteArray line = m_buffer.mid(m_readOffset, length);
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
    if (line.endsWith('\r')) {
        line.chop(1);
    }
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
