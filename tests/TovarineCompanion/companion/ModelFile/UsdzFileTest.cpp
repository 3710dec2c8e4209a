#include "UsdzFile.h"
#include "HangCeiling.h"
#include "ZipPackage.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <zlib.h>

#include <cmath>
#include <cstring>
#include <limits>

using namespace tovarine;

namespace {

std::uint16_t le16(const QByteArray& b, qsizetype at)
{
    return std::uint16_t(std::uint8_t(b[at]) | (std::uint8_t(b[at + 1]) << 8));
}

std::uint32_t le32(const QByteArray& b, qsizetype at)
{
    return std::uint32_t(le16(b, at)) | (std::uint32_t(le16(b, at + 2)) << 16);
}

// Floats that a decimal writer tends to get wrong: non-terminating binary fractions, tiny and huge magnitudes,
// a subnormal, negative zero.
ModelMesh awkwardMesh()
{
    ModelMesh mesh;
    mesh.positions = {0.1f,  1e-30f, -0.0f,    1.0f / 3.0f, std::numeric_limits<float>::max(), 1e-45f,
                      -2.5f, 0.3f,   123456.7f, 0.0f,       -0.0f,                            std::nextafter(1.0f, 2.0f)};
    mesh.normals = {0, 0, 1, 0.57735026f, 0.57735026f, 0.57735026f, -1, -0.0f, 0, 0.6f, 0.8f, 0};
    mesh.colors = {0.2f, 0.4f, 0.6f, 1, 1, 1, 0, 0, 0, 0.123456789f, 0.5f, 0.99999994f};
    mesh.indices = {0, 1, 2, 0, 2, 3, 3, 2, 1};
    return mesh;
}

ModelMesh triangle()
{
    ModelMesh mesh;
    mesh.positions = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    mesh.indices = {0, 1, 2};
    return mesh;
}

bool sameBits(const std::vector<float>& a, const std::vector<float>& b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

} // namespace

TEST(UsdzFile, RoundTripKeepsEveryFloatBitForBit)
{
    const ModelMesh mesh = awkwardMesh();
    const auto decoded = UsdzFile::decode(UsdzFile::encode(mesh));
    ASSERT_TRUE(decoded) << decoded.error().toStdString();
    EXPECT_TRUE(sameBits(decoded->positions, mesh.positions));
    EXPECT_TRUE(sameBits(decoded->normals, mesh.normals));
    EXPECT_TRUE(sameBits(decoded->colors, mesh.colors));
    EXPECT_EQ(decoded->indices, mesh.indices);

    // Without normals and colours nothing is invented on the way back.
    const auto plain = UsdzFile::decode(UsdzFile::encode(triangle()));
    ASSERT_TRUE(plain);
    EXPECT_TRUE(plain->normals.empty());
    EXPECT_TRUE(plain->colors.empty());
    EXPECT_EQ(plain->indices, triangle().indices);
}

TEST(UsdzFile, PackageIsStoredAlignedAndSelfConsistent)
{
    const QByteArray package = UsdzFile::encode(awkwardMesh());
    ASSERT_GE(package.size(), 30 + 22);

    // The first local header is the root layer, stored, with its data on a 64-byte boundary.
    ASSERT_EQ(le32(package, 0), 0x04034b50u);
    EXPECT_EQ(le16(package, 8), 0) << "compression method";
    const std::uint32_t crc = le32(package, 14);
    const std::uint32_t compressed = le32(package, 18);
    const std::uint32_t size = le32(package, 22);
    const std::uint16_t nameBytes = le16(package, 26);
    const std::uint16_t extraBytes = le16(package, 28);
    EXPECT_EQ(package.mid(30, nameBytes), QByteArray("model.usda"));
    const qsizetype dataOffset = 30 + nameBytes + extraBytes;
    EXPECT_EQ(dataOffset % 64, 0);
    EXPECT_EQ(compressed, size);
    const QByteArray layer = package.mid(dataOffset, size);
    EXPECT_EQ(crc, std::uint32_t(crc32(0, reinterpret_cast<const Bytef*>(layer.constData()), uInt(layer.size()))));
    EXPECT_TRUE(layer.startsWith("#usda 1.0\n"));

    // End record and central directory agree with the local header.
    const qsizetype end = package.size() - 22;
    ASSERT_EQ(le32(package, end), 0x06054b50u);
    EXPECT_EQ(le16(package, end + 10), 1);
    const std::uint32_t directoryOffset = le32(package, end + 16);
    EXPECT_EQ(directoryOffset + le32(package, end + 12), std::uint32_t(end));
    ASSERT_EQ(le32(package, directoryOffset), 0x02014b50u);
    EXPECT_EQ(le32(package, directoryOffset + 16), crc);
    EXPECT_EQ(le32(package, directoryOffset + 24), size);
    EXPECT_EQ(le32(package, directoryOffset + 42), 0u) << "local header offset";

    for (const char* expected :
         {"metersPerUnit = 1\n", "upAxis = \"Y\"", "defaultPrim = \"model\"", "def Xform \"model\"", "def Mesh",
          "int[] faceVertexCounts = [3, 3, 3]", "interpolation = \"vertex\"", "color3f[] primvars:displayColor",
          "\"UsdPreviewSurface\"", "float inputs:roughness = 0.6", "float inputs:metallic = 0",
          "\"UsdPrimvarReader_float3\"", "rel material:binding"}) {
        EXPECT_TRUE(layer.contains(expected)) << expected;
    }
}

TEST(UsdzFile, AlignmentHoldsForEveryEntryOfAPackage)
{
    // Names of every length modulo 64 exercise the padding, including the case where it would be under 4 bytes.
    std::vector<std::string> data;
    std::vector<ZipPackage::StoredEntry> entries;
    for (int i = 0; i < 70; ++i) {
        data.push_back(std::string(std::size_t(i * 7 % 131), char('a' + i % 26)));
    }
    for (int i = 0; i < 70; ++i) {
        entries.push_back({QString(i + 1, QLatin1Char('n')) + QStringLiteral(".bin"), data[std::size_t(i)]});
    }
    const auto package = ZipPackage::encodeStored(entries);
    ASSERT_TRUE(package);
    const std::string_view bytes(package->constData(), std::size_t(package->size()));
    const auto listed = ZipPackage::listEntries(bytes);
    ASSERT_TRUE(listed) << listed.error().toStdString();
    ASSERT_EQ(listed->size(), entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const auto& entry = (*listed)[i];
        EXPECT_EQ(entry.name, entries[i].name);
        EXPECT_EQ(entry.dataOffset % 64, 0u) << entry.name.toStdString();
        const auto extracted = ZipPackage::extract(bytes, entry);
        ASSERT_TRUE(extracted);
        EXPECT_EQ(extracted->toStdString(), data[i]);
    }
}

TEST(UsdzFile, WrittenFileIsDeterministicAndPassesUnzip)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("model.usdz"));
    const ModelMesh mesh = awkwardMesh();
    ASSERT_TRUE(UsdzFile::write(mesh, path));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray written = file.readAll();
    EXPECT_EQ(written, UsdzFile::encode(mesh));
    EXPECT_EQ(UsdzFile::encode(mesh), UsdzFile::encode(mesh));

    QProcess unzip;
    unzip.start(QStringLiteral("/usr/bin/unzip"), {QStringLiteral("-t"), path});
    ASSERT_TRUE(unzip.waitForFinished(tovarine::test::kHangCeilingMs));
    EXPECT_EQ(unzip.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(unzip.exitCode(), 0) << unzip.readAllStandardOutput().toStdString();

    const auto reread = UsdzFile::read(path);
    ASSERT_TRUE(reread) << reread.error().toStdString();
    EXPECT_TRUE(sameBits(reread->positions, mesh.positions));
}

TEST(UsdzFile, FileErrorsAreSentences)
{
    QTemporaryDir dir;
    const auto missing = UsdzFile::read(dir.filePath(QStringLiteral("nothing.usdz")));
    ASSERT_FALSE(missing);
    EXPECT_TRUE(missing.error().contains(QLatin1String("does not exist")));

    const auto unwritable = UsdzFile::write(triangle(), dir.filePath(QStringLiteral("no/such/folder/model.usdz")));
    ASSERT_FALSE(unwritable);
    EXPECT_TRUE(unwritable.error().startsWith(QLatin1String("Couldn't write the model file model.usdz")));
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("no"))));

    // A mesh that could not be read back is refused, and an earlier file stays as it was.
    const QString path = dir.filePath(QStringLiteral("model.usdz"));
    ASSERT_TRUE(UsdzFile::write(triangle(), path));
    ModelMesh broken = triangle();
    broken.indices = {0, 1, 3};
    const auto refused = UsdzFile::write(broken, path);
    ASSERT_FALSE(refused);
    EXPECT_TRUE(refused.error().contains(QLatin1String("malformed")));
    const auto kept = UsdzFile::read(path);
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->indices, triangle().indices);
}

TEST(UsdzFile, BadPackagesGiveErrorsNotCrashes)
{
    const QByteArray good = UsdzFile::encode(triangle());
    const auto zipOf = [](const QString& name, const std::string& data) {
        return ZipPackage::encodeStored({{name, data}}).value();
    };
    QByteArray flipped = good;
    flipped[100] = char(flipped[100] ^ 0x20); // inside the layer: the CRC no longer matches
    QByteArray badDirectory = good;
    badDirectory[badDirectory.size() - 3] = char(0x7f); // directory offset past the end

    const struct
    {
        const char* what;
        QByteArray bytes;
        const char* message;
    } cases[] = {
        {"empty", QByteArray(), "not a zip"},
        {"not a zip", QByteArray("#usda 1.0\n def Mesh \"m\" {}"), "not a zip"},
        {"truncated", good.left(good.size() / 2), "not a zip"},
        {"flipped layer byte", flipped, "corrupt"},
        {"bad directory offset", badDirectory, "damaged"},
        {"binary layer", zipOf(QStringLiteral("model.usdc"), "PXR-USDC\x08\0\0\0"), "binary USD (usdc)"},
        {"binary layer named usd", zipOf(QStringLiteral("scene.usd"), "PXR-USDC"), "binary USD (usdc)"},
        {"no layer", zipOf(QStringLiteral("texture.png"), "png"), "no USD layer"},
        {"no mesh", zipOf(QStringLiteral("model.usda"), "#usda 1.0\ndef Xform \"x\" {}\n"), "no mesh"},
        {"truncated array",
         zipOf(QStringLiteral("model.usda"), "#usda 1.0\ndef Mesh \"m\" {\n point3f[] points = [(0, 0, 0), (1, 0"),
         "malformed near line 3"},
    };
    for (const auto& c : cases) {
        const auto result = UsdzFile::decode(c.bytes);
        ASSERT_FALSE(result) << c.what;
        EXPECT_TRUE(result.error().contains(QLatin1String(c.message)))
            << c.what << ": " << result.error().toStdString();
    }
}

TEST(UsdzFile, ReadsADeflatedZUpPackageMadeByZip)
{
    if (!QFile::exists(QStringLiteral("/usr/bin/zip"))) {
        GTEST_SKIP() << "/usr/bin/zip is not installed";
    }
    QTemporaryDir dir;
    // A centimetre, Z-up layer with a quad under a translated, scaled Xform; a texture entry comes first so the
    // root layer is found by its extension, not its position.
    const QByteArray layer = R"usda(#usda 1.0
(
    doc = """A hand-written "scene" (with parentheses)"""
    metersPerUnit = 0.01
    upAxis = "Z"
    customLayerData = { string creator = "hand" }
)

def Xform "root" (
    kind = "component"
)
{
    double3 xformOp:translate = (100, 0, 0)   # one metre along X
    float3 xformOp:scale = (2, 2, 2)
    uniform token[] xformOpOrder = ["xformOp:translate", "xformOp:scale"]

    def Mesh "quad"
    {
        int[] faceVertexCounts = [4]
        int[] faceVertexIndices = [0, 1, 2, 3]
        point3f[] points = [(0, 0, 0), (10, 0, 0), (10, 0, 50), (0, 0, 50)]
        rel material:binding = </root/Looks/m>
    }
}
)usda";
    QFile texture(dir.filePath(QStringLiteral("a_texture.png")));
    ASSERT_TRUE(texture.open(QIODevice::WriteOnly));
    texture.write(QByteArray(4096, 'x'));
    texture.close();
    QFile file(dir.filePath(QStringLiteral("scene.usda")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(layer);
    file.close();

    QProcess zip;
    zip.setWorkingDirectory(dir.path());
    zip.start(QStringLiteral("/usr/bin/zip"),
              {QStringLiteral("-9"), QStringLiteral("-X"), QStringLiteral("package.usdz"),
               QStringLiteral("a_texture.png"), QStringLiteral("scene.usda")});
    ASSERT_TRUE(zip.waitForFinished(tovarine::test::kHangCeilingMs));
    ASSERT_EQ(zip.exitCode(), 0);

    QFile packageFile(dir.filePath(QStringLiteral("package.usdz")));
    ASSERT_TRUE(packageFile.open(QIODevice::ReadOnly));
    const QByteArray package = packageFile.readAll();
    const auto entries = ZipPackage::listEntries(std::string_view(package.constData(), std::size_t(package.size())));
    ASSERT_TRUE(entries);
    ASSERT_EQ(entries->size(), 2u);
    EXPECT_EQ((*entries)[1].method, 8) << "the layer should be deflated";

    const auto mesh = UsdzFile::read(packageFile.fileName());
    ASSERT_TRUE(mesh) << mesh.error().toStdString();
    // Scaled by 2, moved 100 cm along X, then centimetres to metres and Z up to Y up: (x, y, z) to (x, z, −y).
    const std::vector<float> expected = {1.0f, 0.0f, 0.0f, 1.2f, 0.0f, 0.0f, 1.2f, 1.0f, 0.0f, 1.0f, 1.0f, 0.0f};
    ASSERT_EQ(mesh->positions.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_NEAR(mesh->positions[i], expected[i], 1e-6) << i;
    }
    EXPECT_EQ(mesh->indices, (std::vector<std::uint32_t>{0, 1, 2, 0, 2, 3}));
}

// A package whose deflated layer claims a thousand to one: refused at once, before the memory is taken.
TEST(UsdzFile, ADeflatedLayerThatClaimsToExpandPastAModelIsRefused)
{
    QByteArray layer("#usda 1.0\n");
    layer.append(QByteArray(64 << 20, ' '));
    uLongf bound = compressBound(uLong(layer.size()));
    QByteArray zlibbed(qsizetype(bound), Qt::Uninitialized);
    ASSERT_EQ(compress2(reinterpret_cast<Bytef*>(zlibbed.data()), &bound,
                        reinterpret_cast<const Bytef*>(layer.constData()), uLong(layer.size()), 9),
              Z_OK);
    // Raw deflate: the zlib stream without its 2-byte header and 4-byte trailer.
    const QByteArray deflated = zlibbed.mid(2, qsizetype(bound) - 6);
    const std::uint32_t crc =
        std::uint32_t(crc32(0, reinterpret_cast<const Bytef*>(layer.constData()), uInt(layer.size())));
    const QByteArray name("model.usda");
    const auto le = [](QByteArray& out, std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            out.append(char((value >> (8 * i)) & 0xff));
        }
    };
    // The fields the local and the central header share: version needed, flags, method, time and date, CRC,
    // both sizes and the name's length.
    const auto sharedFields = [&](QByteArray& out) {
        le(out, 20, 2);
        le(out, 0, 2);
        le(out, 8, 2);
        le(out, 0, 4);
        le(out, crc, 4);
        le(out, std::uint32_t(deflated.size()), 4);
        le(out, std::uint32_t(layer.size()), 4);
        le(out, std::uint32_t(name.size()), 2);
    };
    QByteArray package;
    le(package, 0x04034b50, 4);
    sharedFields(package);
    le(package, 0, 2); // extra field
    package.append(name).append(deflated);
    const auto directory = std::uint32_t(package.size());
    le(package, 0x02014b50, 4);
    le(package, 20, 2); // made by
    sharedFields(package);
    le(package, 0, 2); // extra field
    le(package, 0, 2); // comment
    le(package, 0, 2); // disk
    le(package, 0, 2); // internal attributes
    le(package, 0, 4); // external attributes
    le(package, 0, 4); // local header offset
    package.append(name);
    const auto directorySize = std::uint32_t(package.size()) - directory;
    le(package, 0x06054b50, 4);
    le(package, 0, 4);
    le(package, 1, 2);
    le(package, 1, 2);
    le(package, directorySize, 4);
    le(package, directory, 4);
    le(package, 0, 2);
    ASSERT_LT(package.size(), 200 * 1024);

    const auto entries =
        ZipPackage::listEntries(std::string_view(package.constData(), std::size_t(package.size())));
    ASSERT_TRUE(entries) << entries.error().toStdString();
    ASSERT_EQ(entries->size(), 1u);
    EXPECT_EQ((*entries)[0].method, 8);
    const auto mesh = UsdzFile::decode(package);
    ASSERT_FALSE(mesh);
    EXPECT_TRUE(mesh.error().contains(QStringLiteral("claims to expand"))) << mesh.error().toStdString();
}

TEST(UsdzFile, ATexturedModelCarriesItsTextureAlignedAndReadsBack)
{
    ModelMesh mesh = awkwardMesh();
    mesh.texcoords = {0.1f, 0.2f, 0.9f, 0.2f, 0.9f, 0.8f, 1.0f / 3.0f, 0.0f};
    mesh.textureBytes = std::string("\x89PNG\r\n\x1a\n", 8) + std::string(1000, 'x');
    mesh.textureName = "diffuse.png";
    const QByteArray package = UsdzFile::encode(mesh);
    ASSERT_FALSE(package.isEmpty());
    const std::string_view view(package.constData(), std::size_t(package.size()));
    auto entries = ZipPackage::listEntries(view);
    ASSERT_TRUE(entries);
    ASSERT_EQ(entries->size(), 2u);
    EXPECT_EQ((*entries)[0].name, QStringLiteral("model.usda"));
    EXPECT_EQ((*entries)[1].name, QStringLiteral("diffuse.png"));
    EXPECT_EQ((*entries)[1].method, 0);
    EXPECT_EQ((*entries)[1].dataOffset % ZipPackage::kEntryAlignmentBytes, 0u);
    const QByteArray layer = *ZipPackage::extract(view, (*entries)[0]);
    for (const char* expected : {"texCoord2f[] primvars:st = [", "info:id = \"UsdUVTexture\"",
                                 "asset inputs:file = @diffuse.png@",
                                 "inputs:diffuseColor.connect = </model/Materials/surface/diffuseTexture.outputs:rgb>",
                                 "color3f[] primvars:displayColor"}) {
        EXPECT_TRUE(layer.contains(expected)) << expected;
    }

    auto read = UsdzFile::decode(package);
    ASSERT_TRUE(read) << read.error().toStdString();
    EXPECT_TRUE(sameBits(read->texcoords, mesh.texcoords));
    EXPECT_TRUE(sameBits(read->colors, mesh.colors));
    EXPECT_EQ(read->textureName, "diffuse.png");
    EXPECT_EQ(read->textureBytes, mesh.textureBytes);

    // A package that lost its texture entry still reads, without the texture.
    const QByteArray layerOnly =
        *ZipPackage::encodeStored({{QStringLiteral("model.usda"), std::string_view(layer.constData(), layer.size())}});
    auto withoutTexture = UsdzFile::decode(layerOnly);
    ASSERT_TRUE(withoutTexture) << withoutTexture.error().toStdString();
    EXPECT_FALSE(withoutTexture->hasTexture());
    EXPECT_EQ(withoutTexture->vertexCount(), mesh.vertexCount());
}

TEST(UsdzFile, ATextureNameThatWouldNotReadBackIsRefused)
{
    QTemporaryDir dir;
    for (const char* name : {"../diffuse.png", "a b.png", "x@y.png", ".png"}) {
        ModelMesh mesh = triangle();
        mesh.texcoords = {0, 0, 1, 0, 0, 1};
        mesh.textureBytes = "bytes";
        mesh.textureName = name;
        const QString path = dir.filePath(QStringLiteral("model.usdz"));
        auto written = UsdzFile::write(mesh, path);
        ASSERT_FALSE(written) << name;
        EXPECT_TRUE(written.error().contains(QLatin1String("malformed"))) << name;
        EXPECT_FALSE(QFile::exists(path)) << name;
    }
}
