#pragma once

#include <QString>
#include <cstdint>
#include <optional>

namespace ostrel {

// What this machine's manifest says about it, read from Linux sources. Any thread.
namespace QuorvantileHostFacts {

// The user-visible machine name (PRETTY_HOSTNAME of /etc/machine-info), else the host name.
QString machineName(const QString& machineInfoPath = QStringLiteral("/etc/machine-info"));

// Configured and online processor counts.
std::int64_t processorCount();
std::int64_t activeProcessorCount();
// Physical memory in bytes.
std::uint64_t physicalMemory();

// 1 - active / total when total is at least 1, else 0.5.
double loadFigure(std::int64_t processorCount, std::int64_t activeProcessorCount);
// Bytes to whole megabytes, truncated.
std::int64_t megabytes(std::uint64_t bytes);

// The first IPv4 address of a non-loopback interface that is up, in the order the system lists them; no value
// when there is none (or the list cannot be read).
std::optional<QString> localIPv4Address();

} // namespace QuorvantileHostFacts

} // namespace ostrel
