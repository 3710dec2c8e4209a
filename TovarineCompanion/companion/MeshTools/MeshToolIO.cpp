#include "MeshToolIO.h"

#include "MeshTopology.h"
#include "OBJMeshReader.h"
#include "VecMath.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cmath>
#include <cstring>

namespace tovarine::meshio {

namespace {

QString quoted(const QString& path)
{
    return QStringLiteral("\u201C") + fileName(path) + QStringLiteral("\u201D");
}

MeshToolFailure readFailure(const QString& path, const QString& because)
{
    return {MeshToolFailure::Kind::read,
            QStringLiteral("The file ") + quoted(path) + QStringLiteral(" couldn't be opened ") + because};
}

} // namespace

bool isValidUtf8(std::string_view bytes)
{
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    while (i < n) {
        // Fast path over ASCII, eight bytes at a time.
        while (i + 8 <= n) {
            std::uint64_t word;
            std::memcpy(&word, s + i, 8);
            if (word & 0x8080808080808080ULL) {
                break;
            }
            i += 8;
        }
        if (i >= n) {
            break;
        }
        const unsigned c = s[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        std::size_t length = 0;
        unsigned lowest = 0x80;
        unsigned highest = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
            lowest = c == 0xE0 ? 0xA0 : 0x80;  // no overlong forms
            highest = c == 0xED ? 0x9F : 0xBF; // no surrogates
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
            lowest = c == 0xF0 ? 0x90 : 0x80;
            highest = c == 0xF4 ? 0x8F : 0xBF; // nothing above U+10FFFF
        } else {
            return false;
        }
        if (i + length > n) {
            return false;
        }
        if (s[i + 1] < lowest || s[i + 1] > highest) {
            return false;
        }
        for (std::size_t k = 2; k < length; ++k) {
            if (s[i + k] < 0x80 || s[i + k] > 0xBF) {
                return false;
            }
        }
        i += length;
    }
    return true;
}

Expected<QByteArray, MeshToolFailure> readUtf8File(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        return unexpected(readFailure(path, QStringLiteral("because there is no such file.")));
    }
    if (info.isDir()) {
        return unexpected(readFailure(path, QStringLiteral("because it is a folder.")));
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (file.error() == QFileDevice::PermissionsError) {
            return unexpected(
                readFailure(path, QStringLiteral("because you don't have permission to view it.")));
        }
        return unexpected(readFailure(path, QStringLiteral("(") + file.errorString() + QStringLiteral(").")));
    }
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        return unexpected(readFailure(path, QStringLiteral("(") + file.errorString() + QStringLiteral(").")));
    }
    if (!isValidUtf8(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())))) {
        return unexpected(readFailure(path, QStringLiteral("because it isn't valid UTF-8 text.")));
    }
    return bytes;
}

Expected<LoadedMesh, MeshToolFailure> loadWeldedMesh(const QString& path)
{
    auto text = readUtf8File(path);
    if (!text) {
        return unexpected(text.error());
    }
    MeshLists parsed =
        OBJMeshReader::parse(std::string_view(text->constData(), static_cast<std::size_t>(text->size())));
    *text = QByteArray();
    const MeshTriangles valid =
        MeshTopology::validTriangles(parsed.triangles, static_cast<std::int64_t>(parsed.positions.size()));
    parsed.triangles = MeshTriangles();
    if (parsed.positions.empty() || valid.empty()) {
        return unexpected(MeshToolFailure{MeshToolFailure::Kind::empty, {}});
    }

    LoadedMesh loaded;
    std::vector<char> used(parsed.positions.size(), 0);
    for (const MeshTriangle& t : valid) {
        const Vec3& a = parsed.positions[static_cast<std::size_t>(t[0])];
        const Vec3& b = parsed.positions[static_cast<std::size_t>(t[1])];
        const Vec3& c = parsed.positions[static_cast<std::size_t>(t[2])];
        if (!vecmath::isFinite(a) || !vecmath::isFinite(b) || !vecmath::isFinite(c)) {
            ++loaded.skippedFaces;
            continue;
        }
        for (std::int64_t v : t) {
            used[static_cast<std::size_t>(v)] = 1;
        }
    }
    for (std::size_t v = 0; v < parsed.positions.size(); ++v) {
        const Vec3& p = parsed.positions[v];
        if (used[v] && (std::abs(p[0]) >= kMaxCoordinateMm || std::abs(p[1]) >= kMaxCoordinateMm ||
                        std::abs(p[2]) >= kMaxCoordinateMm)) {
            return unexpected(MeshToolFailure{MeshToolFailure::Kind::range,
                                              QStringLiteral("vertex ") + QString::number(v + 1) +
                                                  QStringLiteral(" lies 1e9 mm or more from the origin")});
        }
    }

    loaded.mesh = MeshTopology::weld(parsed.positions, valid);
    if (loaded.mesh.triangles.empty()) {
        return unexpected(MeshToolFailure{MeshToolFailure::Kind::empty, {}});
    }
    return loaded;
}

std::optional<MeshToolFailure> writeAtomically(const QString& path, std::string_view text)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return MeshToolFailure{MeshToolFailure::Kind::write, QStringLiteral("The file ") + quoted(path) +
                                                                 QStringLiteral(" couldn't be saved (") +
                                                                 file.errorString() + QStringLiteral(").")};
    }
    const auto size = static_cast<qint64>(text.size());
    if (file.write(text.data(), size) != size || !file.commit()) {
        const QString cause = file.errorString();
        return MeshToolFailure{MeshToolFailure::Kind::write, QStringLiteral("The file ") + quoted(path) +
                                                                 QStringLiteral(" couldn't be saved (") +
                                                                 cause + QStringLiteral(").")};
    }
    return std::nullopt;
}

QString fileName(const QString& path)
{
    return QFileInfo(path).fileName();
}

} // namespace tovarine::meshio
