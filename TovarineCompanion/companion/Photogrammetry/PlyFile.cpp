#include "PlyFile.h"

#include <QFile>
#include <QList>
#include <QSaveFile>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>

namespace tovarine::PlyFile {
namespace {

enum class Scalar { int8, uint8, int16, uint16, int32, uint32, float32, float64 };

std::optional<Scalar> scalarFromName(const QByteArray& name)
{
    if (name == "char" || name == "int8")
        return Scalar::int8;
    if (name == "uchar" || name == "uint8")
        return Scalar::uint8;
    if (name == "short" || name == "int16")
        return Scalar::int16;
    if (name == "ushort" || name == "uint16")
        return Scalar::uint16;
    if (name == "int" || name == "int32")
        return Scalar::int32;
    if (name == "uint" || name == "uint32")
        return Scalar::uint32;
    if (name == "float" || name == "float32")
        return Scalar::float32;
    if (name == "double" || name == "float64")
        return Scalar::float64;
    return std::nullopt;
}

int scalarSize(Scalar s)
{
    switch (s) {
    case Scalar::int8:
    case Scalar::uint8:
        return 1;
    case Scalar::int16:
    case Scalar::uint16:
        return 2;
    case Scalar::int32:
    case Scalar::uint32:
    case Scalar::float32:
        return 4;
    case Scalar::float64:
        return 8;
    }
    return 1;
}

struct Property
{
    QByteArray name;
    Scalar type = Scalar::float32;
    bool isList = false;
    Scalar countType = Scalar::uint8;
};

struct Element
{
    QByteArray name;
    qint64 count = 0;
    QList<Property> properties;
};

// The white space between ascii values, whatever the locale says of other bytes.
bool isAsciiSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Reads values one at a time from the body, ascii or binary, failing softly at the end of the data.
class BodyReader
{
public:
    BodyReader(const QByteArray& data, qsizetype start, bool ascii)
        : m_data(data), m_pos(start), m_ascii(ascii)
    {
    }

    bool read(Scalar type, double& value)
    {
        if (m_ascii) {
            while (m_pos < m_data.size() && isAsciiSpace(m_data[m_pos])) {
                ++m_pos;
            }
            const qsizetype begin = m_pos;
            while (m_pos < m_data.size() && !isAsciiSpace(m_data[m_pos])) {
                ++m_pos;
            }
            if (begin == m_pos) {
                return false;
            }
            bool ok = false;
            value = m_data.mid(begin, m_pos - begin).toDouble(&ok);
            return ok;
        }
        const int size = scalarSize(type);
        if (m_pos + size > m_data.size()) {
            return false;
        }
        const char* p = m_data.constData() + m_pos;
        m_pos += size;
        switch (type) {
        case Scalar::int8:
            value = static_cast<std::int8_t>(*p);
            break;
        case Scalar::uint8:
            value = static_cast<std::uint8_t>(*p);
            break;
        case Scalar::int16: {
            std::int16_t v;
            std::memcpy(&v, p, 2);
            value = v;
            break;
        }
        case Scalar::uint16: {
            std::uint16_t v;
            std::memcpy(&v, p, 2);
            value = v;
            break;
        }
        case Scalar::int32: {
            std::int32_t v;
            std::memcpy(&v, p, 4);
            value = v;
            break;
        }
        case Scalar::uint32: {
            std::uint32_t v;
            std::memcpy(&v, p, 4);
            value = v;
            break;
        }
        case Scalar::float32: {
            float v;
            std::memcpy(&v, p, 4);
            value = v;
            break;
        }
        case Scalar::float64: {
            double v;
            std::memcpy(&v, p, 8);
            value = v;
            break;
        }
        }
        return true;
    }

private:
    const QByteArray& m_data;
    qsizetype m_pos;
    bool m_ascii;
};

template <class T> void append(QByteArray& out, T value)
{
    out.append(reinterpret_cast<const char*>(&value), sizeof(T));
}

} // namespace

Expected<void, QString> writePointCloud(const QString& path, const std::vector<geo::Vec3>& positions,
                                        const std::vector<geo::Vec3>& normals,
                                        const std::vector<std::array<std::uint8_t, 3>>& colors)
{
    QByteArray out;
    out.append("ply\nformat binary_little_endian 1.0\nelement vertex ");
    out.append(QByteArray::number(static_cast<qulonglong>(positions.size())));
    out.append(
        "\nproperty float x\nproperty float y\nproperty float z\nproperty float nx\nproperty float ny\n"
        "property float nz\nproperty uchar red\nproperty uchar green\nproperty uchar blue\nend_header\n");
    out.reserve(out.size() + static_cast<qsizetype>(positions.size()) * 27);
    for (std::size_t i = 0; i < positions.size(); ++i) {
        for (int k = 0; k < 3; ++k) {
            append(out, static_cast<float>(positions[i][k]));
        }
        for (int k = 0; k < 3; ++k) {
            append(out, static_cast<float>(i < normals.size() ? normals[i][k] : 0.0));
        }
        for (int k = 0; k < 3; ++k) {
            append(out, i < colors.size() ? colors[i][k] : std::uint8_t{200});
        }
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(out) != out.size() || !file.commit()) {
        return unexpected(
            QStringLiteral("Could not write the point cloud %1: %2").arg(path, file.errorString()));
    }
    return {};
}

Expected<PlyMesh, QString> readMesh(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return unexpected(QStringLiteral("The surface file %1 could not be read.").arg(path));
    }
    const QByteArray data = file.readAll();
    const QString malformed = QStringLiteral("The surface file %1 is malformed.").arg(path);
    const qsizetype headerEnd = data.indexOf("end_header");
    if (!data.startsWith("ply") || headerEnd < 0) {
        return unexpected(malformed);
    }
    qsizetype bodyStart = data.indexOf('\n', headerEnd);
    if (bodyStart < 0) {
        return unexpected(malformed);
    }
    ++bodyStart;

    bool ascii = false;
    QList<Element> elements;
    for (const QByteArray& rawLine : data.left(headerEnd).split('\n')) {
        const QList<QByteArray> f = rawLine.simplified().split(' ');
        if (f.isEmpty()) {
            continue;
        }
        if (f[0] == "format" && f.size() >= 2) {
            if (f[1] == "ascii") {
                ascii = true;
            } else if (f[1] != "binary_little_endian") {
                return unexpected(
                    QStringLiteral("The surface file %1 uses an unsupported PLY format.").arg(path));
            }
        } else if (f[0] == "element" && f.size() >= 3) {
            bool ok = false;
            Element e;
            e.name = f[1];
            e.count = f[2].toLongLong(&ok);
            if (!ok || e.count < 0) {
                return unexpected(malformed);
            }
            elements.append(e);
        } else if (f[0] == "property" && !elements.isEmpty()) {
            Property p;
            if (f.size() >= 5 && f[1] == "list") {
                const auto countType = scalarFromName(f[2]);
                const auto type = scalarFromName(f[3]);
                if (!countType || !type) {
                    return unexpected(malformed);
                }
                p.isList = true;
                p.countType = *countType;
                p.type = *type;
                p.name = f[4];
            } else if (f.size() >= 3) {
                const auto type = scalarFromName(f[1]);
                if (!type) {
                    return unexpected(malformed);
                }
                p.type = *type;
                p.name = f[2];
            } else {
                return unexpected(malformed);
            }
            elements.last().properties.append(p);
        }
    }

    PlyMesh mesh;
    BodyReader reader(data, bodyStart, ascii);
    qint64 vertexCount = 0;
    for (const Element& element : elements) {
        const bool isVertex = element.name == "vertex";
        const bool isFace = element.name == "face";
        // Guard the allocations against counts the file cannot hold.
        if (element.count > data.size()) {
            return unexpected(malformed);
        }
        if (isVertex) {
            vertexCount = element.count;
            mesh.positions.assign(static_cast<std::size_t>(element.count) * 3, 0.0f);
        }
        int colorSlots[3] = {-1, -1, -1};
        int positionSlots[3] = {-1, -1, -1};
        int normalSlots[3] = {-1, -1, -1};
        for (int k = 0; k < element.properties.size(); ++k) {
            const QByteArray& n = element.properties[k].name;
            if (n == "x")
                positionSlots[0] = k;
            if (n == "y")
                positionSlots[1] = k;
            if (n == "z")
                positionSlots[2] = k;
            if (n == "nx")
                normalSlots[0] = k;
            if (n == "ny")
                normalSlots[1] = k;
            if (n == "nz")
                normalSlots[2] = k;
            if (n == "red" || n == "r")
                colorSlots[0] = k;
            if (n == "green" || n == "g")
                colorSlots[1] = k;
            if (n == "blue" || n == "b")
                colorSlots[2] = k;
        }
        const bool hasColor = isVertex && colorSlots[0] >= 0 && colorSlots[1] >= 0 && colorSlots[2] >= 0;
        if (hasColor) {
            mesh.colors.assign(static_cast<std::size_t>(element.count) * 3, 0);
        }
        const bool hasNormals = isVertex && normalSlots[0] >= 0 && normalSlots[1] >= 0 && normalSlots[2] >= 0;
        if (hasNormals) {
            mesh.normals.assign(static_cast<std::size_t>(element.count) * 3, 0.0f);
        }
        std::vector<double> list;
        for (qint64 row = 0; row < element.count; ++row) {
            for (int k = 0; k < element.properties.size(); ++k) {
                const Property& p = element.properties[k];
                if (p.isList) {
                    double countValue = 0;
                    if (!reader.read(p.countType, countValue) || countValue < 0 || countValue > 1e6) {
                        return unexpected(malformed);
                    }
                    list.resize(static_cast<std::size_t>(countValue));
                    for (double& v : list) {
                        if (!reader.read(p.type, v)) {
                            return unexpected(malformed);
                        }
                    }
                    if (isFace && (p.name == "vertex_indices" || p.name == "vertex_index")) {
                        for (std::size_t t = 2; t < list.size(); ++t) {
                            for (double v : {list[0], list[t - 1], list[t]}) {
                                if (v < 0 || v >= static_cast<double>(vertexCount)) {
                                    return unexpected(malformed);
                                }
                                mesh.indices.push_back(static_cast<std::uint32_t>(v));
                            }
                        }
                    }
                    continue;
                }
                double value = 0;
                if (!reader.read(p.type, value)) {
                    return unexpected(malformed);
                }
                if (!isVertex) {
                    continue;
                }
                for (int c = 0; c < 3; ++c) {
                    if (positionSlots[c] == k) {
                        mesh.positions[static_cast<std::size_t>(row) * 3 + c] = static_cast<float>(value);
                    }
                    if (hasNormals && normalSlots[c] == k) {
                        mesh.normals[static_cast<std::size_t>(row) * 3 + c] = static_cast<float>(value);
                    }
                    if (hasColor && colorSlots[c] == k) {
                        const double scaled =
                            (p.type == Scalar::float32 || p.type == Scalar::float64) ? value * 255.0 : value;
                        // A NaN channel is 0: clamping passes NaN through, and NaN has no 8-bit value.
                        mesh.colors[static_cast<std::size_t>(row) * 3 + c] =
                            std::isnan(scaled) ? 0
                                               : static_cast<std::uint8_t>(std::clamp(scaled, 0.0, 255.0));
                    }
                }
            }
        }
    }
    return mesh;
}

} // namespace tovarine::PlyFile

namespace tovarine::PlyFile {

qint64 declaredFaceCount(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return -1;
    }
    const QByteArray head = file.read(64 * 1024);
    const qsizetype end = head.indexOf("end_header");
    if (!head.startsWith("ply") || end < 0) {
        return -1;
    }
    for (const QByteArray& line : head.left(end).split('\n')) {
        const QList<QByteArray> f = line.simplified().split(' ');
        if (f.size() >= 3 && f[0] == "element" && f[1] == "face") {
            bool ok = false;
            const qint64 count = f[2].toLongLong(&ok);
            return ok ? count : -1;
        }
    }
    return 0;
}

} // namespace tovarine::PlyFile
