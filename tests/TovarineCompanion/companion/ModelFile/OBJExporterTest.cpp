#include "OBJExporter.h"
#include "HangCeiling.h"
#include "UsdzFile.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <array>
#include <cmath>

using namespace tovarine;

namespace {

struct Obj
{
    std::vector<std::array<float, 3>> vertices;
    std::vector<std::array<float, 3>> normals;
    std::vector<std::string> faces;
};

Obj readObj(const QString& path)
{
    Obj obj;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return obj;
    }
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QList<QByteArray> parts = line.split(' ');
        if (parts[0] == "v" || parts[0] == "vn") {
            EXPECT_EQ(parts.size(), 4) << line.toStdString();
            std::array<float, 3> v{};
            for (int i = 0; i < 3 && i + 1 < parts.size(); ++i) {
                v[std::size_t(i)] = parts[i + 1].toFloat();
            }
            (parts[0] == "v" ? obj.vertices : obj.normals).push_back(v);
        } else if (parts[0] == "f") {
            obj.faces.push_back(line.mid(2).toStdString());
        }
    }
    return obj;
}

std::array<float, 3> span(const Obj& obj)
{
    std::array<float, 3> lo{INFINITY, INFINITY, INFINITY};
    std::array<float, 3> hi{-INFINITY, -INFINITY, -INFINITY};
    for (const auto& v : obj.vertices) {
        for (std::size_t a = 0; a < 3; ++a) {
            lo[a] = std::min(lo[a], v[a]);
            hi[a] = std::max(hi[a], v[a]);
        }
    }
    return {hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2]};
}

// A closed cube of edge `edge` metres at the origin's corner, counter-clockwise from outside.
ModelMesh cube(float edge)
{
    ModelMesh mesh;
    for (int i = 0; i < 8; ++i) {
        mesh.positions.insert(mesh.positions.end(),
                              {(i & 1) ? edge : 0.0f, (i & 2) ? edge : 0.0f, (i & 4) ? edge : 0.0f});
    }
    mesh.indices = {0, 2, 1, 1, 2, 3, 4, 5, 6, 5, 7, 6, 0, 1, 4, 1, 5, 4,
                    2, 6, 3, 3, 6, 7, 0, 4, 2, 2, 4, 6, 1, 3, 5, 3, 7, 5};
    return mesh;
}

class OBJExport : public ::testing::Test
{
protected:
    QString writeModel(const ModelMesh& mesh)
    {
        const QString path = m_dir.filePath(QStringLiteral("model.usdz"));
        EXPECT_TRUE(UsdzFile::write(mesh, path));
        return path;
    }
    QString objPath() const { return m_dir.filePath(QStringLiteral("model.obj")); }

    QTemporaryDir m_dir;
};

} // namespace

TEST_F(OBJExport, UnitTextChoosesTheFactor)
{
    const QString source = writeModel(cube(0.1f));
    const struct
    {
        const char* unit;
        float span;
    } cases[] = {
        {"mm", 100.0f}, {"", 100.0f}, {"cm", 100.0f}, {"inch", 100.0f},
        {"in", 0.1f * 39.3701f}, {"IN", 0.1f * 39.3701f}, {"In", 0.1f * 39.3701f},
    };
    for (const auto& c : cases) {
        ASSERT_FALSE(OBJExporter::exportModel(source, objPath(), QString::fromLatin1(c.unit))) << c.unit;
        const auto s = span(readObj(objPath()));
        for (float axis : s) {
            EXPECT_FLOAT_EQ(axis, c.span) << "unit '" << c.unit << "'";
        }
    }
    EXPECT_NEAR(span(readObj(objPath()))[0], 3.93701f, 1e-6f);
}

TEST_F(OBJExport, TurnsYUpToZUpAndStretchesAlongTheModelsAxes)
{
    ModelMesh mesh;
    mesh.positions = {0, 1, 0, 0, 0, 1, 1, 0, 0};
    mesh.indices = {0, 1, 2};
    const QString source = writeModel(mesh);

    ASSERT_FALSE(OBJExporter::exportModel(source, objPath(), QStringLiteral("mm")));
    Obj obj = readObj(objPath());
    ASSERT_EQ(obj.vertices.size(), 3u);
    EXPECT_EQ(obj.vertices[0], (std::array<float, 3>{0, 0, 1000}));
    EXPECT_EQ(obj.vertices[1], (std::array<float, 3>{0, -1000, 0}));
    EXPECT_EQ(obj.vertices[2], (std::array<float, 3>{1000, 0, 0}));
    EXPECT_EQ(obj.faces, (std::vector<std::string>{"1 2 3"}));

    // The multiplier's y stretches the model's height, which becomes the output's Z.
    ASSERT_FALSE(OBJExporter::exportModel(writeModel(cube(0.1f)), objPath(), QStringLiteral("mm"), {1, 2, 1}));
    const auto s = span(readObj(objPath()));
    EXPECT_FLOAT_EQ(s[0], 100);
    EXPECT_FLOAT_EQ(s[1], 100);
    EXPECT_FLOAT_EQ(s[2], 200);
    ASSERT_FALSE(OBJExporter::exportModel(writeModel(cube(0.1f)), objPath(), QStringLiteral("mm"), {1, 1, 3}));
    EXPECT_FLOAT_EQ(span(readObj(objPath()))[1], 300) << "the model's depth becomes the output's Y";
}

TEST_F(OBJExport, NormalsTurnWithTheModelAndFacesReferToThem)
{
    ModelMesh mesh;
    mesh.positions = {0, 0, 0, 1, 0, 0, 0, 0, -1};
    mesh.normals = {0, 1, 0, 0, 1, 0, 0, 1, 0};
    mesh.indices = {0, 1, 2};
    ASSERT_FALSE(OBJExporter::exportModel(writeModel(mesh), objPath(), QStringLiteral("mm"), {1, 5, 1}));
    const Obj obj = readObj(objPath());
    ASSERT_EQ(obj.normals.size(), 3u);
    EXPECT_EQ(obj.normals[0], (std::array<float, 3>{0, 0, 1})) << "up stays a unit normal pointing up";
    EXPECT_EQ(obj.faces, (std::vector<std::string>{"1//1 2//2 3//3"}));
}

TEST_F(OBJExport, FailuresCarryTheirDescriptions)
{
    const auto missing = OBJExporter::exportModel(m_dir.filePath(QStringLiteral("absent.usdz")), objPath(),
                                                  QStringLiteral("mm"));
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->kind, OBJExporter::Failure::Kind::empty);
    EXPECT_EQ(missing->localizedDescription(), QStringLiteral("mesh had no usable geometry"));

    ModelMesh pointsOnly;
    pointsOnly.positions = {0, 0, 0, 1, 1, 1};
    const auto noTriangles = OBJExporter::exportModel(writeModel(pointsOnly), objPath(), QStringLiteral("mm"));
    ASSERT_TRUE(noTriangles);
    EXPECT_EQ(noTriangles->kind, OBJExporter::Failure::Kind::empty);

    const auto unwritable = OBJExporter::exportModel(writeModel(cube(0.1f)),
                                                     m_dir.filePath(QStringLiteral("missing/model.obj")),
                                                     QStringLiteral("mm"));
    ASSERT_TRUE(unwritable);
    EXPECT_EQ(unwritable->kind, OBJExporter::Failure::Kind::write);
    EXPECT_FALSE(unwritable->text.isEmpty());
    EXPECT_TRUE(unwritable->localizedDescription().startsWith(QLatin1String("couldn't write OBJ: ")));
    EXPECT_FALSE(QFile::exists(objPath())) << "nothing was written elsewhere";

    const OBJExporter::Failure load{OBJExporter::Failure::Kind::load, QStringLiteral("bad header")};
    EXPECT_EQ(load.localizedDescription(), QStringLiteral("couldn't load mesh: bad header"));
}

TEST_F(OBJExport, ATexturedModelBringsItsMaterialAndTextureBesideTheObj)
{
    ModelMesh mesh;
    mesh.positions = {0, 0, 0, 1, 0, 0, 0, 0, -1};
    mesh.normals = {0, 1, 0, 0, 1, 0, 0, 1, 0};
    mesh.texcoords = {0.25f, 0.5f, 1, 0, 0, 1};
    mesh.indices = {0, 1, 2};
    mesh.textureBytes = "\xff\xd8\xff jpeg bytes";
    mesh.textureName = "diffuse.jpg";
    ASSERT_FALSE(OBJExporter::exportModel(writeModel(mesh), objPath(), QStringLiteral("mm")));

    const Obj obj = readObj(objPath());
    EXPECT_EQ(obj.faces, (std::vector<std::string>{"1/1/1 2/2/2 3/3/3"}));
    QFile objFile(objPath());
    ASSERT_TRUE(objFile.open(QIODevice::ReadOnly));
    const QByteArray text = objFile.readAll();
    EXPECT_TRUE(text.startsWith("mtllib model.mtl\nusemtl surface\n"));
    EXPECT_TRUE(text.contains("\nvt 0.25 0.5\nvt 1 0\nvt 0 1\n"));
    QFile material(m_dir.filePath(QStringLiteral("model.mtl")));
    ASSERT_TRUE(material.open(QIODevice::ReadOnly));
    EXPECT_TRUE(material.readAll().contains("newmtl surface\n") );
    material.seek(0);
    EXPECT_TRUE(material.readAll().contains("\nmap_Kd model_diffuse.jpg\n"));
    QFile texture(m_dir.filePath(QStringLiteral("model_diffuse.jpg")));
    ASSERT_TRUE(texture.open(QIODevice::ReadOnly));
    EXPECT_EQ(texture.readAll().toStdString(), mesh.textureBytes);

    // Without normals the faces name position and texture coordinate.
    mesh.normals.clear();
    ASSERT_FALSE(OBJExporter::exportModel(writeModel(mesh), objPath(), QStringLiteral("mm")));
    EXPECT_EQ(readObj(objPath()).faces, (std::vector<std::string>{"1/1 2/2 3/3"}));
}

TEST_F(OBJExport, AnotherReaderFindsTheTextureAndItsCoordinates)
{
    const QString assimp = QStandardPaths::findExecutable(QStringLiteral("assimp"));
    if (assimp.isEmpty()) {
        GTEST_SKIP() << "assimp (assimp-utils) is not installed";
    }
    ModelMesh mesh = cube(0.1f);
    mesh.texcoords.clear();
    for (std::size_t i = 0; i < mesh.vertexCount(); ++i) {
        mesh.texcoords.insert(mesh.texcoords.end(), {float(i % 2), float(i / 4)});
    }
    QImage image(8, 8, QImage::Format_RGB888);
    image.fill(Qt::red);
    QBuffer png;
    png.open(QIODevice::WriteOnly);
    ASSERT_TRUE(image.save(&png, "PNG"));
    mesh.textureBytes = png.data().toStdString();
    mesh.textureName = "diffuse.png";
    ASSERT_FALSE(OBJExporter::exportModel(writeModel(mesh), objPath(), QStringLiteral("mm")));

    QProcess info;
    info.start(assimp, {QStringLiteral("info"), objPath()});
    ASSERT_TRUE(info.waitForFinished(tovarine::test::kHangCeilingMs));
    const QByteArray report = info.readAllStandardOutput();
    EXPECT_EQ(info.exitCode(), 0) << report.toStdString();
    EXPECT_TRUE(report.contains("Texture Refs:\n    'model_diffuse.png'")) << report.toStdString();

    // Its own OBJ of what it read keeps the texture coordinates.
    QProcess convert;
    const QString copy = m_dir.filePath(QStringLiteral("copy.obj"));
    convert.start(assimp, {QStringLiteral("export"), objPath(), copy});
    ASSERT_TRUE(convert.waitForFinished(tovarine::test::kHangCeilingMs));
    QFile copied(copy);
    ASSERT_TRUE(copied.open(QIODevice::ReadOnly));
    const QByteArray text = copied.readAll();
    EXPECT_TRUE(text.contains("\nvt ")) << text.left(400).toStdString();
    EXPECT_TRUE(text.contains("/")) << "faces name texture coordinates";
}
