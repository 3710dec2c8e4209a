#pragma once

#include "Expected.h"

#include <QString>
#include <functional>

namespace tovarine {

// The disk space promised to the resources a transport is receiving. A resource is taken only when the file
// system of its folder keeps kMarginBytes free after every promised byte has arrived, and while the offering
// connection has at most kMaxBytesPerConnection promised, this resource included; bytes are given back as
// they are written or when a transfer ends. One per transport, used on its thread only.
class IncomingSpace
{
public:
    // Bytes free for this user on the file system holding `folder`; negative when that cannot be told (the
    // check is then skipped). Tests stand in for the disk here.
    using FreeBytes = std::function<qint64(const QString& folder)>;

    static constexpr qint64 kMarginBytes = 512LL * 1024 * 1024;
    // One resource of the largest size the transport takes, or several smaller ones.
    static constexpr qint64 kMaxBytesPerConnection = 8LL * 1024 * 1024 * 1024;

    // Without `freeBytes`, the file system's own figure.
    explicit IncomingSpace(FreeBytes freeBytes = {});

    // Promises `bytes` (0 or more) for a resource offered on a connection that has `connectionBytes`
    // promised already; or the reason it is refused, a sentence for the sender.
    Expected<void, QString> reserve(const QString& folder, qint64 bytes, qint64 connectionBytes);
    void release(qint64 bytes);
    qint64 promised() const { return m_promised; }

private:
    FreeBytes m_freeBytes;
    qint64 m_promised = 0;
};

} // namespace tovarine
