// Stand-in for the model-file library while it is not yet part of the build: stores the mesh arrays as raw
// bytes, so these tests can write and read back models. Compiled only when companion_modelfile is missing.
#include "UsdzFile.h"

#include <QDataStream>
#include <QFile>
#include <QSaveFile>

namespace tovarine::UsdzFile {
namespace {

template <class T>
void put(QDataStream& out, const std::vector<T>& values)
{
    out << static_cast<quint64>(values.size());
    out.writeRawData(reinterpret_cast<const char*>(values.data()), static_cast<int>(values.size() * sizeof(T)));
}

template <class T>
bool take(QDataStream& in, std::vector<T>& values)
{
    quint64 count = 0;
    in >> count;
    if (count > (1ull << 32)) {
        return false;
    }
    values.resize(count);
    return in.readRawData(reinterpret_cast<char*>(values.data()), static_cast<int>(count * sizeof(T))) ==
           static_cast<int>(count * sizeof(T));
}

} // namespace

QByteArray encode(const ModelMesh& mesh)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    put(out, mesh.positions);
    put(out, mesh.normals);
    put(out, mesh.colors);
    put(out, mesh.indices);
    return bytes;
}

Expected<void, QString> write(const ModelMesh& mesh, const QString& path)
{
    QSaveFile file(path);
    const QByteArray bytes = encode(mesh);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        return unexpected(QStringLiteral("could not write %1").arg(path));
    }
    return {};
}

Expected<ModelMesh, QString> decode(const QByteArray& packageBytes)
{
    QDataStream in(packageBytes);
    ModelMesh mesh;
    if (!take(in, mesh.positions) || !take(in, mesh.normals) || !take(in, mesh.colors) || !take(in, mesh.indices)) {
        return unexpected(QStringLiteral("corrupt"));
    }
    return mesh;
}

Expected<ModelMesh, QString> read(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return unexpected(QStringLiteral("missing"));
    }
    return decode(file.readAll());
}

} // namespace tovarine::UsdzFile
