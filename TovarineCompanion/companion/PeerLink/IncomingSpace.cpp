#include "IncomingSpace.h"

#include <QLocale>
#include <QStorageInfo>

namespace tovarine {
namespace {

QString sizeText(qint64 bytes)
{
    return QLocale::c().formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat);
}

} // namespace

IncomingSpace::IncomingSpace(FreeBytes freeBytes) : m_freeBytes(std::move(freeBytes))
{
    if (!m_freeBytes) {
        m_freeBytes = [](const QString& folder) {
            const QStorageInfo storage(folder);
            return storage.isValid() ? storage.bytesAvailable() : qint64(-1);
        };
    }
}

Expected<void, QString> IncomingSpace::reserve(const QString& folder, qint64 bytes, qint64 connectionBytes)
{
    // Every figure here is at most a few times kMaxBytesPerConnection, far from overflowing.
    if (connectionBytes + bytes > kMaxBytesPerConnection) {
        return unexpected(QStringLiteral("too much at once: %1 is already on its way, at most %2 at a time")
                              .arg(sizeText(connectionBytes), sizeText(kMaxBytesPerConnection)));
    }
    const qint64 free = m_freeBytes(folder);
    if (free >= 0 && free - m_promised - bytes < kMarginBytes) {
        return unexpected(
            QStringLiteral("not enough free space on the computer: this file needs %1, %2 is free and %3 "
                           "must stay free")
                .arg(sizeText(bytes), sizeText(std::max<qint64>(free - m_promised, 0)),
                     sizeText(kMarginBytes)));
    }
    m_promised += bytes;
    return {};
}

void IncomingSpace::release(qint64 bytes)
{
    m_promised = std::max<qint64>(m_promised - bytes, 0);
}

} // namespace tovarine
