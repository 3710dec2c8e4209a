#include "PrintPrepFixtures.h"

#include "ModelMesh.h"
#include "UsdzFile.h"

#include <QDateTime>
#include <QFile>
#include <algorithm>
#include <array>
#include <limits>
#include <map>

namespace tovarine::test {

bool writeBoxModel(const QString& path, double widthM, double heightM, double depthM, bool openTop,
                   int divisions)
{
    const int n = std::max(1, divisions);
    const double size[3] = {widthM, heightM, depthM};
    ModelMesh mesh;
    // Grid points on the surface, shared between faces so that the box is welded.
    std::map<std::array<int, 3>, std::uint32_t> points;
    const auto point = [&](const std::array<int, 3>& at) {
        const auto found = points.find(at);
        if (found != points.end()) {
            return found->second;
        }
        const auto index = std::uint32_t(mesh.positions.size() / 3);
        for (int axis = 0; axis < 3; ++axis) {
            mesh.positions.push_back(float(size[axis] * at[axis] / n));
        }
        points.emplace(at, index);
        return index;
    };
    for (int axis = 0; axis < 3; ++axis) {
        for (const int side : {0, n}) {
            if (openTop && axis == 1 && side == n) {
                continue;
            }
            const int u = (axis + 1) % 3;
            const int v = (axis + 2) % 3;
            for (int a = 0; a < n; ++a) {
                for (int b = 0; b < n; ++b) {
                    std::array<int, 3> corner[4];
                    for (int c = 0; c < 4; ++c) {
                        corner[c][axis] = side;
                        corner[c][u] = a + ((c == 1 || c == 2) ? 1 : 0);
                        corner[c][v] = b + (c >= 2 ? 1 : 0);
                    }
                    // (u, v) turns about +axis: counter-clockwise seen from outside on the far side.
                    const int order[2][3] = {{0, 1, 2}, {0, 2, 3}};
                    for (const auto& triangle : order) {
                        for (int c = 0; c < 3; ++c) {
                            const int k = side == n ? triangle[c] : triangle[2 - c];
                            mesh.indices.push_back(point(corner[k]));
                        }
                    }
                }
            }
        }
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
