#include "DensePoints.h"

#include "PlyFile.h"

#include <algorithm>
#include <cmath>

namespace tovarine::DensePoints {

Expected<Cloud, QString> read(const QString& path)
{
    const Expected<PlyMesh, QString> ply = PlyFile::readMesh(path);
    if (!ply) {
        return unexpected(QStringLiteral("The dense point cloud could not be read (%1)").arg(ply.error()));
    }
    const std::size_t count = ply->positions.size() / 3;
    const bool hasNormals = ply->normals.size() == ply->positions.size();
    const bool hasColors = ply->colors.size() == ply->positions.size();
    Cloud cloud;
    cloud.positions.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const geo::Vec3 position{ply->positions[3 * i], ply->positions[3 * i + 1], ply->positions[3 * i + 2]};
        if (!std::isfinite(position.x) || !std::isfinite(position.y) || !std::isfinite(position.z)) {
            continue;
        }
        cloud.positions.push_back(position);
        cloud.normals.push_back(hasNormals ? geo::normalized(geo::Vec3{ply->normals[3 * i], ply->normals[3 * i + 1],
                                                                       ply->normals[3 * i + 2]})
                                           : geo::Vec3{0, 1, 0});
        cloud.colors.push_back(hasColors ? std::array<std::uint8_t, 3>{ply->colors[3 * i], ply->colors[3 * i + 1],
                                                                       ply->colors[3 * i + 2]}
                                         : std::array<std::uint8_t, 3>{200, 200, 200});
    }
    return cloud;
}

Cloud toObject(const Cloud& world, const ObjectCloud& object)
{
    Cloud result;
    const double bottom = object.cropBottomM;
    for (std::size_t i = 0; i < world.positions.size(); ++i) {
        const geo::Vec3 p = object.frame.apply(world.positions[i]);
        if (std::hypot(p.x, p.z) > object.cropRadiusM || p.y < bottom || p.y > object.cropTopM) {
            continue;
        }
        result.positions.push_back(p);
        result.normals.push_back(geo::normalized(object.frame.rotation * world.normals[i]));
        result.colors.push_back(world.colors[i]);
    }
    return result;
}

std::vector<geo::Vec3> objectRegion(const ObjectCloud& object, double margin)
{
    if (object.positions.empty() || !(object.frame.scale > 0)) {
        return {};
    }
    geo::Vec3 low = object.positions.front();
    geo::Vec3 high = low;
    for (const geo::Vec3& p : object.positions) {
        low = {std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z)};
        high = {std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z)};
    }
    const double pad = margin * std::max({high.x - low.x, high.y - low.y, high.z - low.z});
    low = {low.x - pad, low.y - pad, low.z - pad};
    high = {high.x + pad, high.y + pad, high.z + pad};
    // The frame is a rotation, a scale and a shift: its inverse is the transposed rotation.
    const geo::Mat3 back = object.frame.rotation.transposed();
    std::vector<geo::Vec3> corners;
    for (int i = 0; i < 8; ++i) {
        const geo::Vec3 p{i & 1 ? high.x : low.x, i & 2 ? high.y : low.y, i & 4 ? high.z : low.z};
        corners.push_back(back * (p * (1.0 / object.frame.scale)) + object.frame.origin);
    }
    return corners;
}

} // namespace tovarine::DensePoints
