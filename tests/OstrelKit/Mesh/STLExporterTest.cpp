#include "MeshFixtures.h"

#include "Mesh/STLExporter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>

#include <limits>

using namespace ostrel;

namespace {

const std::vector<Float3> kTriangle = {{0, 0, 0}, {1, 0, 0}, {-0.5f, 1, 0}};
const std::vector<std::uint32_t> kOneFace = {0, 1, 2};

Float3 facetNormal(const QByteArray& data, int facet)
{
    const char* at = data.constData() + 84 + 50 * facet;
    return {qFromLittleEndian<float>(at), qFromLittleEndian<float>(at + 4), qFromLittleEndian<float>(at + 8)};
}

} // namespace

TEST(STLExporter, OneTriangleBytes)
{
    const auto r = STLExporter::build(kTriangle, {}, kOneFace, QStringLiteral("Kit"), 0, 0.0001f);
    const QByteArray expected = QByteArray("Kit Export").leftJustified(80, '\0') +
                                QByteArray::fromHex("01000000"                    // one facet
                                                    "00000000 00000080 0000803f"  // normal (0, −0, 1)
                                                    "00000000 00000000 00000000"  // (0, 0, 0)
                                                    "0000803f 00000000 00000000"  // (1, 0, 0)
                                                    "000000bf 0000803f 00000000"  // (−0.5, 1, 0)
                                                    "0000");
    EXPECT_EQ(r.data.size(), 134);
    EXPECT_EQ(r.data.toHex(' ').toStdString(), expected.toHex(' ').toStdString());
    EXPECT_EQ(r.vertexCount, 3);
    EXPECT_EQ(r.faceCount, 1);
    EXPECT_FALSE(r.isWatertight);
    EXPECT_FALSE(r.filePath);
}

TEST(STLExporter, HeaderIsCutAfterEightyBytes)
{
    for (const int length : {75, 76, 100}) {
        const QString name(length, QLatin1Char('n'));
        const auto r = STLExporter::build(kTriangle, {}, kOneFace, name, 0, 0.0001f);
        const QByteArray full = (name + " Export").toUtf8();
        EXPECT_EQ(r.data.left(80), full.left(80).leftJustified(80, '\0'));
        EXPECT_EQ(qFromLittleEndian<quint32>(r.data.constData() + 80), 1u);
    }
}

TEST(STLExporter, FacetNormalsComeFromTheTrianglesOnly)
{
    const float big = 3e38f;
    // Facets: a good one (input normals say otherwise), a zero-area one, and one whose cross product
    // overflows in z only, so only z of its normal is not a number.
    const std::vector<Float3> v = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {2, 2, 2}, {5, 5, 5}, {big, 0, 0}, {0, big, 0}};
    const std::vector<Float3> inputNormals(v.size(), Float3{0.6f, 0.8f, 0});
    const auto r = STLExporter::build(v, inputNormals, std::vector<std::uint32_t>{0, 2, 1, 3, 3, 4, 0, 5, 6},
                                      "Kit", 0, 0.0001f);
    ASSERT_EQ(r.faceCount, 3);
    EXPECT_EQ(facetNormal(r.data, 0), (Float3{0, 0, -1}));
    EXPECT_EQ(facetNormal(r.data, 1), (Float3{0, 1, 0}));
    EXPECT_EQ(facetNormal(r.data, 2), (Float3{0, 1, 0}));
}

TEST(STLExporter, LooseBoxWeldsAndSubdivides)
{
    const test::Mesh loose = test::looseTriangles(test::closedBox());
    const auto plain = STLExporter::build(loose.vertices, loose.normals, loose.indices, "Kit", 0, 0.0001f);
    EXPECT_EQ(plain.vertexCount, 8);
    EXPECT_EQ(plain.faceCount, 12);
    EXPECT_TRUE(plain.isWatertight);
    EXPECT_EQ(plain.data.size(), 84 + 50 * 12);

    const auto fine = STLExporter::build(loose.vertices, loose.normals, loose.indices, "Kit", 2, 0.0001f);
    EXPECT_EQ(fine.faceCount, 12 * 16);
    EXPECT_TRUE(fine.isWatertight);
    EXPECT_EQ(fine.data.size(), 84 + 50 * 12 * 16);

    // Unwelded (a threshold of 0 merges nothing), the same triangles are open.
    EXPECT_FALSE(STLExporter::build(loose.vertices, {}, loose.indices, "Kit", 0, 0.0f).isWatertight);
}

TEST(STLExporter, EmptyOrInvalidInputWritesNothing)
{
    QTemporaryDir dir;
    const float inf = std::numeric_limits<float>::infinity();
    struct Case
    {
        const char* name;
        std::vector<Float3> vertices;
        std::vector<std::uint32_t> indices;
    };
    const Case cases[] = {
        {"no vertices", {}, {0, 1, 2}},
        {"index out of range", kTriangle, {0, 1, 5}},
        {"infinite coordinate", {{0, 0, 0}, {inf, 0, 0}, {0, 1, 0}}, {0, 1, 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto r = STLExporter::exportMesh(c.vertices, {}, c.indices, "bad", "Kit", 0, dir.path());
        EXPECT_TRUE(r.data.isEmpty());
        EXPECT_EQ(r.faceCount, 0);
        EXPECT_FALSE(r.filePath);
    }
    EXPECT_TRUE(QDir(dir.path()).isEmpty());
}

TEST(STLExporter, ExportNamesTheFile)
{
    QTemporaryDir dir;
    struct Case
    {
        QString fileName;
        QString written; // empty: refused
    };
    const Case cases[] = {
        {"part", "part.stl"},
        {"part.stl", "part.stl"},
        {"PART.STL", "PART.STL.stl"},
        {"part.stl.bak", "part.stl.bak.stl"},
        {"../part", ""},
        {"sub/part", ""},
        {QString("nul") + QChar(0), ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fileName.toStdString());
        const auto r = STLExporter::exportMesh(kTriangle, {}, kOneFace, c.fileName, "Kit", 0, dir.path());
        if (c.written.isEmpty()) {
            EXPECT_FALSE(r.filePath);
            EXPECT_EQ(r.data.size(), 134); // still built
            continue;
        }
        ASSERT_TRUE(r.filePath);
        EXPECT_EQ(*r.filePath, QDir(dir.path()).filePath(c.written));
        QFile file(*r.filePath);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), r.data);
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 3); // and no temporary files

    const QString missing = QDir(dir.path()).filePath("missing");
    EXPECT_FALSE(STLExporter::exportMesh(kTriangle, {}, kOneFace, "part", "Kit", 0, missing).filePath);
    EXPECT_FALSE(QFileInfo::exists(missing));
}
