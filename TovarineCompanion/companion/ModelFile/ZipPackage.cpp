#include "ZipPackage.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <limits>

namespace tovarine::ZipPackage {

namespace {

constexpr std::uint32_t kLocalHeaderSignature = 0x04034b50;
constexpr std::uint32_t kCentralHeaderSignature = 0x02014b50;
constexpr std::uint32_t kEndOfDirectorySignature = 0x06054b50;
constexpr std::size_t kLocalHeaderBytes = 30;
constexpr std::size_t kCentralHeaderBytes = 46;
constexpr std::size_t kEndOfDirectoryBytes = 22;
constexpr std::size_t kMaxCommentBytes = 0xffff;
// Extra-field id of the alignment padding; readers skip extra fields they do not know.
constexpr std::uint16_t kPaddingExtraId = 0x7a70;
// 1980-01-01 00:00:00 in MS-DOS date and time fields: the earliest date a zip can hold.
constexpr std::uint16_t kDosDate = (0 << 9) | (1 << 5) | 1;
constexpr std::uint16_t kDosTime = 0;
constexpr std::uint16_t kVersionNeeded = 20;
// Deflate cannot expand data by more than this factor (its best case is about 1032:1).
constexpr std::uint64_t kMaxDeflateRatio = 1032;
// Deflated entries the reader inflates: at most this many bytes, and beyond kRatioFreeBytes at most
// kMaxPlausibleRatio times their compressed size.
constexpr std::uint64_t kMaxInflatedBytes = 1ULL << 30;
constexpr std::uint64_t kRatioFreeBytes = 16ULL << 20;
constexpr std::uint64_t kMaxPlausibleRatio = 64;

void put16(QByteArray& out, std::uint16_t v)
{
    const char b[2] = {char(v & 0xff), char(v >> 8)};
    out.append(b, 2);
}

void put32(QByteArray& out, std::uint32_t v)
{
    const char b[4] = {char(v & 0xff), char((v >> 8) & 0xff), char((v >> 16) & 0xff), char(v >> 24)};
    out.append(b, 4);
}

std::uint16_t get16(std::string_view s, std::size_t at)
{
    const auto* p = reinterpret_cast<const unsigned char*>(s.data() + at);
    return std::uint16_t(p[0] | (p[1] << 8));
}

std::uint32_t get32(std::string_view s, std::size_t at)
{
    const auto* p = reinterpret_cast<const unsigned char*>(s.data() + at);
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
           (std::uint32_t(p[3]) << 24);
}

std::uint32_t crcOf(std::string_view data)
{
    uLong crc = crc32(0L, Z_NULL, 0);
    const auto* p = reinterpret_cast<const Bytef*>(data.data());
    std::size_t left = data.size();
    while (left > 0) {
        const auto chunk = uInt(std::min<std::size_t>(left, std::numeric_limits<uInt>::max() / 2));
        crc = crc32(crc, p, chunk);
        p += chunk;
        left -= chunk;
    }
    return std::uint32_t(crc);
}

QString damaged()
{
    return QStringLiteral("The model file is damaged: its zip directory could not be read.");
}

} // namespace

Expected<QByteArray, QString> encodeStored(const std::vector<StoredEntry>& entries)
{
    constexpr std::uint64_t kLimit = std::numeric_limits<std::uint32_t>::max();
    std::uint64_t total = kEndOfDirectoryBytes;
    for (const StoredEntry& entry : entries) {
        const std::uint64_t nameBytes = entry.name.toUtf8().size();
        total += kLocalHeaderBytes + kCentralHeaderBytes + 2 * nameBytes + kEntryAlignmentBytes + 4 + entry.data.size();
    }
    if (total > kLimit || entries.size() > 0xffff) {
        return unexpected(QStringLiteral("The model is too large to be saved as a model file (over 4 GiB)."));
    }

    struct Written
    {
        QByteArray name;
        std::uint32_t crc;
        std::uint32_t size;
        std::uint32_t headerOffset;
    };
    std::vector<Written> written;
    written.reserve(entries.size());

    QByteArray out;
    out.reserve(qsizetype(total));
    for (const StoredEntry& entry : entries) {
        const QByteArray name = entry.name.toUtf8();
        const auto headerOffset = std::uint32_t(out.size());
        const std::size_t unpadded = out.size() + kLocalHeaderBytes + name.size();
        std::size_t padding = (kEntryAlignmentBytes - unpadded % kEntryAlignmentBytes) % kEntryAlignmentBytes;
        if (padding > 0 && padding < 4) {
            padding += kEntryAlignmentBytes; // an extra field needs at least its 4-byte header
        }
        const std::uint32_t crc = crcOf(entry.data);
        const auto size = std::uint32_t(entry.data.size());

        put32(out, kLocalHeaderSignature);
        put16(out, kVersionNeeded);
        put16(out, 0); // flags
        put16(out, 0); // stored
        put16(out, kDosTime);
        put16(out, kDosDate);
        put32(out, crc);
        put32(out, size);
        put32(out, size);
        put16(out, std::uint16_t(name.size()));
        put16(out, std::uint16_t(padding));
        out.append(name);
        if (padding > 0) {
            put16(out, kPaddingExtraId);
            put16(out, std::uint16_t(padding - 4));
            out.append(qsizetype(padding - 4), '\0');
        }
        out.append(entry.data.data(), qsizetype(entry.data.size()));
        written.push_back({name, crc, size, headerOffset});
    }

    const auto directoryOffset = std::uint32_t(out.size());
    for (const Written& entry : written) {
        put32(out, kCentralHeaderSignature);
        put16(out, kVersionNeeded); // version made by: MS-DOS attributes
        put16(out, kVersionNeeded);
        put16(out, 0);
        put16(out, 0);
        put16(out, kDosTime);
        put16(out, kDosDate);
        put32(out, entry.crc);
        put32(out, entry.size);
        put32(out, entry.size);
        put16(out, std::uint16_t(entry.name.size()));
        put16(out, 0); // extra
        put16(out, 0); // comment
        put16(out, 0); // disk
        put16(out, 0); // internal attributes
        put32(out, 0); // external attributes
        put32(out, entry.headerOffset);
        out.append(entry.name);
    }
    const auto directorySize = std::uint32_t(out.size() - directoryOffset);

    put32(out, kEndOfDirectorySignature);
    put16(out, 0);
    put16(out, 0);
    put16(out, std::uint16_t(written.size()));
    put16(out, std::uint16_t(written.size()));
    put32(out, directorySize);
    put32(out, directoryOffset);
    put16(out, 0);
    return out;
}

Expected<std::vector<Entry>, QString> listEntries(std::string_view package)
{
    if (package.size() < kEndOfDirectoryBytes) {
        return unexpected(QStringLiteral("The model file is not a zip package."));
    }
    // The end record sits in the last 22 bytes plus at most a 64 KiB comment; search backwards for it.
    std::size_t end = std::string_view::npos;
    const std::size_t lowest = package.size() > kEndOfDirectoryBytes + kMaxCommentBytes
                                   ? package.size() - kEndOfDirectoryBytes - kMaxCommentBytes
                                   : 0;
    for (std::size_t at = package.size() - kEndOfDirectoryBytes + 1; at-- > lowest;) {
        if (get32(package, at) == kEndOfDirectorySignature) {
            end = at;
            break;
        }
    }
    if (end == std::string_view::npos) {
        return unexpected(QStringLiteral("The model file is not a zip package."));
    }
    const std::uint16_t count = get16(package, end + 10);
    const std::uint32_t directorySize = get32(package, end + 12);
    const std::uint32_t directoryOffset = get32(package, end + 16);
    if (directoryOffset == 0xffffffff || count == 0xffff) {
        return unexpected(QStringLiteral("The model file uses zip64, which is not supported."));
    }
    if (std::uint64_t(directoryOffset) + directorySize > end) {
        return unexpected(damaged());
    }

    std::vector<Entry> entries;
    entries.reserve(std::min<std::size_t>(count, directorySize / kCentralHeaderBytes));
    std::size_t at = directoryOffset;
    const std::size_t directoryEnd = std::size_t(directoryOffset) + directorySize;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (at + kCentralHeaderBytes > directoryEnd || get32(package, at) != kCentralHeaderSignature) {
            return unexpected(damaged());
        }
        Entry entry;
        const std::uint16_t flags = get16(package, at + 8);
        entry.method = get16(package, at + 10);
        entry.crc32 = get32(package, at + 16);
        entry.compressedSize = get32(package, at + 20);
        entry.uncompressedSize = get32(package, at + 24);
        const std::uint16_t nameBytes = get16(package, at + 28);
        const std::uint16_t extraBytes = get16(package, at + 30);
        const std::uint16_t commentBytes = get16(package, at + 32);
        const std::uint32_t headerOffset = get32(package, at + 42);
        const std::size_t next = at + kCentralHeaderBytes + nameBytes + extraBytes + commentBytes;
        if (next > directoryEnd) {
            return unexpected(damaged());
        }
        entry.name = QString::fromUtf8(package.data() + at + kCentralHeaderBytes, nameBytes);
        if (flags & 0x1) {
            return unexpected(QStringLiteral("The model file is encrypted, which is not supported."));
        }
        if (entry.compressedSize == 0xffffffff || entry.uncompressedSize == 0xffffffff ||
            headerOffset == 0xffffffff) {
            return unexpected(QStringLiteral("The model file uses zip64, which is not supported."));
        }
        if (std::uint64_t(headerOffset) + kLocalHeaderBytes > package.size() ||
            get32(package, headerOffset) != kLocalHeaderSignature) {
            return unexpected(damaged());
        }
        const std::uint64_t dataOffset = std::uint64_t(headerOffset) + kLocalHeaderBytes +
                                         get16(package, headerOffset + 26) + get16(package, headerOffset + 28);
        if (dataOffset + entry.compressedSize > package.size()) {
            return unexpected(damaged());
        }
        entry.dataOffset = dataOffset;
        entries.push_back(std::move(entry));
        at = next;
    }
    return entries;
}

Expected<QByteArray, QString> extract(std::string_view package, const Entry& entry)
{
    if (entry.dataOffset + entry.compressedSize > package.size()) {
        return unexpected(damaged());
    }
    const std::string_view compressed = package.substr(entry.dataOffset, entry.compressedSize);
    const QString corrupt = QStringLiteral("The model file is damaged: the entry \"%1\" is corrupt.").arg(entry.name);

    if (entry.method == 0) {
        if (entry.compressedSize != entry.uncompressedSize || crcOf(compressed) != entry.crc32) {
            return unexpected(corrupt);
        }
        return QByteArray::fromRawData(compressed.data(), qsizetype(compressed.size()));
    }
    if (entry.method != 8) {
        return unexpected(QStringLiteral("The model file's entry \"%1\" uses an unsupported compression method.")
                              .arg(entry.name));
    }
    if (entry.uncompressedSize > (entry.compressedSize + 1) * kMaxDeflateRatio ||
        entry.uncompressedSize > std::uint64_t(std::numeric_limits<qsizetype>::max())) {
        return unexpected(corrupt);
    }
    // What the reader will hold: no layer past kMaxInflatedBytes, and past kRatioFreeBytes no more than a
    // text layer of numbers plausibly compresses (about 10:1; 64:1 leaves room). A zip bomb is refused here,
    // before its memory is taken or its inflating time spent.
    if (entry.uncompressedSize > kMaxInflatedBytes ||
        (entry.uncompressedSize > kRatioFreeBytes &&
         entry.uncompressedSize > entry.compressedSize * kMaxPlausibleRatio)) {
        return unexpected(
            QStringLiteral("The model file's entry \"%1\" claims to expand from %2 to %3 bytes, more "
                           "than a model holds; the file is damaged or hostile.")
                .arg(entry.name)
                .arg(entry.compressedSize)
                .arg(entry.uncompressedSize));
    }

    QByteArray out(qsizetype(entry.uncompressedSize), Qt::Uninitialized);
    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) {
        return unexpected(corrupt);
    }
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    std::size_t inLeft = compressed.size();
    std::size_t outLeft = std::size_t(out.size());
    int status = Z_OK;
    while (status == Z_OK) {
        const auto inChunk = uInt(std::min<std::size_t>(inLeft, 1u << 30));
        const auto outChunk = uInt(std::min<std::size_t>(outLeft, 1u << 30));
        stream.avail_in = inChunk;
        stream.avail_out = outChunk;
        status = inflate(&stream, Z_NO_FLUSH);
        inLeft -= inChunk - stream.avail_in;
        outLeft -= outChunk - stream.avail_out;
        if (status == Z_OK && stream.avail_in == inChunk && stream.avail_out == outChunk) {
            status = Z_BUF_ERROR; // no progress: truncated input or more output than stated
        }
        if (status == Z_BUF_ERROR && outLeft == 0 && inLeft == 0) {
            break;
        }
    }
    inflateEnd(&stream);
    if (status != Z_STREAM_END || outLeft != 0) {
        return unexpected(corrupt);
    }
    if (crcOf(std::string_view(out.constData(), std::size_t(out.size()))) != entry.crc32) {
        return unexpected(corrupt);
    }
    return out;
}

} // namespace tovarine::ZipPackage
