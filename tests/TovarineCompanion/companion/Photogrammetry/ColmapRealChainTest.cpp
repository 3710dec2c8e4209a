// The real COLMAP chain on a small generated capture (20 frames, 640 x 480), sparse (reduced) and dense
// (full): a few minutes each on 2 cores.
#include "ColmapPhotogrammetrySession.h"
#include "GroundTruth.h"
#include "HangCeiling.h"
#include "MeshCleanup.h"
#include "UsdzFile.h"

#include <QDir>
#include <QEventLoop>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <memory>

using namespace tovarine;

namespace {

// The triangles with each vertex replaced by the first vertex at the same position.
std::vector<std::uint32_t> indicesByPosition(const ModelMesh& model)
{
    std::map<std::array<float, 3>, std::uint32_t> first;
    std::vector<std::uint32_t> canonical(model.vertexCount());
    for (std::uint32_t v = 0; v < canonical.size(); ++v) {
        const std::array<float, 3> p{model.positions[3 * v], model.positions[3 * v + 1], model.positions[3 * v + 2]};
        canonical[v] = first.emplace(p, v).first->second;
    }
    std::vector<std::uint32_t> indices;
    indices.reserve(model.indices.size());
    for (const std::uint32_t i : model.indices) {
        indices.push_back(canonical[i]);
    }
    return indices;
}

// Generates the capture, runs one level on it and checks what every level must give: a model, metric and
// upright, of the object's shape. The checks specific to the level follow in the tests.
class ColmapRealChain : public ::testing::Test
{
protected:
    void run(PhotogrammetrySession::Detail detail)
    {
        const QString colmap = QStandardPaths::findExecutable(QStringLiteral("colmap"));
        if (colmap.isEmpty()) {
            GTEST_SKIP() << "colmap is not installed";
        }
        ASSERT_TRUE(dir.isValid());
        const QString capture = dir.filePath(QStringLiteral("capture"));
        QProcess generator;
        generator.start(QStringLiteral(TOVARINE_BINARY_ROOT "/tools/synthcapture/synthcapture"),
                        {QStringLiteral("--out"), capture, QStringLiteral("--frames"), QStringLiteral("20"),
                         QStringLiteral("--width"), QStringLiteral("640"), QStringLiteral("--height"),
                         QStringLiteral("480"), QStringLiteral("--threads"), QStringLiteral("2")});
        ASSERT_TRUE(generator.waitForFinished(tovarine::test::kHangCeilingMs));
        ASSERT_EQ(generator.exitCode(), 0) << generator.readAllStandardError().toStdString();

        const QString workRoot = dir.filePath(QStringLiteral("work"));
        ASSERT_TRUE(QDir().mkpath(workRoot));
        ColmapPhotogrammetrySession::Options options;
        options.colmapProgram = colmap;
        options.workRoot = workRoot;
        options.maxThreads = 2;
        PhotogrammetrySession::Configuration configuration;
        configuration.sampleOrdering = PhotogrammetrySession::SampleOrdering::sequential;
        session = std::make_unique<ColmapPhotogrammetrySession>(
            QDir(capture).filePath(QStringLiteral("Images")), configuration, options);

        const QString modelPath = QDir(capture).filePath(QStringLiteral("model.usdz"));
        std::vector<PhotogrammetrySession::Output> outputs;
        QEventLoop loop;
        QObject::connect(session.get(), &PhotogrammetrySession::output, &loop,
                         [&](const PhotogrammetrySession::Output& o) { outputs.push_back(o); });
        QObject::connect(session.get(), &PhotogrammetrySession::outputsEnded, &loop, &QEventLoop::quit);
        QObject::connect(session.get(), &PhotogrammetrySession::outputsFailed, &loop, &QEventLoop::quit);
        QTimer::singleShot(tovarine::test::kLongHangCeilingMs, &loop, &QEventLoop::quit);
        ASSERT_TRUE(session->process(modelPath, detail).hasValue());
        loop.exec();

        ASSERT_FALSE(outputs.empty());
        ASSERT_EQ(outputs.back().kind, PhotogrammetrySession::Output::Kind::processingComplete)
            << outputs.back().errorDescription.toStdString();
        EXPECT_TRUE(QDir(workRoot).isEmpty());
        EXPECT_EQ(session->report().registeredCount, 20);

        auto read = UsdzFile::read(modelPath);
        ASSERT_TRUE(read.hasValue()) << read.error().toStdString();
        model = std::move(*read);
        // Closed enough: the open border (the unseen underside) is a small share of the edges. Texture seams
        // split vertices without opening the surface, so edges are counted between positions.
        EXPECT_LT(static_cast<double>(MeshCleanup::boundaryEdgeCount(indicesByPosition(model))),
                  0.03 * 1.5 * model.triangleCount());

        auto readTruth = synth::readGroundTruth(capture);
        ASSERT_TRUE(readTruth.hasValue()) << readTruth.error().toStdString();
        truth = std::move(*readTruth);
        // The truth is the object's surface alone: each of its vertices is on one of its triangles (the
        // ground's would count as surface the model misses).
        std::vector<bool> used(truth.surface.positions.size() / 3, false);
        for (const std::uint32_t v : truth.surface.indices) {
            used.at(v) = true;
        }
        EXPECT_EQ(std::count(used.begin(), used.end(), false), 0);
        // Metric and upright: the model stands on y = 0 and is as tall as the object (the capture was made
        // from 0.4 m, the distance the scale step assumes).
        float lowest = 1e9f, highest = -1e9f;
        for (std::size_t v = 0; v < model.vertexCount(); ++v) {
            lowest = std::min(lowest, model.positions[3 * v + 1]);
            highest = std::max(highest, model.positions[3 * v + 1]);
        }
        EXPECT_NEAR(lowest, 0.0, 0.01);
        EXPECT_NEAR(highest - lowest, truth.objectHeightM, 0.1 * truth.objectHeightM);

        const auto alignment = synth::alignCameras(session->report().cameraCentres, truth);
        ASSERT_TRUE(alignment.hasValue()) << alignment.error().toStdString();
        accuracy = synth::measure(model, *alignment, truth);
        done = true;
    }

    QTemporaryDir dir;
    std::unique_ptr<ColmapPhotogrammetrySession> session;
    ModelMesh model;
    synth::GroundTruth truth;
    synth::Accuracy accuracy;
    bool done = false;
};

TEST_F(ColmapRealChain, SmallOrbitCaptureBecomesAClosedModelOfTheRightShape)
{
    run(PhotogrammetrySession::Detail::reduced);
    if (!done) {
        return;
    }
    EXPECT_GT(model.triangleCount(), 2000u);
    EXPECT_LE(model.triangleCount(), 30000u);
    EXPECT_LT(accuracy.meanM, 0.02 * truth.objectHeightM);
    EXPECT_LT(accuracy.p95M, 0.06 * truth.objectHeightM);
}

TEST_F(ColmapRealChain, FullBuildsTheSurfaceFromTheDensePoints)
{
    run(PhotogrammetrySession::Detail::full);
    if (!done) {
        return;
    }
    const auto& report = session->report();
    EXPECT_TRUE(report.notes.isEmpty()) << report.notes.join(QLatin1Char('\n')).toStdString();
    // Far more points than the sparse model gives, hence a much finer surface.
    EXPECT_GT(report.densePointCount, 10 * report.objectPointCount);
    EXPECT_GT(model.triangleCount(), 50000u);
    EXPECT_LT(accuracy.meanM, 0.005 * truth.objectHeightM);
    EXPECT_LT(accuracy.p95M, 0.02 * truth.objectHeightM);
}

} // namespace
