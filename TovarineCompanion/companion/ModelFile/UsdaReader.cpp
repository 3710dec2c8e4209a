#include "UsdaReader.h"

#include "UsdaParser.h"
#include "UsdaTransform.h"

#include <cmath>
#include <limits>
#include <string>

namespace tovarine::UsdaReader {

namespace {

using UsdaParser::MeshData;
using UsdaParser::Prim;
using UsdaTransform::Matrix;

struct Placed
{
    const MeshData* mesh;
    Matrix world;
};

QString collect(const Prim& prim, const Matrix& parentWorld, std::vector<Placed>& out)
{
    Matrix local = UsdaTransform::identity();
    bool resetsStack = false;
    if (!prim.xformOpOrder.empty()) {
        // The last op in the order applies to the point first: local = op[n-1] · … · op[0].
        for (const std::string& entry : prim.xformOpOrder) {
            if (entry == "!resetXformStack!") {
                resetsStack = true;
                local = UsdaTransform::identity();
                continue;
            }
            const bool invert = entry.starts_with("!invert!");
            const std::string name = invert ? entry.substr(8) : entry;
            const auto found = prim.xformOps.find(name);
            if (found == prim.xformOps.end()) {
                if (prim.unsupportedOp == name) {
                    return QStringLiteral("The model file uses a transform this reader does not support (%1).")
                        .arg(QString::fromStdString(name));
                }
                return QStringLiteral("The model file lists a transform it does not define (%1).")
                    .arg(QString::fromStdString(name));
            }
            Matrix op = found->second;
            if (invert) {
                const auto inverted = UsdaTransform::inverse(op);
                if (!inverted) {
                    return QStringLiteral("The model file has a transform that cannot be inverted.");
                }
                op = *inverted;
            }
            local = UsdaTransform::multiply(op, local);
        }
    }
    const Matrix world = resetsStack ? local : UsdaTransform::multiply(local, parentWorld);
    if (prim.isMesh) {
        out.push_back({&prim.mesh, world});
    }
    for (const auto& child : prim.children) {
        QString error = collect(*child, world, out);
        if (!error.isEmpty()) {
            return error;
        }
    }
    return {};
}

QString checkMesh(const MeshData& mesh)
{
    if (mesh.points.size() % 3 != 0) {
        return QStringLiteral("The model file has a malformed points array.");
    }
    const std::size_t pointCount = mesh.points.size() / 3;
    std::uint64_t total = 0;
    for (const std::int32_t count : mesh.faceVertexCounts) {
        if (count < 0) {
            return QStringLiteral("The model file has a negative face vertex count.");
        }
        total += std::uint64_t(count);
    }
    if (total != mesh.faceVertexIndices.size()) {
        return QStringLiteral("The model file's face vertex counts do not match its face vertex indices.");
    }
    for (const std::int32_t index : mesh.faceVertexIndices) {
        if (index < 0 || std::size_t(index) >= pointCount) {
            return QStringLiteral("The model file has a face vertex index out of range.");
        }
    }
    return {};
}

// A point that is not finite (nan, or inf after a cast or a transform) has no place: its triangles are
// dropped, as the mesh tools drop them, and the point itself goes, so nothing downstream draws, measures or
// writes it. Normals and colours follow their points.
void dropNonFinitePoints(ModelMesh& mesh)
{
    const std::size_t count = mesh.positions.size() / 3;
    std::vector<std::uint32_t> newIndex(count, std::numeric_limits<std::uint32_t>::max());
    std::uint32_t kept = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (std::isfinite(mesh.positions[3 * i]) && std::isfinite(mesh.positions[3 * i + 1]) &&
            std::isfinite(mesh.positions[3 * i + 2])) {
            newIndex[i] = kept++;
        }
    }
    if (kept == count) {
        return;
    }
    const auto compact = [&](std::vector<float>& values, std::size_t arity) {
        if (values.size() != count * arity) {
            return;
        }
        for (std::size_t i = 0; i < count; ++i) {
            if (newIndex[i] != std::numeric_limits<std::uint32_t>::max()) {
                for (std::size_t c = 0; c < arity; ++c) {
                    values[arity * newIndex[i] + c] = values[arity * i + c];
                }
            }
        }
        values.resize(std::size_t(kept) * arity);
    };
    compact(mesh.normals, 3);
    compact(mesh.colors, 3);
    compact(mesh.texcoords, 2);
    compact(mesh.positions, 3);
    std::size_t out = 0;
    for (std::size_t t = 0; t + 2 < mesh.indices.size(); t += 3) {
        const std::uint32_t a = newIndex[mesh.indices[t]];
        const std::uint32_t b = newIndex[mesh.indices[t + 1]];
        const std::uint32_t c = newIndex[mesh.indices[t + 2]];
        if (a == std::numeric_limits<std::uint32_t>::max() ||
            b == std::numeric_limits<std::uint32_t>::max() ||
            c == std::numeric_limits<std::uint32_t>::max()) {
            continue;
        }
        mesh.indices[out++] = a;
        mesh.indices[out++] = b;
        mesh.indices[out++] = c;
    }
    mesh.indices.resize(out);
}

} // namespace

Expected<ModelMesh, QString> parse(std::string_view layer)
{
    if (layer.starts_with("PXR-USDC")) {
        return unexpected(QStringLiteral("The model file holds a binary USD (usdc) layer, which is not supported."));
    }
    if (!layer.starts_with("#usda")) {
        return unexpected(QStringLiteral("The model file's root layer is not a USD text (usda) layer."));
    }
    auto parsed = UsdaParser::parse(layer);
    if (!parsed) {
        return unexpected(parsed.error());
    }

    // Layer units and up axis apply after every prim transform.
    const double unit = parsed->metersPerUnit;
    Matrix toMetres = UsdaTransform::scaling(unit, unit, unit);
    if (parsed->zUp) {
        toMetres = UsdaTransform::multiply(toMetres, UsdaTransform::rotation(0, -90.0));
        // Exact zeros and ones: the turn takes (x, y, z) to (x, z, −y).
        toMetres[1][1] = toMetres[2][2] = 0;
        toMetres[1][2] = -unit;
        toMetres[2][1] = unit;
    }
    std::vector<Placed> placed;
    if (QString error = collect(parsed->root, toMetres, placed); !error.isEmpty()) {
        return unexpected(error);
    }
    if (placed.empty()) {
        return unexpected(QStringLiteral("The model file holds no mesh."));
    }

    std::uint64_t totalPoints = 0;
    std::uint64_t totalTriangles = 0;
    bool allNormals = true;
    bool allColors = true;
    bool allTexcoords = true;
    for (const Placed& item : placed) {
        if (QString error = checkMesh(*item.mesh); !error.isEmpty()) {
            return unexpected(error);
        }
        const std::size_t pointCount = item.mesh->points.size() / 3;
        totalPoints += pointCount;
        for (const std::int32_t count : item.mesh->faceVertexCounts) {
            totalTriangles += count >= 3 ? std::uint64_t(count - 2) : 0;
        }
        allNormals = allNormals && item.mesh->normals.size() == item.mesh->points.size();
        allTexcoords = allTexcoords && item.mesh->texcoords.size() == pointCount * 2;
        allColors = allColors && (item.mesh->colors.size() == item.mesh->points.size() ||
                                  (item.mesh->colors.size() == 3 && pointCount > 0));
    }
    if (totalPoints > std::numeric_limits<std::uint32_t>::max()) {
        return unexpected(QStringLiteral("The model file holds more points than can be read."));
    }

    ModelMesh result;
    result.positions.reserve(std::size_t(totalPoints) * 3);
    result.indices.reserve(std::size_t(totalTriangles) * 3);
    if (allNormals) {
        result.normals.reserve(std::size_t(totalPoints) * 3);
    }
    if (allColors) {
        result.colors.reserve(std::size_t(totalPoints) * 3);
    }
    for (const Placed& item : placed) {
        const MeshData& mesh = *item.mesh;
        const Matrix& m = item.world;
        const auto base = std::uint32_t(result.positions.size() / 3);
        const std::size_t pointCount = mesh.points.size() / 3;
        if (UsdaTransform::isIdentity(m)) {
            result.positions.insert(result.positions.end(), mesh.points.begin(), mesh.points.end());
        } else {
            for (std::size_t i = 0; i < pointCount; ++i) {
                const double x = mesh.points[3 * i], y = mesh.points[3 * i + 1], z = mesh.points[3 * i + 2];
                for (int c = 0; c < 3; ++c) {
                    result.positions.push_back(float(x * m[0][c] + y * m[1][c] + z * m[2][c] + m[3][c]));
                }
            }
        }
        const double determinant = UsdaTransform::linearDeterminant(m);
        if (allNormals) {
            if (UsdaTransform::isIdentity(m)) {
                result.normals.insert(result.normals.end(), mesh.normals.begin(), mesh.normals.end());
            } else {
                // Normals follow the inverse transpose; the cofactor matrix is that times the determinant, whose
                // sign is divided back out so mirrored normals still point outward.
                const double sign = determinant < 0 ? -1.0 : 1.0;
                double n[3][3];
                for (int r = 0; r < 3; ++r) {
                    for (int c = 0; c < 3; ++c) {
                        const int r1 = (r + 1) % 3, r2 = (r + 2) % 3, c1 = (c + 1) % 3, c2 = (c + 2) % 3;
                        n[r][c] = sign * (m[r1][c1] * m[r2][c2] - m[r1][c2] * m[r2][c1]);
                    }
                }
                for (std::size_t i = 0; i < pointCount; ++i) {
                    const double x = mesh.normals[3 * i], y = mesh.normals[3 * i + 1], z = mesh.normals[3 * i + 2];
                    double v[3];
                    for (int c = 0; c < 3; ++c) {
                        v[c] = x * n[0][c] + y * n[1][c] + z * n[2][c];
                    }
                    const double length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
                    const double scale = length > 0 ? 1.0 / length : 0.0;
                    for (double c : v) {
                        result.normals.push_back(float(c * scale));
                    }
                }
            }
        }
        if (allColors) {
            if (mesh.colors.size() == mesh.points.size()) {
                result.colors.insert(result.colors.end(), mesh.colors.begin(), mesh.colors.end());
            } else {
                for (std::size_t i = 0; i < pointCount; ++i) {
                    result.colors.insert(result.colors.end(), mesh.colors.begin(), mesh.colors.end());
                }
            }
        }
        if (allTexcoords) {
            result.texcoords.insert(result.texcoords.end(), mesh.texcoords.begin(), mesh.texcoords.end());
        }
        const bool flip = mesh.leftHanded != (determinant < 0);
        std::size_t at = 0;
        for (const std::int32_t count : mesh.faceVertexCounts) {
            const auto* face = mesh.faceVertexIndices.data() + at;
            for (std::int32_t k = 1; k + 1 < count; ++k) {
                const std::uint32_t a = base + std::uint32_t(face[0]);
                const std::uint32_t b = base + std::uint32_t(face[k]);
                const std::uint32_t c = base + std::uint32_t(face[k + 1]);
                result.indices.push_back(a);
                result.indices.push_back(flip ? c : b);
                result.indices.push_back(flip ? b : c);
            }
            at += std::size_t(count);
        }
    }
    if (!result.texcoords.empty()) {
        result.textureName = parsed->textureAsset;
    }
    dropNonFinitePoints(result);
    return result;
}

} // namespace tovarine::UsdaReader
