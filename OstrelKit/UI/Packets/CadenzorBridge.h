#pragma once

#include "CadenzorPacket.h"

#include <QString>

#include <optional>

// Moves story-structure packets through the shared folder that the story-structure application watches:
// <user data folder>/tovarine.app/cadenzor/<sourceApp>_<first ten characters of exportedAt>.cadenzor.json.
// Any thread; writes that can produce the same file name must be serialised by the caller.
namespace CadenzorBridge {

// Largest packet file read: a file over this is refused before it is read.
inline constexpr qint64 kMaxPacketBytes = 16 * 1024 * 1024;

// The shared folder, created with its parents when missing (a failure to create it is ignored here and shows as
// a failed write).
QString sharedDirectory();

// The file name a packet is written under. Path separators, NUL and control characters of sourceApp and of the
// date are replaced by "_", so the name is always one component inside the shared folder.
QString fileName(const CadenzorPacket& packet);

struct WriteResult {
    std::optional<QString> path; // the written file; empty on failure
    QString error;               // what failed, with the path, when path is empty
};

// Writes the packet (pretty-printed JSON, sorted keys) atomically, replacing a file of the same name.
WriteResult write(const CadenzorPacket& packet);

struct ReadResult {
    std::optional<CadenzorPacket> packet; // empty on failure
    QString error;                        // what is wrong with the file, when packet is empty
};

// Reads a packet file from any location. A missing, unreadable, oversized or malformed file, or one of the wrong
// shape, gives an error naming the problem; nothing partial is returned.
ReadResult read(const QString& path);

} // namespace CadenzorBridge
