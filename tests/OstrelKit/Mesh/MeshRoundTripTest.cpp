// Our OBJ and STL files read back by two independent readers, admesh and assimp (Debian packages "admesh"
// and "assimp-utils"), which must find the counts we wrote.

#include "HangCeiling.h"
#include "MeshFixtures.h"

#include "Mesh/OBJExporter.h"
#include "Mesh/MeshSubdivision.h"
#include "Mesh/STLExporter.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace ostrel;

namespace {

// The tool's standard output, or a skip when the tool is not installed.
QString run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    process.closeWriteChannel();
    if (!process.waitForFinished(tovarine::test::kHangCeilingMs)) {
        ADD_FAILURE() << program.toStdString() << " did not finish";
        process.kill();
        process.waitForFinished();
    }
    return QString::fromUtf8(process.readAll());
}

// The number after `label` in a tool's report, or -1.
long long numberAfter(const QString& report, const QString& label)
{
    const QRegularExpression re(QRegularExpression::escape(label) + QStringLiteral("\\s*:?\\s*(\\d+)"));
    const QRegularExpressionMatch m = re.match(report);
    return m.hasMatch() ? m.captured(1).toLongLong() : -1;
}

#define REQUIRE_TOOL(name)                                                                                        \
    if (QStandardPaths::findExecutable(name).isEmpty()) {                                                         \
        GTEST_SKIP() << name << " is not installed (Debian package in scripts/debian-packages.txt)";             \
    }

struct Case
{
    const char* name;
    int subdivisions;
    long long faces;
    long long vertices;
};

const Case kCases[] = {
    {"closed box", 0, 12, 8},
    {"closed box subdivided twice", 2, 192, 98},
};

// The loose-triangle box exported as "box.stl" into `dir`.
STLExporter::ExportResult exportBoxStl(const QTemporaryDir& dir, int subdivisions)
{
    const test::Mesh loose = test::looseTriangles(test::closedBox());
    return STLExporter::exportMesh(loose.vertices, loose.normals, loose.indices, "box", "Kit", subdivisions,
                                   dir.path());
}

} // namespace

TEST(MeshRoundTrip, AdmeshReadsOurStl)
{
    REQUIRE_TOOL("admesh");
    QTemporaryDir dir;
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        const auto r = exportBoxStl(dir, c.subdivisions);
        ASSERT_TRUE(r.filePath);
        ASSERT_EQ(r.faceCount, c.faces);
        const QString report = run("admesh", {*r.filePath});
        SCOPED_TRACE(report.toStdString());
        EXPECT_TRUE(report.contains("Binary STL file"));
        EXPECT_TRUE(report.contains("Header             : Kit Export"));
        EXPECT_EQ(numberAfter(report, "Number of facets"), c.faces);
        // A closed, consistently wound solid: nothing disconnected, nothing reversed, the cube's volume.
        EXPECT_EQ(numberAfter(report, "Total disconnected facets"), 0);
        EXPECT_EQ(numberAfter(report, "Facets reversed"), 0);
        EXPECT_EQ(numberAfter(report, "Backwards edges"), 0);
        const QRegularExpressionMatch volume = QRegularExpression("Volume\\s*:\\s*([0-9.]+)").match(report);
        ASSERT_TRUE(volume.hasMatch());
        EXPECT_NEAR(volume.captured(1).toDouble(), 1.0, 1e-4);
    }
}

TEST(MeshRoundTrip, AssimpReadsOurStlAndObj)
{
    REQUIRE_TOOL("assimp");
    const test::Mesh loose = test::looseTriangles(test::closedBox());
    QTemporaryDir dir;
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        const auto stl = exportBoxStl(dir, c.subdivisions);
        ASSERT_TRUE(stl.filePath);
        const QString stlReport = run("assimp", {"info", *stl.filePath});
        SCOPED_TRACE(stlReport.toStdString());
        EXPECT_EQ(numberAfter(stlReport, "Faces:"), c.faces);
        // An STL file holds no vertex count: assimp joins corners that share position and facet normal.

        const OBJExporter::ExportConfig config("Kit", "box", c.subdivisions, 0.0001f, true, [] {
            return QStringLiteral("newmtl box_mat\nKd 0.8 0.2 0.1\n");
        });
        const auto obj = OBJExporter::exportMesh(loose.vertices, loose.normals, loose.indices, config, dir.path());
        ASSERT_TRUE(obj.filePath);
        ASSERT_EQ(obj.vertexCount, c.vertices);
        const QString objReport = run("assimp", {"info", *obj.filePath});
        SCOPED_TRACE(objReport.toStdString());
        EXPECT_EQ(numberAfter(objReport, "Faces:"), c.faces);
        // One normal per vertex: assimp's joined corners are exactly our vertices.
        EXPECT_EQ(numberAfter(objReport, "Vertices:"), c.vertices);
        EXPECT_TRUE(objReport.contains("'box_mat'")); // the material file was found and read
    }
}
