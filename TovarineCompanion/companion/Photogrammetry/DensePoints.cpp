#include "DensePoints.h"

#include <QFile>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace tovarine::DensePoints {
namespace {

struct Property {
    QByteArray name;
    int size = 0;
    bool isFloat = false;
    bool isDouble = false;
    int offset = 0;
};

int typeSize(const QByteArray& type, bool& isFloat, bool& isDouble)
{
    isFloat = type == "float" || type == "float32";
    isDouble = type == "double" || type == "float64";
    if (isFloat) return 4;
    if (isDouble) return 8;
    if (type == "uchar" || type == "uint8" || type == "char" || type == "int8") return 1;
    if (type == "short" || type == "ushort" || type == "int16" || type == "uint16") return 2;
    if (type == "int" || type == "uint" || type == "int32" || type == "uint32") return 4;
    return 0;
}

double scalar(const char* data, const Property& p)
{
    if (p.isFloat) {
        float value;
        std::memcpy(&value, data + p.offset, 4);
        return value;
    }
    if (p.isDouble) {
        double value;
        std::memcpy(&value, data + p.offset, 8);
        return value;
    }
    return static_cast<unsigned char>(data[p.offset]);
}

} // namespace

Expected<Cloud, QString> read(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return unexpected(QStringLiteral("The dense point cloud %1 could not be read.").arg(path));
    }
    auto bad = [&](const char* what) {
        return unexpected(QStringLiteral("The dense point cloud %1 is malformed (%2).").arg(path, QLatin1String(what)));
    };
    if (file.readLine().trimmed() != "ply") {
        return bad("not a PLY file");
    }
    qint64 count = -1;
    bool inVertex = false;
    bool binaryLittle = false;
    std::vector<Property> properties;
    int stride = 0;
    while (true) {
        const QByteArray line = file.readLine();
        if (line.isEmpty()) {
            return bad("the header has no end");
        }
        const QList<QByteArray> words = line.simplified().split(' ');
        if (words.value(0) == "end_header") {
            break;
        }
        if (words.value(0) == "format") {
            binaryLittle = words.value(1) == "binary_little_endian";
        } else if (words.value(0) == "element") {
            inVertex = words.value(1) == "vertex";
            if (inVertex) {
                bool ok = false;
                count = words.value(2).toLongLong(&ok);
                if (!ok || count < 0) {
                    return bad("vertex count");
                }
            }
        } else if (words.value(0) == "property" && inVertex) {
            Property p;
            p.name = words.value(2);
            p.size = typeSize(words.value(1), p.isFloat, p.isDouble);
            if (p.size == 0 || words.value(1) == "list") {
                return bad("vertex property type");
            }
            p.offset = stride;
            stride += p.size;
            properties.push_back(p);
        }
    }
    if (!binaryLittle || count < 0 || stride == 0) {
        return bad("not a binary little-endian point cloud");
    }
    auto find = [&](const char* name) -> const Property* {
        for (const Property& p : properties) {
            if (p.name == name) {
                return &p;
            }
        }
        return nullptr;
    };
    const Property* x = find("x");
    const Property* y = find("y");
    const Property* z = find("z");
    if (!x || !y || !z || !(x->isFloat || x->isDouble)) {
        return bad("no x y z");
    }
    const Property* nx = find("nx");
    const Property* ny = find("ny");
    const Property* nz = find("nz");
    const Property* r = find("red");
    const Property* g = find("green");
    const Property* b = find("blue");
    if (count > (file.size() - file.pos()) / stride) {
        return bad("truncated");
    }
    const QByteArray data = file.read(count * stride);
    Cloud cloud;
    cloud.positions.reserve(std::size_t(count));
    for (qint64 i = 0; i < count; ++i) {
        const char* v = data.constData() + i * stride;
        const geo::Vec3 position{scalar(v, *x), scalar(v, *y), scalar(v, *z)};
        if (!std::isfinite(position.x) || !std::isfinite(position.y) || !std::isfinite(position.z)) {
            continue;
        }
        cloud.positions.push_back(position);
        cloud.normals.push_back(nx && ny && nz ? geo::normalized(geo::Vec3{scalar(v, *nx), scalar(v, *ny), scalar(v, *nz)})
                                               : geo::Vec3{0, 1, 0});
        cloud.colors.push_back(r && g && b ? std::array<std::uint8_t, 3>{std::uint8_t(scalar(v, *r)), std::uint8_t(scalar(v, *g)),
                                                                          std::uint8_t(scalar(v, *b))}
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
