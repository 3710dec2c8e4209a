#pragma once

#include <QString>

// The machine's model name for the cage settings file. Any thread.
namespace tovarine::MorvelDevice {

// The first line of `productNamePath` (trimmed) when it is not empty, else the first "model name" of
// `cpuInfoPath`, else an empty text. The paths are parameters only so tests can point them at fixtures.
QString name(const QString& productNamePath = QStringLiteral("/sys/class/dmi/id/product_name"),
             const QString& cpuInfoPath = QStringLiteral("/proc/cpuinfo"));

} // namespace tovarine::MorvelDevice
