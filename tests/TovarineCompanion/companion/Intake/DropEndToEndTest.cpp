#include "DropTestFixture.h"
#include "HangCeiling.h"
#include "IntakeTestSupport.h"
#include "QStringPrinter.h"
#include "SettingsKeys.h"
#include "UserDefaults.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <array>
#include <limits>

namespace tovarine {
namespace {

using State = DropReconstruction::State;

struct ObjBounds
{
    std::array<double, 3> min{std::numeric_limits<double>::max(), std::numeric_limits<double>::max(),
                              std::numeric_limits<double>::max()};
    std::array<double, 3> max{std::numeric_limits<double>::lowest(), std::numeric_limits<double>::lowest(),
                              std::numeric_limits<double>::lowest()};
    QList<std::array<double, 3>> vertices;
};

ObjBounds readObjVertices(const QString& objPath)
{
    ObjBounds bounds;
    for (const QByteArray& line : test::readFile(objPath).split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 4 || fields[0] != "v") {
            continue;
        }
        std::array<double, 3> v{fields[1].toDouble(), fields[2].toDouble(), fields[3].toDouble()};
        for (int axis = 0; axis < 3; ++axis) {
            bounds.min[axis] = std::min(bounds.min[axis], v[axis]);
            bounds.max[axis] = std::max(bounds.max[axis], v[axis]);
        }
        bounds.vertices.append(v);
    }
    return bounds;
}

class DropEndToEndTest : public test::DropTestFixture
{
};

// A phone capture package, zipped with the system zip tool, goes all the way to a result folder.
TEST_F(DropEndToEndTest, ZippedCaptureBecomesAResultFolderWithAMillimetreZUpObj)
{
    ostrel::UserDefaults::standard().remove(SettingsKeys::kUnits);
    makeCapture(QStringLiteral("package/scan 7"), 12, "red teacup", "{\"subdivisions\": 2}\n");
    QProcess zip;
    zip.setWorkingDirectory(path(QStringLiteral("package")));
    zip.start(QStringLiteral("/usr/bin/zip"),
              {QStringLiteral("-qr"), path(QStringLiteral("scan.zip")), QStringLiteral("scan 7")});
    ASSERT_TRUE(zip.waitForFinished(tovarine::test::kHangCeilingMs));
    ASSERT_EQ(zip.exitCode(), 0);

    const State final = drop(path(QStringLiteral("scan.zip")));
    ASSERT_EQ(final.kind, State::Kind::done) << final.message.toStdString();
    const QString result = final.resultDir;
    EXPECT_EQ(QFileInfo(result).absolutePath(), tovarineDir());
    EXPECT_EQ(final.meshPath, result + QStringLiteral("/model.usdz"));

    EXPECT_EQ(QDir(result + QStringLiteral("/Images")).entryList(QDir::Files, QDir::Name),
              test::numberedNames(QStringLiteral("frame_"), 12));
    EXPECT_EQ(test::readFile(result + QStringLiteral("/label.txt")), QByteArray("red teacup"));
    EXPECT_EQ(test::readFile(result + QStringLiteral("/phone_morvel_settings.json")),
              QByteArray("{\"subdivisions\": 2}\n"));
    EXPECT_TRUE(QFileInfo(result + QStringLiteral("/model.usdz")).size() > 0);

    // The engine's 0.1 m cube standing on y = 0 (metres, +Y up) becomes 100 mm on every side, standing on
    // z = 0 (+Z up); its corner (0.05, 0.1, 0.05) m is at (50, -50, 100) mm.
    const ObjBounds bounds = readObjVertices(result + QStringLiteral("/model.obj"));
    ASSERT_EQ(bounds.vertices.size(), 8);
    for (int axis = 0; axis < 3; ++axis) {
        EXPECT_NEAR(bounds.max[axis] - bounds.min[axis], 100.0, 1e-3) << axis;
    }
    EXPECT_NEAR(bounds.min[2], 0.0, 1e-3);
    EXPECT_NEAR(bounds.max[2], 100.0, 1e-3);
    const bool cornerFound = std::any_of(bounds.vertices.begin(), bounds.vertices.end(), [](const auto& v) {
        return std::abs(v[0] - 50.0) < 1e-3 && std::abs(v[1] + 50.0) < 1e-3 && std::abs(v[2] - 100.0) < 1e-3;
    });
    EXPECT_TRUE(cornerFound);
}

TEST_F(DropEndToEndTest, ObjFollowsTheUnitSetting)
{
    ostrel::UserDefaults::standard().setValue(SettingsKeys::kUnits, QStringLiteral("in"));
    const State final = drop(makeCapture(QStringLiteral("cup")));
    ostrel::UserDefaults::standard().remove(SettingsKeys::kUnits);
    ASSERT_EQ(final.kind, State::Kind::done);
    const ObjBounds bounds = readObjVertices(final.resultDir + QStringLiteral("/model.obj"));
    EXPECT_NEAR(bounds.max[2] - bounds.min[2], 3.93701, 1e-4);
}

} // namespace
} // namespace tovarine
