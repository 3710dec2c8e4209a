#include "MorvelDevice.h"

#include <QFile>

namespace tovarine::MorvelDevice {

namespace {

QString readText(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    // Small system files; a cap keeps a strange path from reading without end.
    return QString::fromUtf8(file.read(1 << 20));
}

} // namespace

QString name(const QString& productNamePath, const QString& cpuInfoPath)
{
    const QString product = readText(productNamePath).section(QLatin1Char('\n'), 0, 0).trimmed();
    if (!product.isEmpty()) {
        return product;
    }
    const QStringList lines = readText(cpuInfoPath).split(QLatin1Char('\n'));
    for (const QString& line : lines) {
        if (line.startsWith(QLatin1String("model name"))) {
            const QString model = line.section(QLatin1Char(':'), 1).trimmed();
            if (!model.isEmpty()) {
                return model;
            }
        }
    }
    return {};
}

} // namespace tovarine::MorvelDevice
