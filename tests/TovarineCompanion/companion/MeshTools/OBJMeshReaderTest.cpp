#include "OBJMeshReader.h"

#include <cmath>
#include <gtest/gtest.h>
#include <string>

namespace tovarine {
namespace {

using Triangles = MeshTriangles;

const std::string kThreeVertices = "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\nv 2 2 0\n";

struct FaceCase
{
    const char* name;
    std::string text;
    Triangles expected;
};

void PrintTo(const FaceCase& c, std::ostream* os)
{
    *os << c.name;
}

class FaceRecords : public ::testing::TestWithParam<FaceCase>
{
};

TEST_P(FaceRecords, GiveTheStatedTriangles)
{
    const MeshLists mesh = OBJMeshReader::parse(GetParam().text);
    EXPECT_EQ(mesh.triangles, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    OBJMeshReader, FaceRecords,
    ::testing::Values(
        FaceCase{
            "slashForms", kThreeVertices + "f 1/2/3 2/3/4 3/4/5\nf 1//1 2//2 3//3\n", {{0, 1, 2}, {0, 1, 2}}},
        FaceCase{"negativeIndices", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf -3 -2 -1\n", {{0, 1, 2}}},
        FaceCase{"negativeBeforeFirst", "v 0 0 0\nv 1 0 0\nf -3 -2 -1\n", {{-1, 0, 1}}},
        FaceCase{"quadFans", kThreeVertices + "f 1 2 3 4\n", {{0, 1, 2}, {0, 2, 3}}},
        FaceCase{"zeroSkipped", kThreeVertices + "f 1 0 2 3\n", {{0, 1, 2}}},
        FaceCase{"twoIndices", kThreeVertices + "f 1 2\n", {}},
        FaceCase{"badTokenLeavesTwo", kThreeVertices + "f 1 x 2\n", {}},
        FaceCase{"badTokenSkipped", kThreeVertices + "f 1 x 2 3\n", {{0, 1, 2}}},
        FaceCase{"plusSignAndEmptyHead", kThreeVertices + "f +1 /2 2 3\n", {{0, 1, 2}}},
        FaceCase{"overflowSkipped", kThreeVertices + "f 1 99999999999999999999 2 3\n", {{0, 1, 2}}},
        FaceCase{"tabsAreNotSeparators", kThreeVertices + "f\t1\t2\t3\n", {}},
        FaceCase{"extraSpaces", kThreeVertices + "   f  1   2 3   \n", {{0, 1, 2}}},
        FaceCase{"otherRecordsIgnored",
                 kThreeVertices +
                     "vt 0 0\nvn 0 0 1\no x\ng y\ns 1\nusemtl m\nmtllib a.mtl\nl 1 2\n# f 1 2 3\nf 1 2 3\n",
                 {{0, 1, 2}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(OBJMeshReader, VertexRecords)
{
    const MeshLists mesh = OBJMeshReader::parse("v 1 2 3 4 0.5 0.5\n" // w and colours ignored
                                                "v  -1.5e1   +2 0x1p3  \n"
                                                "f 1 2 -1\n");
    ASSERT_EQ(mesh.positions.size(), 2u);
    EXPECT_EQ(mesh.positions[0], (Vec3{1, 2, 3}));
    EXPECT_EQ(mesh.positions[1], (Vec3{-15, 2, 8}));
    EXPECT_EQ(mesh.triangles, (Triangles{{0, 1, 1}}));
}

// A vertex line that cannot be read still takes its number: the faces after it keep joining the vertices
// the file means, and the unreadable vertex is not a number (the tools drop the faces that use it).
class UnreadableVertexLines : public ::testing::TestWithParam<const char*>
{
};

TEST_P(UnreadableVertexLines, KeepTheFilesNumbering)
{
    const std::string text =
        std::string("v 0 0 0\n") + GetParam() + "\nv 1 0 0\nv 0 1 0\nf 1 3 4\nf 1 2 3\nf -4 -2 -1\n";
    const MeshLists mesh = OBJMeshReader::parse(text);
    ASSERT_EQ(mesh.positions.size(), 4u);
    EXPECT_EQ(mesh.positions[0], (Vec3{0, 0, 0}));
    EXPECT_TRUE(std::isnan(mesh.positions[1][0]) && std::isnan(mesh.positions[1][1]) &&
                std::isnan(mesh.positions[1][2]));
    EXPECT_EQ(mesh.positions[2], (Vec3{1, 0, 0}));
    EXPECT_EQ(mesh.positions[3], (Vec3{0, 1, 0}));
    EXPECT_EQ(mesh.triangles, (Triangles{{0, 2, 3}, {0, 1, 2}, {0, 2, 3}}));
}

INSTANTIATE_TEST_SUITE_P(OBJMeshReader, UnreadableVertexLines,
                         ::testing::Values("v 10 10 1O", "v 10,0 20,0 30,0", "v 1 2", "v", "v 1 2 zz 4",
                                           "v 1 2 3\t", "v\t1\t2\t3", "v 1e5 - 3"));

// A long file is read in pieces side by side; numbering, negative indices and unreadable lines must come
// out as if it were read from the top.
TEST(OBJMeshReader, LongFilesReadLikeShortOnes)
{
    std::string text = "\xEF\xBB\xBF# long\r\n";
    MeshLists expected;
    const double nan = std::nan("");
    for (std::int64_t i = 0; i < 240000; ++i) {
        if (i % 997 == 5) {
            text += "v 1 2\r\n";
            expected.positions.push_back({nan, nan, nan});
        } else {
            text += "v " + std::to_string(i) + " 0.5 -" + std::to_string(i) + "\n";
            expected.positions.push_back({double(i), 0.5, -double(i)});
        }
        if (i % 3 == 2) {
            text += "f -3 -2 -1\nvn 0 0 1\n\nf 1 2/4/1 " + std::to_string(i + 1) + "//3\n";
            expected.triangles.push_back({i - 2, i - 1, i});
            expected.triangles.push_back({0, 1, i});
        }
    }
    ASSERT_GT(text.size(), std::size_t{5} << 20);
    const MeshLists mesh = OBJMeshReader::parse(text);
    ASSERT_EQ(mesh.positions.size(), expected.positions.size());
    for (std::size_t v = 0; v < mesh.positions.size(); ++v) {
        const bool same = mesh.positions[v] == expected.positions[v] ||
                          (std::isnan(mesh.positions[v][0]) && std::isnan(expected.positions[v][0]));
        ASSERT_TRUE(same) << v;
    }
    EXPECT_EQ(mesh.triangles, expected.triangles);
}

TEST(OBJMeshReader, CrLfAndByteOrderMarkReadLikePlainText)
{
    const std::string plain = "# cube corner\nv 0 0 0\nv 1 0 0\nv 0 1 0\n\nf 1 2 3\n";
    std::string crlf;
    for (char c : plain) {
        if (c == '\n') {
            crlf += '\r';
        }
        crlf += c;
    }
    const MeshLists expected = OBJMeshReader::parse(plain);
    ASSERT_EQ(expected.triangles.size(), 1u);
    for (const std::string& variant : {crlf, "\xEF\xBB\xBF" + plain, "\xEF\xBB\xBF" + crlf}) {
        const MeshLists mesh = OBJMeshReader::parse(variant);
        EXPECT_EQ(mesh.positions, expected.positions);
        EXPECT_EQ(mesh.triangles, expected.triangles);
    }
    // No final line feed.
    EXPECT_EQ(OBJMeshReader::parse("v 0 0 0\r\nv 1 0 0\r\nv 0 1 0\r\nf 1 2 3\r").triangles.size(), 1u);
}

TEST(OBJMeshReader, NonFiniteNumbersAreKeptAsVertices)
{
    const MeshLists mesh =
        OBJMeshReader::parse("v nan 0 0\nv inf 1 -infinity\nv 1e999 0 0\nv 0 0 0\nf 1 2 4\n");
    ASSERT_EQ(mesh.positions.size(), 4u);
    EXPECT_TRUE(std::isnan(mesh.positions[0][0]));
    EXPECT_TRUE(std::isinf(mesh.positions[1][0]) && mesh.positions[1][2] < 0);
    EXPECT_TRUE(std::isinf(mesh.positions[2][0]));
    EXPECT_EQ(mesh.triangles, (Triangles{{0, 1, 3}}));
}

TEST(OBJMeshReader, NothingUsableGivesEmptyLists)
{
    for (const char* text : {"", "\n\n", "# only a comment\n", "hello world", "f\n", "vt 1 2\nvn 0 0 1\n"}) {
        const MeshLists mesh = OBJMeshReader::parse(text);
        EXPECT_TRUE(mesh.positions.empty() && mesh.triangles.empty()) << text;
    }
}

} // namespace
} // namespace tovarine
