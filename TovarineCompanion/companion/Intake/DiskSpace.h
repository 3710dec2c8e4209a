#pragma once

#include <QString>
#include <QtGlobal>

// Free space and its wording in messages ("not enough space on …"). Any thread.
namespace tovarine::DiskSpace {

// Free bytes for an unprivileged user on the file system of `path` (or of its nearest existing ancestor);
// -1 when it cannot be told.
qint64 freeBytes(const QString& path);

// "1.2 GB", "340 MB", "12 KB", "5 bytes": sizes in messages, decimal units.
QString formatBytes(qint64 bytes);

} // namespace tovarine::DiskSpace
