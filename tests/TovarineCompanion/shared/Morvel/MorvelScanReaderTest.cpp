#include "MorvelScanReader.h"

#include "UsdzFile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <cstring>
#include <gtest/gtest.h>

using namespace tovarine;

namespace {

std::vector<float> positionsOf(const MorvelScan& scan)
{
    std::vector<float> out(static_cast<std::size_t>(scan.vertexCount) * 3);
    for (std::size_t i = 0; i < out.size(); ++i) {
        const auto bits = qFromLittleEndian<std::uint32_t>(scan.positions.constData() + 4 * i);
        std::memcpy(&out[i], &bits, 4);
    }
    return out;
}

std::vector<std::uint32_t> trianglesOf(const MorvelScan& scan)
{
    std::vector<std::uint32_t> out(static_cast<std::size_t>(scan.triangleCount) * 3);
    for (std::size_t i = 0; i < out.size(); ++i) {
        out[i] = qFromLittleEndian<std::uint32_t>(scan.triangles.constData() + 4 * i);
    }
    return out;
}

std::uint32_t bits(float f)
{
    std::uint32_t b;
    std::memcpy(&b, &f, 4);
    return b;
}

} // namespace

TEST(MorvelScanReader, ConvertsMetresYUpToMillimetresZUpInFloat32)
{
    ModelMesh mesh;
    mesh.positions = {0.001f, 0.002f, 0.003f, 1, 0, 0, 0, 1, 0};
    mesh.indices = {0, 1, 2};
    const auto scan = MorvelScanReader::fromMesh(mesh);
    ASSERT_TRUE(scan);
    const auto p = positionsOf(*scan);
    // Computed in float32 exactly as the reader does, so the bits must match.
    EXPECT_EQ(bits(p[0]), bits(1000.0f * 0.001f));
    EXPECT_EQ(bits(p[1]), bits(-1000.0f * 0.003f));
    EXPECT_EQ(bits(p[2]), bits(1000.0f * 0.002f));
    EXPECT_NEAR(p[0], 1, 1e-4);
    EXPECT_NEAR(p[1], -3, 1e-4);
    EXPECT_NEAR(p[2], 2, 1e-4);
    // +Y up becomes +Z up.
    EXPECT_EQ(p[6], 0);
    EXPECT_EQ(p[7], -0.0f);
    EXPECT_EQ(p[8], 1000);
    EXPECT_EQ(scan->positions.size(), scan->vertexCount * 12);
    EXPECT_EQ(scan->triangles.size(), scan->triangleCount * 12);
}

TEST(MorvelScanReader, WeldsByExactBitsOnlyAndKeepsWinding)
{
    ModelMesh mesh;
    // Two triangles sharing an edge given twice (as two merged meshes would), plus a vertex whose stored z is
    // -0.0: after conversion its y is +0.0 instead of -0.0, so it must stay apart.
    mesh.positions = {
        0,    0,    0,   1, 0, 0, 0, 1, 0,     // 0 1 2
        1,    0,    0,   0, 1, 0, 0, 0, -0.0f, // 3 = 1, 4 = 2, 5 differs from 0 by the sign of zero
        0.1f, 0.2f, 0.3f};                     // 6
    mesh.indices = {0, 1, 2, 3, 4, 5, 2, 1, 1};
    const auto scan = MorvelScanReader::fromMesh(mesh);
    ASSERT_TRUE(scan);
    EXPECT_EQ(scan->sourceVertexCount, 7);
    EXPECT_EQ(scan->vertexCount, 5); // 6 is unused but still a welded vertex
    EXPECT_EQ(trianglesOf(*scan), (std::vector<std::uint32_t>{0, 1, 2, 1, 2, 3, 2, 1, 1}));
}

TEST(MorvelScanReader, DropsOnlyTrianglesWithOutOfRangeIndicesAndTrailingIndices)
{
    ModelMesh mesh;
    mesh.positions = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    mesh.indices = {0, 1, 2, 0, 3, 1, 2, 1, 0, 1}; // second triple names vertex 3; a trailing 1 is left over
    const auto scan = MorvelScanReader::fromMesh(mesh);
    ASSERT_TRUE(scan);
    EXPECT_EQ(trianglesOf(*scan), (std::vector<std::uint32_t>{0, 1, 2, 2, 1, 0}));
}

TEST(MorvelScanReader, RefusesEmptyScansAndTooManyVertices)
{
    ModelMesh noTriangles;
    noTriangles.positions = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    noTriangles.indices = {0, 1, 5};
    ASSERT_FALSE(MorvelScanReader::fromMesh(noTriangles));
    EXPECT_EQ(MorvelScanReader::fromMesh(noTriangles).error().localizedDescription(),
              "the scan has no triangles");
    EXPECT_FALSE(MorvelScanReader::fromMesh(ModelMesh{}));

    ModelMesh three;
    three.positions = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    three.indices = {0, 1, 2};
    EXPECT_TRUE(MorvelScanReader::fromMesh(three, 3));
    const auto refused = MorvelScanReader::fromMesh(three, 2);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().kind, MorvelScanReader::Failure::Kind::tooManyVertices);
}

TEST(MorvelScanReader, ReadsTheModelFileAndRefusesUnreadableOnes)
{
    QTemporaryDir dir;
    ModelMesh mesh;
    mesh.positions = {0, 0, 0, 0.001f, 0.002f, 0.003f, 0, 0.5f, 0, 0, 0, 0};
    mesh.indices = {0, 1, 2, 3, 2, 1};
    const QString path = dir.filePath("model.usdz");
    ASSERT_TRUE(UsdzFile::write(mesh, path));
    const auto scan = MorvelScanReader::read(path);
    ASSERT_TRUE(scan);
    EXPECT_EQ(scan->sourceVertexCount, 4);
    EXPECT_EQ(scan->vertexCount, 3);
    EXPECT_EQ(trianglesOf(*scan), (std::vector<std::uint32_t>{0, 1, 2, 0, 2, 1}));
    EXPECT_NEAR(positionsOf(*scan)[5], 2, 1e-4);

    QFile junk(dir.filePath("junk.usdz"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("not a package");
    junk.close();
    for (const QString& bad : {dir.filePath("absent.usdz"), junk.fileName(), dir.path()}) {
        const auto failed = MorvelScanReader::read(bad);
        ASSERT_FALSE(failed) << bad.toStdString();
        EXPECT_EQ(failed.error().localizedDescription(), "the scan file could not be read");
    }
}
