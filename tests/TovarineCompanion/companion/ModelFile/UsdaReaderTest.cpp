#include "UsdaReader.h"
#include "UsdaWriter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

using namespace tovarine;

namespace {

std::string layerWith(const std::string& body, const std::string& metadata = "metersPerUnit = 1")
{
    return "#usda 1.0\n(\n    " + metadata + "\n)\n" + body;
}

// One triangle with vertices on the three axes, placed under `ops` (an Xform body's transform lines).
std::string triangleUnder(const std::string& ops)
{
    return layerWith("def Xform \"x\"\n{\n" + ops +
                     "\n    def Mesh \"m\" {\n"
                     "        int[] faceVertexCounts = [3]\n"
                     "        int[] faceVertexIndices = [0, 1, 2]\n"
                     "        point3f[] points = [(1, 0, 0), (0, 1, 0), (0, 0, 1)]\n"
                     "        normal3f[] normals = [(1, 0, 0), (1, 0, 0), (1, 0, 0)] (interpolation = \"vertex\")\n"
                     "    }\n}\n");
}

void expectPositions(const ModelMesh& mesh, const std::vector<float>& expected, const char* what)
{
    ASSERT_EQ(mesh.positions.size(), expected.size()) << what;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_NEAR(mesh.positions[i], expected[i], 1e-5) << what << " [" << i << "]";
    }
}

} // namespace

TEST(UsdaReader, BakesTransformOpsInListedOrder)
{
    const struct
    {
        const char* what;
        std::string ops;
        std::vector<float> positions;
    } cases[] = {
        {"no ops", "", {1, 0, 0, 0, 1, 0, 0, 0, 1}},
        // The last op listed applies first: scale, then translate.
        {"translate after scale",
         "double3 xformOp:translate = (10, 0, 0)\nfloat3 xformOp:scale = (2, 3, 4)\n"
         "uniform token[] xformOpOrder = [\"xformOp:translate\", \"xformOp:scale\"]",
         {12, 0, 0, 10, 3, 0, 10, 0, 4}},
        {"scale after translate",
         "double3 xformOp:translate = (10, 0, 0)\nfloat3 xformOp:scale = (2, 3, 4)\n"
         "uniform token[] xformOpOrder = [\"xformOp:scale\", \"xformOp:translate\"]",
         {22, 0, 0, 20, 3, 0, 20, 0, 4}},
        {"ops not in the order are ignored", "double3 xformOp:translate = (10, 0, 0)", {1, 0, 0, 0, 1, 0, 0, 0, 1}},
        // Row vectors: the translation is the last row.
        {"matrix",
         "matrix4d xformOp:transform = ( (0, 1, 0, 0), (-1, 0, 0, 0), (0, 0, 1, 0), (5, 6, 7, 1) )\n"
         "uniform token[] xformOpOrder = [\"xformOp:transform\"]",
         {5, 7, 7, 4, 6, 7, 5, 6, 8}},
        {"rotateZ 90", "float xformOp:rotateZ = 90\nuniform token[] xformOpOrder = [\"xformOp:rotateZ\"]",
         {0, 1, 0, -1, 0, 0, 0, 0, 1}},
        // The turn about X applies first, then Y (0 degrees), then Z.
        {"rotateXYZ", "float3 xformOp:rotateXYZ = (90, 0, 90)\nuniform token[] xformOpOrder = [\"xformOp:rotateXYZ\"]",
         {0, 1, 0, 0, 0, 1, 1, 0, 0}},
        {"inverted pivot",
         "double3 xformOp:translate:pivot = (1, 0, 0)\nfloat3 xformOp:scale = (2, 2, 2)\n"
         "uniform token[] xformOpOrder = [\"xformOp:translate:pivot\", \"xformOp:scale\", "
         "\"!invert!xformOp:translate:pivot\"]",
         {1, 0, 0, -1, 2, 0, -1, 0, 2}},
    };
    for (const auto& c : cases) {
        const auto mesh = UsdaReader::parse(triangleUnder(c.ops));
        ASSERT_TRUE(mesh) << c.what << ": " << mesh.error().toStdString();
        expectPositions(*mesh, c.positions, c.what);
    }
}

TEST(UsdaReader, NestedTransformsComposeParentLast)
{
    const auto mesh = UsdaReader::parse(layerWith(R"usda(
def Xform "outer"
{
    float3 xformOp:scale = (10, 10, 10)
    uniform token[] xformOpOrder = ["xformOp:scale"]
    def Xform "inner"
    {
        double3 xformOp:translate = (1, 0, 0)
        uniform token[] xformOpOrder = ["xformOp:translate"]
        def Mesh "m"
        {
            int[] faceVertexCounts = [3]
            int[] faceVertexIndices = [0, 1, 2]
            point3f[] points = [(0, 0, 0), (1, 0, 0), (0, 1, 0)]
        }
    }
}
)usda"));
    ASSERT_TRUE(mesh) << mesh.error().toStdString();
    expectPositions(*mesh, {10, 0, 0, 20, 0, 0, 10, 10, 0}, "nested");
}

TEST(UsdaReader, MirroringKeepsFrontFacesAndOutwardNormals)
{
    const auto plain = UsdaReader::parse(triangleUnder(""));
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->indices, (std::vector<std::uint32_t>{0, 1, 2}));

    const auto mirrored = UsdaReader::parse(
        triangleUnder("float3 xformOp:scale = (-1, 1, 1)\nuniform token[] xformOpOrder = [\"xformOp:scale\"]"));
    ASSERT_TRUE(mirrored);
    EXPECT_EQ(mirrored->indices, (std::vector<std::uint32_t>{0, 2, 1}));
    ASSERT_EQ(mirrored->normals.size(), 9u);
    EXPECT_FLOAT_EQ(mirrored->normals[0], -1.0f);

    // A non-uniform scale bends normals by the inverse transpose: (1, 1, 0) under scale (2, 1, 1) is (1, 2, 0)/√5.
    const auto stretched = UsdaReader::parse(layerWith(R"usda(
def Mesh "m"
{
    float3 xformOp:scale = (2, 1, 1)
    uniform token[] xformOpOrder = ["xformOp:scale"]
    int[] faceVertexCounts = [3]
    int[] faceVertexIndices = [0, 1, 2]
    point3f[] points = [(0, 0, 0), (1, 0, 0), (0, 1, 0)]
    normal3f[] normals = [(0.70710678, 0.70710678, 0), (0, 0, 1), (0, 0, 1)]
    uniform token orientation = "leftHanded"
}
)usda"));
    ASSERT_TRUE(stretched);
    EXPECT_NEAR(stretched->normals[0], 1 / std::sqrt(5.0), 1e-6);
    EXPECT_NEAR(stretched->normals[1], 2 / std::sqrt(5.0), 1e-6);
    EXPECT_EQ(stretched->indices, (std::vector<std::uint32_t>{0, 2, 1})) << "left-handed winding is flipped";
}

TEST(UsdaReader, TriangulatesPolygonsAndMergesMeshes)
{
    const auto mesh = UsdaReader::parse(layerWith(R"usda(
# a comment with { braces ( and "quotes"
over "ignored" { def Mesh "ghost" { point3f[] points = [(9, 9, 9)] } }
class "Template" { def Mesh "ghost" { point3f[] points = [(9, 9, 9)] } }
def Mesh "pentagon_and_line" (
    doc = "a ) in a string"
)
{
    int[] faceVertexCounts = [5, 2]
    int[] faceVertexIndices = [0, 1, 2, 3, 4, 0, 1]
    point3f[] points = [(0, 0, 0), (1, 0, 0), (1, 1, 0), (0.5, 2, 0), (0, 1, 0),]
    color3f[] primvars:displayColor = [(1, 0, 0)] (
        interpolation = "constant"
    )
}
def Scope "more"
{
    def Mesh "square"
    {
        int[] faceVertexCounts = [4]
        int[] faceVertexIndices = [3, 2, 1, 0]
        point3f[] points = [(0, 0, 5), (1, 0, 5), (1, 1, 5), (0, 1, 5)]
        color3f[] primvars:displayColor = [(0, 1, 0), (0, 1, 0), (0, 1, 0), (0, 1, 0)] (interpolation = "vertex")
        float3[] extent = [(0, 0, 5), (1, 1, 5)]
    }
}
)usda"));
    ASSERT_TRUE(mesh) << mesh.error().toStdString();
    EXPECT_EQ(mesh->vertexCount(), 9u);
    EXPECT_EQ(mesh->indices, (std::vector<std::uint32_t>{0, 1, 2, 0, 2, 3, 0, 3, 4, 8, 7, 6, 8, 6, 5}));
    ASSERT_EQ(mesh->colors.size(), 27u);
    EXPECT_EQ(mesh->colors[12], 1.0f);
    EXPECT_EQ(mesh->colors[15 + 1], 1.0f);
    EXPECT_TRUE(mesh->normals.empty());
}

TEST(UsdaReader, FloatsBeyondFloatRangeRoundLikeACast)
{
    const auto mesh = UsdaReader::parse(
        layerWith("def Mesh \"m\" { point3f[] points = [(1e-50, -1e-50, 2), (+2.5, -0, 1.5E+2)] }"));
    ASSERT_TRUE(mesh) << mesh.error().toStdString();
    ASSERT_EQ(mesh->positions.size(), 6u);
    EXPECT_EQ(mesh->positions[0], 0.0f);
    EXPECT_TRUE(std::signbit(mesh->positions[1]));
    EXPECT_EQ(mesh->positions[3], 2.5f);
    EXPECT_TRUE(std::signbit(mesh->positions[4]));
    EXPECT_EQ(mesh->positions[5], 150.0f);
    EXPECT_FALSE(UsdaReader::parse(layerWith("def Mesh \"m\" { point3f[] points = [(1e400, 0, 0)] }")));
}

TEST(UsdaReader, NonFinitePointsGoWithTheirTriangles)
{
    // Point 1 rounds to inf, point 3 is nan: of the three triangles only the one of 0, 2 and 4 stays, and the
    // points, normals and colours that remain keep their order.
    const auto mesh = UsdaReader::parse(
        layerWith("def Mesh \"m\" {\n"
                  "int[] faceVertexCounts = [3, 3, 3]\n"
                  "int[] faceVertexIndices = [0, 1, 2, 2, 3, 4, 0, 2, 4]\n"
                  "point3f[] points = [(0, 0, 0), (1e40, 0, 0), (1, 0, 0), (nan, 1, 1), (0, 1, 0)]\n"
                  "normal3f[] normals = [(0, 0, 1), (0, 0, 1), (0, 0, 2), (0, 0, 1), (0, 0, 3)]\n"
                  "}"));
    ASSERT_TRUE(mesh) << mesh.error().toStdString();
    EXPECT_EQ(mesh->positions, (std::vector<float>{0, 0, 0, 1, 0, 0, 0, 1, 0}));
    EXPECT_EQ(mesh->indices, (std::vector<std::uint32_t>{0, 1, 2}));
    ASSERT_EQ(mesh->normals.size(), 9u);
    EXPECT_EQ(mesh->normals[5], 2.0f);
    EXPECT_EQ(mesh->normals[8], 3.0f);
    // A transform that overflows a finite point counts too.
    const auto scaled = UsdaReader::parse(
        layerWith("def Xform \"x\" { double3 xformOp:scale = (1e300, 1, 1)\n"
                  "uniform token[] xformOpOrder = [\"xformOp:scale\"]\n"
                  "def Mesh \"m\" { int[] faceVertexCounts = [3]\n int[] faceVertexIndices = [0, 1, 2]\n"
                  "point3f[] points = [(1, 0, 0), (0, 1, 0), (0, 0, 1)] } }"));
    ASSERT_TRUE(scaled) << scaled.error().toStdString();
    EXPECT_TRUE(scaled->indices.empty());
    for (float value : scaled->positions) {
        EXPECT_TRUE(std::isfinite(value));
    }
}

TEST(UsdaReader, MalformedLayersGiveErrors)
{
    const std::string mesh = "def Mesh \"m\" {\n int[] faceVertexCounts = [3]\n int[] faceVertexIndices = [0, 1, 2]\n";
    const struct
    {
        const char* what;
        std::string layer;
        const char* message;
    } cases[] = {
        {"binary", "PXR-USDC\x08", "binary USD (usdc)"},
        {"not usda", "hello", "not a USD text"},
        {"index out of range", layerWith(mesh + " point3f[] points = [(0,0,0), (1,0,0)]\n}\n"), "out of range"},
        {"negative index",
         layerWith("def Mesh \"m\" { int[] faceVertexCounts = [3]\n int[] faceVertexIndices = [0, -1, 1]\n"
                   " point3f[] points = [(0,0,0), (1,0,0)] }"),
         "out of range"},
        {"counts do not add up",
         layerWith("def Mesh \"m\" { int[] faceVertexCounts = [4]\n int[] faceVertexIndices = [0, 1, 2]\n"
                   " point3f[] points = [(0,0,0), (1,0,0), (0,1,0)] }"),
         "do not match"},
        {"pair instead of triple", layerWith(mesh + " point3f[] points = [(0,0), (1,0,0), (0,1,0)]\n}\n"),
         "expected ','"},
        {"word in array", layerWith(mesh + " point3f[] points = [(0,0,zero), (1,0,0), (0,1,0)]\n}\n"),
         "expected a number"},
        {"huge integer", layerWith(mesh + " int[] faceVertexIndices = [99999999999]\n}\n"), "out of range"},
        {"unclosed prim", layerWith(mesh + " point3f[] points = [(0,0,0), (1,0,0), (0,1,0)]\n"), "expected '}'"},
        {"unsupported op",
         triangleUnder("float3 xformOp:shear = (1, 2, 3)\nuniform token[] xformOpOrder = [\"xformOp:shear\"]"),
         "does not support (xformOp:shear)"},
        {"undefined op", triangleUnder("uniform token[] xformOpOrder = [\"xformOp:translate\"]"),
         "does not define"},
        {"bad unit", layerWith("", "metersPerUnit = -1"), "metersPerUnit"},
    };
    for (const auto& c : cases) {
        const auto result = UsdaReader::parse(c.layer);
        ASSERT_FALSE(result) << c.what;
        EXPECT_TRUE(result.error().contains(QLatin1String(c.message))) << c.what << ": " << result.error().toStdString();
    }
}

TEST(UsdaReader, EveryTruncationOfALayerFailsCleanly)
{
    ModelMesh mesh;
    mesh.positions = {0, 0, 0, 0.25f, 0, 0, 0, 0.5f, 0, 0, 0, 1};
    mesh.normals = {0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 1};
    mesh.colors = {1, 0, 0, 0, 1, 0, 0, 0, 1, 1, 1, 1};
    mesh.indices = {0, 1, 2, 0, 2, 3};
    const std::string layer = UsdaWriter::write(mesh);
    ASSERT_TRUE(UsdaReader::parse(layer));
    // Cut inside the mesh prim: everything up to its closing brace is required.
    const std::size_t meshEnd = layer.find("\n    }\n", layer.find("point3f[] points"));
    ASSERT_NE(meshEnd, std::string::npos);
    for (std::size_t length = 0; length < meshEnd; ++length) {
        const auto result = UsdaReader::parse(std::string_view(layer).substr(0, length));
        EXPECT_FALSE(result) << "accepted a layer cut at " << length;
    }
}
