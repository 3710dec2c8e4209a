#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <optional>

namespace ostrel {

// Cuts a byte stream that arrives in pieces of any size into lines. A line ends at a line feed, a carriage
// return, or a carriage return and line feed pair (one ending, also when the pair is split between pieces).
// The bytes after the last line ending are the final line once the stream ends. A line longer than `maxLineBytes` (without its ending) puts the reader into the failed
// state, in which it gives no more lines. Memory held: at most one line plus the piece being added.
// Plain value; one thread at a time.
class NdjsonLineReader
{
public:
    explicit NdjsonLineReader(qsizetype maxLineBytes);

    // Adds the next bytes of the stream. False once the reader has failed.
    bool append(QByteArrayView bytes);
    // The next complete line, or nullopt when no complete line is buffered (or the reader has failed).
    std::optional<QByteArray> nextLine();
    // Call at the end of the stream, after nextLine() gave nullopt: the bytes after the last line feed as
    // the final line, or nullopt when there are none (or the reader has failed).
    std::optional<QByteArray> finish();

    bool failed() const { return m_failed; }
    // Bytes held for lines not yet given out.
    qsizetype bufferedBytes() const { return m_buffer.size() - m_readOffset; }
    qsizetype maxLineBytes() const { return m_maxLineBytes; }

private:
    void fail();

    QByteArray m_buffer;
    qsizetype m_readOffset = 0; // start of the first unread line in m_buffer
    qsizetype m_scanOffset = 0; // no line ending between m_readOffset and here
    qsizetype m_tailBytes = 0;  // bytes after the last line ending in m_buffer
    bool m_afterCarriageReturn = false; // the last line ended in a carriage return: a line feed next is its pair
    qsizetype m_maxLineBytes;
    bool m_failed = false;
};

} // namespace ostrel
