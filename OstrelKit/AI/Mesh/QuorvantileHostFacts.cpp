#include "QuorvantileHostFacts.h"

#include <QDir>
#include <QFile>
#include <QSysInfo>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace ostrel::QuorvantileHostFacts {

namespace {

QByteArray readSmall(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return file.read(64 * 1024);
}

} // namespace

QString machineName(const QString& machineInfoPath)
{
    for (const QByteArray& line : readSmall(machineInfoPath).split('\n')) {
        if (line.startsWith("PRETTY_HOSTNAME=")) {
            QString value = QString::fromUtf8(line.mid(16)).trimmed();
            if (value.size() >= 2 && (value.startsWith(u'"') || value.startsWith(u'\'')) &&
                value.endsWith(value.at(0))) {
                value = value.mid(1, value.size() - 2);
            }
            if (!value.isEmpty()) {
                return value;
            }
        }
    }
    return QSysInfo::machineHostName();
}

std::int64_t processorCount()
{
    return sysconf(_SC_NPROCESSORS_CONF);
}

std::int64_t activeProcessorCount()
{
    return sysconf(_SC_NPROCESSORS_ONLN);
}

std::uint64_t physicalMemory()
{
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    return pages > 0 && pageSize > 0
               ? static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize)
               : 0;
}

double loadFigure(std::int64_t total, std::int64_t active)
{
    return total >= 1 ? 1.0 - static_cast<double>(active) / static_cast<double>(total) : 0.5;
}

std::int64_t megabytes(std::uint64_t bytes)
{
    return static_cast<std::int64_t>(bytes >> 20);
}

std::optional<QString> localIPv4Address()
{
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0 || !list) {
        return std::nullopt;
    }
    std::optional<QString> result;
    for (ifaddrs* entry = list; entry && !result; entry = entry->ifa_next) {
        if (!entry->ifa_addr || !entry->ifa_name || entry->ifa_addr->sa_family != AF_INET) {
            continue;
        }
        if ((entry->ifa_flags & IFF_UP) == 0 || (entry->ifa_flags & IFF_LOOPBACK) != 0) {
            continue;
        }
        char text[NI_MAXHOST] = {};
        if (getnameinfo(entry->ifa_addr, sizeof(sockaddr_in), text, sizeof text, nullptr, 0,
                        NI_NUMERICHOST) != 0) {
            continue;
        }
        const QString address = QString::fromLatin1(text);
        if (!address.startsWith(QLatin1String("127."))) {
            result = address;
        }
    }
    freeifaddrs(list);
    return result;
}

} // namespace ostrel::QuorvantileHostFacts
