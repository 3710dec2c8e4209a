#include "PrintPrepFixtures.h"

#include "ModelMesh.h"
#include "UsdzFile.h"

#include <QDateTime>
#include <QFile>
#include <algorithm>
#include <limits>

namespace tovarine::test {

bool writeBoxModel(const QString& path, double widthM, double heightM, double depthM, bool openTop)
{
    ModelMesh mesh;
    for (int i = 0; i < 8; ++i) {
        mesh.positions.push_back(float((i & 1) ? widthM : 0.0));
        mesh.positions.push_back(float((i & 2) ? heightM : 0.0));
        mesh.positions.push_back(float((i & 4) ? depthM : 0.0));
    }
    mesh.indices = {0, 4, 6, 0, 6, 2, 1, 3, 7, 1, 7, 5, 0, 1, 5, 0, 5, 4, 0, 2, 3, 0, 3, 1, 4, 5, 7, 4, 7, 6};
    if (!openTop) {
        mesh.indices.insert(mesh.indices.end(), {2, 6, 7, 2, 7, 3});
    }
    return bool(UsdzFile::write(mesh, path));
}

std::optional<std::array<double, 3>> objExtents(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    constexpr double kMax = std::numeric_limits<double>::max();
    std::array<double, 3> lo{kMax, kMax, kMax};
    std::array<double, 3> hi{-kMax, -kMax, -kMax};
    bool any = false;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        if (!line.startsWith("v ")) {
            continue;
        }
        const QList<QByteArray> parts = line.split(' ');
        if (parts.size() < 4) {
            continue;
        }
        for (int axis = 0; axis < 3; ++axis) {
            const double v = parts[axis + 1].toDouble();
            lo[axis] = std::min(lo[axis], v);
            hi[axis] = std::max(hi[axis], v);
        }
        any = true;
    }
    if (!any) {
        return std::nullopt;
    }
    return std::array<double, 3>{hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2]};
}

bool setModified(const QString& path, qint64 secondsSinceEpoch)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite)) {
        return false;
    }
    return file.setFileTime(QDateTime::fromSecsSinceEpoch(secondsSinceEpoch),
                            QFileDevice::FileModificationTime);
}

} // namespace tovarine::test
