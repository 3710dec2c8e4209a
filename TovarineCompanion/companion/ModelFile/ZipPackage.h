#pragma once

#include <QByteArray>
#include <QString>

#include "Expected.h"

#include <cstdint>
#include <string_view>
#include <vector>

// The zip container under a model package: writing stored, 64-byte aligned entries and reading the entries of any
// plain zip (stored or deflated). Any thread; the functions share no state.
namespace tovarine::ZipPackage {

// Data offsets of stored entries are multiples of this, so a reader can map the entry in place.
inline constexpr std::size_t kEntryAlignmentBytes = 64;

struct StoredEntry
{
    QString name;             // path inside the package, '/'-separated
    std::string_view data;    // the bytes, kept alive by the caller until encodeStored returns
};

// Encodes a zip holding `entries` in order, each stored without compression, its data at a 64-byte-aligned offset
// (the local header's extra field pads it), every date 1980-01-01 00:00, so equal input gives equal bytes.
// Error: a user-facing sentence when an entry or the whole package exceeds the 4 GiB a plain zip can address.
Expected<QByteArray, QString> encodeStored(const std::vector<StoredEntry>& entries);

struct Entry
{
    QString name;
    std::uint16_t method = 0;         // 0 stored, 8 deflated
    std::uint32_t crc32 = 0;
    std::uint64_t compressedSize = 0;
    std::uint64_t uncompressedSize = 0;
    std::uint64_t dataOffset = 0;     // of the entry's data inside the package bytes
};

// Lists the entries of the central directory in order, each checked to lie inside `package`.
// Error: a user-facing sentence for a file that is not a zip or whose directory is damaged.
Expected<std::vector<Entry>, QString> listEntries(std::string_view package);

// The uncompressed bytes of `entry` (stored or deflated), checked against its size and CRC-32. A stored
// entry's bytes are not copied: the result shares `package`'s memory, so keep the package alive while using
// it. Error: a user-facing sentence for an unsupported method or damaged data. Never allocates more than the
// entry's stated size, and that only when the compressed data could plausibly expand to it: a deflated entry
// past 16 MiB may expand at most 64 times, and to at most 1 GiB.
Expected<QByteArray, QString> extract(std::string_view package, const Entry& entry);

} // namespace tovarine::ZipPackage
