#include "MeshFixtures.h"

#include "Mesh/OBJExporter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace ostrel;

namespace {

const std::vector<Float3> kTriangle = {{0, 0, 0}, {1, 0, 0}, {-0.5f, 1, 0}};
const std::vector<Float3> kUp = {{0, 0, 1}, {0, 0, 1}, {0, 0, 1}};
const std::vector<std::uint32_t> kOneFace = {0, 1, 2};

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

OBJExporter::ExportConfig config(const QString& object, bool material, std::function<QString()> builder = {})
{
    return OBJExporter::ExportConfig(QStringLiteral("Kit"), object, 0, 0.0001f, material, std::move(builder));
}

} // namespace

TEST(OBJExporter, OneTriangleWithMaterial)
{
    const auto r = OBJExporter::build(kTriangle, kUp, kOneFace, config(QStringLiteral("tri"), true));
    EXPECT_EQ(r.objString, "# Kit Export \u2014 tri\n"
                           "# Vertices: 3, Faces: 1\n"
                           "# Watertight: NO\n"
                           "mtllib tri.mtl\n"
                           "o tri\n"
                           "\n"
                           "v 0.000000 0.000000 0.000000\n"
                           "v 1.000000 0.000000 0.000000\n"
                           "v -0.500000 1.000000 0.000000\n"
                           "\n"
                           "vn 0.000000 0.000000 1.000000\n"
                           "vn 0.000000 0.000000 1.000000\n"
                           "vn 0.000000 0.000000 1.000000\n"
                           "\n"
                           "usemtl tri_mat\n"
                           "f 1//1 2//2 3//3\n");
    EXPECT_EQ(r.vertexCount, 3);
    EXPECT_EQ(r.faceCount, 1);
    EXPECT_FALSE(r.isWatertight);
    EXPECT_FALSE(r.filePath);
}

TEST(OBJExporter, WithoutMaterialOrFacesAndRounding)
{
    // No faces: the text ends with the empty line after the normals. Six decimals, rounded, with a point.
    const std::vector<Float3> v = {{1.0000004f, -0.0000004f, 123.4567891f}};
    const auto r = OBJExporter::build(v, {}, {}, config(QStringLiteral("dot"), false));
    EXPECT_EQ(r.objString, "# Kit Export \u2014 dot\n"
                           "# Vertices: 1, Faces: 0\n"
                           "# Watertight: YES\n"
                           "o dot\n"
                           "\n"
                           "v 1.000000 -0.000000 123.456787\n"
                           "\n"
                           "vn 0.000000 1.000000 0.000000\n"
                           "\n");
}

TEST(OBJExporter, LooseClosedSolidWeldsAndReportsWatertight)
{
    const test::Mesh loose = test::looseTriangles(test::closedBox());
    const auto closed = OBJExporter::build(loose.vertices, loose.normals, loose.indices, config("box", false));
    EXPECT_EQ(closed.vertexCount, 8);
    EXPECT_EQ(closed.faceCount, 12);
    EXPECT_TRUE(closed.isWatertight);
    EXPECT_NE(closed.objString.find("# Vertices: 8, Faces: 12\n# Watertight: YES\n"), std::string::npos);

    const auto open = OBJExporter::build(kTriangle, kUp, kOneFace, config("patch", false));
    EXPECT_NE(open.objString.find("# Watertight: NO\n"), std::string::npos);

    auto subdivided = config("box", false);
    subdivided.subdivisions = 1;
    const auto fine = OBJExporter::build(loose.vertices, loose.normals, loose.indices, subdivided);
    EXPECT_EQ(fine.faceCount, 48);
    EXPECT_EQ(fine.vertexCount, 8 + 18); // one midpoint per edge of the welded box
    EXPECT_TRUE(fine.isWatertight);
    // Recomputed normals: the midpoint of the bottom's diagonal faces down, where every input normal was +z.
    EXPECT_NE(fine.objString.find("vn 0.000000 0.000000 -1.000000\n"), std::string::npos);
}

TEST(OBJExporter, EmptyOrInvalidInputGivesTheEmptyResult)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case
    {
        const char* name;
        std::vector<Float3> vertices;
        std::vector<Float3> normals;
        std::vector<std::uint32_t> indices;
        int subdivisions;
    };
    const Case cases[] = {
        {"no vertices", {}, {}, {0, 1, 2}, 0},
        {"index out of range", kTriangle, kUp, {0, 1, 3}, 0},
        {"non-finite coordinate", {{0, 0, 0}, {nan, 0, 0}, {0, 1, 0}}, {}, {0, 1, 2}, 0},
        {"non-finite normal that would be written", kTriangle, {{0, 0, 1}, {nan, 0, 0}}, {0, 1, 2}, 0},
        {"too many subdivision levels", kTriangle, kUp, {0, 1, 2}, 9},
    };
    QTemporaryDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto cfg = config("bad", true, [] { return QStringLiteral("newmtl bad_mat\n"); });
        cfg.subdivisions = c.subdivisions;
        const auto r = OBJExporter::exportMesh(c.vertices, c.normals, c.indices, cfg, dir.path());
        EXPECT_EQ(r.objString, "");
        EXPECT_EQ(r.vertexCount, 0);
        EXPECT_EQ(r.faceCount, 0);
        EXPECT_FALSE(r.isWatertight);
        EXPECT_FALSE(r.filePath);
    }
    EXPECT_TRUE(QDir(dir.path()).isEmpty());
    // A NaN normal that is replaced by subdivision never reaches the text.
    auto fine = config("fine", false);
    fine.subdivisions = 1;
    EXPECT_EQ(OBJExporter::build(kTriangle, std::vector<Float3>{{nan, 0, 0}}, kOneFace, fine).faceCount, 4);
}

TEST(OBJExporter, ExportWritesTheObjAndTheMaterialFile)
{
    QTemporaryDir dir;
    int builderCalls = 0;
    const auto r = OBJExporter::exportMesh(kTriangle, kUp, kOneFace, config("model v2", true, [&] {
                                               ++builderCalls;
                                               return QStringLiteral("newmtl model v2_mat\nKd 0.8 0.8 0.8\n");
                                           }),
                                           dir.path());
    ASSERT_TRUE(r.filePath);
    EXPECT_EQ(*r.filePath, QDir(dir.path()).filePath("model v2.obj"));
    EXPECT_EQ(readAll(*r.filePath).toStdString(), r.objString);
    EXPECT_EQ(readAll(QDir(dir.path()).filePath("model v2.mtl")), "newmtl model v2_mat\nKd 0.8 0.8 0.8\n");
    EXPECT_EQ(builderCalls, 1);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 2); // no temporary files left behind

    // With a material but no builder: the lines stay, no .mtl is written, and the export succeeds.
    QTemporaryDir bare;
    const auto noBuilder = OBJExporter::exportMesh(kTriangle, kUp, kOneFace, config("m", true), bare.path());
    ASSERT_TRUE(noBuilder.filePath);
    EXPECT_NE(noBuilder.objString.find("mtllib m.mtl\n"), std::string::npos);
    EXPECT_EQ(QDir(bare.path()).entryList(QDir::Files), QStringList{"m.obj"});
}

TEST(OBJExporter, LineBreaksInNamesStayOnTheirLine)
{
    // A name that smuggles in a vertex line would shift every later face index when read back.
    const QString breaks[] = {QStringLiteral("\n"),     QStringLiteral("\r"),     QStringLiteral("\r\n"),
                              QStringLiteral("\u000b"), QStringLiteral("\u000c"), QStringLiteral("\u0085"),
                              QStringLiteral("\u2028"), QStringLiteral("\u2029")};
    for (const QString& lineBreak : breaks) {
        SCOPED_TRACE(lineBreak.toUtf8().toHex().toStdString());
        const QString object = QStringLiteral("part") + lineBreak + QStringLiteral("v 9 9 9");
        const QString app = QStringLiteral("Kit") + lineBreak + QStringLiteral("v 8 8 8");
        const auto r = OBJExporter::build(kTriangle, kUp, kOneFace,
                                          OBJExporter::ExportConfig(app, object, 0, 0.0001f, true));
        const QStringList lines = QString::fromStdString(r.objString).split(QLatin1Char('\n'));
        EXPECT_EQ(lines.filter(QRegularExpression(QStringLiteral("^v "))).size(), 3);
        EXPECT_EQ(r.objString.find('\r'), std::string::npos);
        for (const QString& line : lines) {
            for (const QChar c : line) {
                EXPECT_NE(c, QChar(0x0b));
                EXPECT_NE(c, QChar(0x0c));
                EXPECT_NE(c, QChar(0x85));
                EXPECT_NE(c, QChar(0x2028));
                EXPECT_NE(c, QChar(0x2029));
            }
        }
        EXPECT_TRUE(lines.contains(QStringLiteral("o part v 9 9 9")));
        EXPECT_TRUE(lines.contains(QStringLiteral("mtllib part v 9 9 9.mtl")));
        EXPECT_TRUE(lines.contains(QStringLiteral("usemtl part v 9 9 9_mat")));
        EXPECT_TRUE(lines.contains(QStringLiteral("f 1//1 2//2 3//3")));

        // Such a name is not used as a file name either: nothing is written.
        QTemporaryDir dir;
        const auto written =
            OBJExporter::exportMesh(kTriangle, kUp, kOneFace,
                                    OBJExporter::ExportConfig(QStringLiteral("Kit"), object, 0, 0.0001f, true,
                                                              [] { return QStringLiteral("newmtl x\n"); }),
                                    dir.path());
        EXPECT_FALSE(written.filePath);
        EXPECT_TRUE(QDir(dir.path()).isEmpty());
    }
}

TEST(OBJExporter, ExportFailuresLeaveNoFilePath)
{
    QTemporaryDir dir;
    // Missing folder: nothing is created.
    const QString missing = QDir(dir.path()).filePath("missing");
    EXPECT_FALSE(OBJExporter::exportMesh(kTriangle, kUp, kOneFace, config("m", false), missing).filePath);
    EXPECT_FALSE(QFileInfo::exists(missing));

    // Names that would leave the folder are refused; nothing is written.
    for (const QString& name : {QStringLiteral("../escape"), QStringLiteral("sub/model"), QStringLiteral("a\\b"),
                                QStringLiteral(".."), QString("nul") + QChar(0) + "x"}) {
        SCOPED_TRACE(name.toStdString());
        const auto r = OBJExporter::exportMesh(kTriangle, kUp, kOneFace, config(name, false), dir.path());
        EXPECT_FALSE(r.filePath);
        EXPECT_FALSE(r.objString.empty()); // the text is still built
    }
    EXPECT_TRUE(QDir(dir.path()).isEmpty());

    // The .mtl cannot be written (a folder has its name): the .obj stays, but no filePath.
    ASSERT_TRUE(QDir(dir.path()).mkdir("blocked.mtl"));
    const auto r = OBJExporter::exportMesh(kTriangle, kUp, kOneFace,
                                           config("blocked", true, [] { return QStringLiteral("x"); }), dir.path());
    EXPECT_FALSE(r.filePath);
    EXPECT_TRUE(QFileInfo::exists(QDir(dir.path()).filePath("blocked.obj")));
}
