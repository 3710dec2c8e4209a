#include "OBJExporter.h"

#include "OstrelFileNames.h"
#include "UsdzFile.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <charconv>
#include <cmath>
#include <cstring>
#include <string>

namespace tovarine::OBJExporter {

namespace {

// The unit factors as 32-bit floats: the inch factor is the nearest float to 39.3701.
constexpr float kMillimetresPerMetre = 1000.0f;
constexpr float kInchesPerMetre = 39.3701f;

// Room one record may take: "vn " and three floats of at most 15 characters, or "f" and three "a/a/a" of at
// most 33, plus the conversion window past the last number.
constexpr std::size_t kMaxRecordBytes = 128;

class ObjText
{
public:
    explicit ObjText(std::size_t capacity) { m_text.resize(capacity); }

    void ensure(std::size_t bytes)
    {
        if (m_size + bytes > m_text.size()) {
            m_text.resize(std::max(m_text.size() * 2, m_size + bytes));
        }
    }
    void put(std::string_view s)
    {
        std::memcpy(m_text.data() + m_size, s.data(), s.size());
        m_size += s.size();
    }
    void put(float v)
    {
        char* begin = m_text.data() + m_size;
        m_size = std::size_t(std::to_chars(begin, begin + 24, v).ptr - m_text.data());
    }
    void put(std::uint64_t v)
    {
        char* begin = m_text.data() + m_size;
        m_size = std::size_t(std::to_chars(begin, begin + 20, v).ptr - m_text.data());
    }
    const char* data() const { return m_text.data(); }
    std::size_t size() const { return m_size; }

private:
    std::string m_text;
    std::size_t m_size = 0;
};

std::optional<Failure> writeAtomically(const QString& path, const char* data, std::size_t size)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return Failure{Failure::Kind::write, file.errorString()};
    }
    if (file.write(data, qint64(size)) != qint64(size) || !file.commit()) {
        return Failure{Failure::Kind::write, file.errorString()};
    }
    return std::nullopt;
}

} // namespace

QString Failure::localizedDescription() const
{
    switch (kind) {
    case Kind::load:
        return QStringLiteral("couldn't load mesh: ") + text;
    case Kind::write:
        return QStringLiteral("couldn't write OBJ: ") + text;
    case Kind::empty:
        break;
    }
    return QStringLiteral("mesh had no usable geometry");
}

std::optional<Failure> exportModel(const QString& meshPath, const QString& destinationPath, const QString& unit,
                                   std::array<float, 3> scaleMultiplier)
{
    const float factor = unit.toLower() == QLatin1String("in") ? kInchesPerMetre : kMillimetresPerMetre;
    const auto mesh = UsdzFile::read(meshPath);
    if (!mesh || mesh->triangleCount() == 0) {
        return Failure{Failure::Kind::empty, {}};
    }

    const float sx = scaleMultiplier[0] * factor;
    const float sy = scaleMultiplier[1] * factor;
    const float sz = scaleMultiplier[2] * factor;
    const std::size_t vertexCount = mesh->vertexCount();
    const std::size_t triangleCount = mesh->triangleCount();
    const bool hasNormals = mesh->normals.size() == vertexCount * 3 && vertexCount > 0;
    const bool hasTexture = mesh->hasTexture() && vertexCount > 0;

    // A textured model brings its material and texture file beside the OBJ, named after it; they are written
    // before the OBJ that names them.
    QString materialName;
    if (hasTexture) {
        const QFileInfo destination(destinationPath);
        const QString base = destination.completeBaseName();
        const QString extension = QFileInfo(QString::fromStdString(mesh->textureName)).suffix().toLower();
        const QString textureName = base + QStringLiteral("_diffuse.") + (extension.isEmpty() ? QStringLiteral("png") : extension);
        materialName = base + QStringLiteral(".mtl");
        if (auto failure =
                writeAtomically(ostrel::OstrelFileNames::childPath(destination.absolutePath(), textureName),
                                mesh->textureBytes.data(), mesh->textureBytes.size())) {
            return failure;
        }
        const std::string material = "newmtl surface\nKa 1 1 1\nKd 1 1 1\nKs 0 0 0\nd 1\nillum 1\nmap_Kd " +
                                     textureName.toStdString() + "\n";
        if (auto failure =
                writeAtomically(ostrel::OstrelFileNames::childPath(destination.absolutePath(), materialName),
                                material.data(), material.size())) {
            return failure;
        }
    }

    ObjText out(vertexCount * (hasNormals ? 2 : 1) * 56 + vertexCount * (hasTexture ? 40 : 0) +
                triangleCount * (hasNormals ? 72 : 40) * (hasTexture ? 2 : 1) + 256 + std::size_t(materialName.size()) * 4);
    if (hasTexture) {
        out.put("mtllib ");
        out.put(materialName.toStdString());
        out.put("\nusemtl surface\n");
    }
    // Scale along the model's own axes, then turn +90° about X: (x, y, z) to (x, −z, y).
    for (std::size_t i = 0; i < vertexCount; ++i) {
        const float x = mesh->positions[3 * i] * sx;
        const float y = mesh->positions[3 * i + 1] * sy;
        const float z = mesh->positions[3 * i + 2] * sz;
        out.ensure(kMaxRecordBytes);
        out.put("v ");
        out.put(x);
        out.put(" ");
        out.put(-z);
        out.put(" ");
        out.put(y);
        out.put("\n");
    }
    if (hasNormals) {
        // Normals take the inverse transpose of the scale (sy·sz, sx·sz, sx·sy up to a common factor), renormalised.
        const double nx = double(sy) * sz, ny = double(sx) * sz, nz = double(sx) * sy;
        for (std::size_t i = 0; i < vertexCount; ++i) {
            double x = mesh->normals[3 * i] * nx;
            double y = mesh->normals[3 * i + 1] * ny;
            double z = mesh->normals[3 * i + 2] * nz;
            const double length = std::sqrt(x * x + y * y + z * z);
            if (length > 0 && std::isfinite(length)) {
                x /= length;
                y /= length;
                z /= length;
            }
            out.ensure(kMaxRecordBytes);
            out.put("vn ");
            out.put(float(x));
            out.put(" ");
            out.put(float(-z));
            out.put(" ");
            out.put(float(y));
            out.put("\n");
        }
    }
    if (hasTexture) {
        for (std::size_t i = 0; i < vertexCount; ++i) {
            out.ensure(kMaxRecordBytes);
            out.put("vt ");
            out.put(mesh->texcoords[2 * i]);
            out.put(" ");
            out.put(mesh->texcoords[2 * i + 1]);
            out.put("\n");
        }
    }
    for (std::size_t t = 0; t < triangleCount; ++t) {
        out.ensure(kMaxRecordBytes);
        out.put("f");
        for (int k = 0; k < 3; ++k) {
            const std::uint64_t index = std::uint64_t(mesh->indices[3 * t + k]) + 1;
            out.put(" ");
            out.put(index);
            if (hasTexture) {
                out.put("/");
                out.put(index);
            } else if (hasNormals) {
                out.put("/");
            }
            if (hasNormals) {
                out.put("/");
                out.put(index);
            }
        }
        out.put("\n");
    }
    return writeAtomically(destinationPath, out.data(), out.size());
}

} // namespace tovarine::OBJExporter
