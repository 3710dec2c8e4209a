#include "UsdzFile.h"

#include "UsdaReader.h"
#include "UsdaWriter.h"
#include "ZipPackage.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>

namespace tovarine::UsdzFile {

namespace {

const QString kRootLayerName = QStringLiteral("model.usda");

bool isLayerName(const QString& name)
{
    const QString lower = name.toLower();
    return lower.endsWith(QLatin1String(".usda")) || lower.endsWith(QLatin1String(".usdc")) ||
           lower.endsWith(QLatin1String(".usd"));
}

Expected<QByteArray, QString> encodePackage(const ModelMesh& mesh)
{
    const std::string layer = UsdaWriter::write(mesh);
    std::vector<ZipPackage::StoredEntry> entries{{kRootLayerName, std::string_view(layer)}};
    if (mesh.hasTexture() && !mesh.textureName.empty()) {
        entries.push_back({QString::fromStdString(mesh.textureName), std::string_view(mesh.textureBytes)});
    }
    return ZipPackage::encodeStored(entries);
}

// A texture's entry name: a plain file name, so it reads back as the same asset path.
bool isTextureName(const std::string& name)
{
    return !name.empty() && name.front() != '.' &&
           std::all_of(name.begin(), name.end(), [](char c) {
               return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
                      c == '-' || c == '.';
           });
}

// The texture the layer names, from the package (a path relative to the layer's folder). A texture that is
// missing or damaged leaves the model without one: its geometry and display colours still read.
void attachTexture(std::string_view package, const std::vector<ZipPackage::Entry>& entries,
                   const QString& layerName, ModelMesh& mesh)
{
    const QString folder = layerName.contains(u'/') ? layerName.left(layerName.lastIndexOf(u'/') + 1) : QString();
    QString wanted = QString::fromStdString(mesh.textureName);
    if (wanted.startsWith(QLatin1String("./"))) {
        wanted = wanted.mid(2);
    }
    wanted = folder + wanted;
    mesh.textureName.clear();
    for (const ZipPackage::Entry& entry : entries) {
        if (entry.name != wanted) {
            continue;
        }
        auto bytes = ZipPackage::extract(package, entry);
        if (bytes && !bytes->isEmpty()) {
            mesh.textureBytes.assign(bytes->constData(), std::size_t(bytes->size()));
            mesh.textureName = wanted.toStdString();
        }
        return;
    }
}

} // namespace

QByteArray encode(const ModelMesh& mesh)
{
    auto package = encodePackage(mesh);
    return package ? std::move(package).value() : QByteArray();
}

Expected<void, QString> write(const ModelMesh& mesh, const QString& path)
{
    // A package whose triangles point past the vertices could not be read back: refuse to write it.
    const std::size_t vertexCount = mesh.vertexCount();
    if (mesh.positions.size() % 3 != 0 || mesh.indices.size() % 3 != 0 ||
        std::any_of(mesh.indices.begin(), mesh.indices.end(),
                    [vertexCount](std::uint32_t index) { return index >= vertexCount; }) ||
        (mesh.hasTexture() && !isTextureName(mesh.textureName))) {
        return unexpected(QStringLiteral("Couldn't write the model file %1: the mesh is malformed.")
                              .arg(QFileInfo(path).fileName()));
    }
    auto package = encodePackage(mesh);
    if (!package) {
        return unexpected(package.error());
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return unexpected(QStringLiteral("Couldn't write the model file %1: %2")
                              .arg(QFileInfo(path).fileName(), file.errorString()));
    }
    if (file.write(package.value()) != package.value().size() || !file.commit()) {
        return unexpected(QStringLiteral("Couldn't write the model file %1: %2")
                              .arg(QFileInfo(path).fileName(), file.errorString()));
    }
    return {};
}

Expected<ModelMesh, QString> read(const QString& path)
{
    QFile file(path);
    if (!file.exists()) {
        return unexpected(QStringLiteral("The model file %1 does not exist.").arg(QFileInfo(path).fileName()));
    }
    if (!file.open(QIODevice::ReadOnly)) {
        return unexpected(QStringLiteral("Couldn't open the model file %1: %2")
                              .arg(QFileInfo(path).fileName(), file.errorString()));
    }
    // Mapping avoids copying a large package; a file that cannot be mapped (a pipe, an empty file) is read.
    const qint64 size = file.size();
    if (size > 0) {
        if (uchar* mapped = file.map(0, size)) {
            const QByteArray view = QByteArray::fromRawData(reinterpret_cast<const char*>(mapped), size);
            auto result = decode(view);
            file.unmap(mapped);
            return result;
        }
    }
    return decode(file.readAll());
}

Expected<ModelMesh, QString> decode(const QByteArray& packageBytes)
{
    const std::string_view package(packageBytes.constData(), std::size_t(packageBytes.size()));
    auto entries = ZipPackage::listEntries(package);
    if (!entries) {
        return unexpected(entries.error());
    }
    for (const ZipPackage::Entry& entry : entries.value()) {
        if (!isLayerName(entry.name)) {
            continue;
        }
        auto layer = ZipPackage::extract(package, entry);
        if (!layer) {
            return unexpected(layer.error());
        }
        auto mesh = UsdaReader::parse(std::string_view(layer->constData(), std::size_t(layer->size())));
        if (mesh && !mesh->textureName.empty()) {
            attachTexture(package, entries.value(), entry.name, *mesh);
        }
        return mesh;
    }
    return unexpected(QStringLiteral("The model file holds no USD layer."));
}

} // namespace tovarine::UsdzFile
