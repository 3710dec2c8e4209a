// The real COLMAP chain on a small generated capture (20 frames, 640 x 480): a few minutes on 2 cores.
#include "ColmapPhotogrammetrySession.h"
#include "GroundTruth.h"
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

using namespace tovarine;

TEST(ColmapRealChain, SmallOrbitCaptureBecomesAClosedModelOfTheRightShape)
{
    const QString colmap = QStandardPaths::findExecutable(QStringLiteral("colmap"));
    if (colmap.isEmpty()) {
        GTEST_SKIP() << "colmap is not installed";
    }
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString capture = dir.filePath(QStringLiteral("capture"));
    QProcess generator;
    generator.start(QStringLiteral(TOVARINE_BINARY_ROOT "/tools/synthcapture/synthcapture"),
                    {QStringLiteral("--out"), capture, QStringLiteral("--frames"), QStringLiteral("20"),
                     QStringLiteral("--width"), QStringLiteral("640"), QStringLiteral("--height"),
                     QStringLiteral("480"), QStringLiteral("--threads"), QStringLiteral("2")});
    ASSERT_TRUE(generator.waitForFinished(120000));
    ASSERT_EQ(generator.exitCode(), 0) << generator.readAllStandardError().toStdString();

    const QString workRoot = dir.filePath(QStringLiteral("work"));
    ASSERT_TRUE(QDir().mkpath(workRoot));
    ColmapPhotogrammetrySession::Options options;
    options.colmapProgram = colmap;
    options.workRoot = workRoot;
    options.maxThreads = 2;
    PhotogrammetrySession::Configuration configuration;
    configuration.sampleOrdering = PhotogrammetrySession::SampleOrdering::sequential;
    ColmapPhotogrammetrySession session(QDir(capture).filePath(QStringLiteral("Images")), configuration,
                                        options);

    const QString modelPath = QDir(capture).filePath(QStringLiteral("model.usdz"));
    std::vector<PhotogrammetrySession::Output> outputs;
    QEventLoop loop;
    QObject::connect(&session, &PhotogrammetrySession::output, &loop,
                     [&](const PhotogrammetrySession::Output& o) { outputs.push_back(o); });
    QObject::connect(&session, &PhotogrammetrySession::outputsEnded, &loop, &QEventLoop::quit);
    QObject::connect(&session, &PhotogrammetrySession::outputsFailed, &loop, &QEventLoop::quit);
    QTimer::singleShot(9 * 60 * 1000, &loop, &QEventLoop::quit);
    ASSERT_TRUE(session.process(modelPath, PhotogrammetrySession::Detail::reduced).hasValue());
    loop.exec();

    ASSERT_FALSE(outputs.empty());
    ASSERT_EQ(outputs.back().kind, PhotogrammetrySession::Output::Kind::processingComplete)
        << outputs.back().errorDescription.toStdString();
    EXPECT_TRUE(QDir(workRoot).isEmpty());
    EXPECT_EQ(session.report().registeredCount, 20);

    const auto model = UsdzFile::read(modelPath);
    ASSERT_TRUE(model.hasValue()) << model.error().toStdString();
    ASSERT_GT(model->triangleCount(), 2000u);
    EXPECT_LE(model->triangleCount(), 30000u);
    // Closed enough: the open border (the unseen underside) is a small share of the edges.
    EXPECT_LT(static_cast<double>(MeshCleanup::boundaryEdgeCount(model->indices)),
              0.03 * 1.5 * model->triangleCount());

    const auto truth = synth::readGroundTruth(capture);
    ASSERT_TRUE(truth.hasValue()) << truth.error().toStdString();
    // Metric and upright: the model stands on y = 0 and is as tall as the object (the capture was made from
    // 0.4 m, the distance the scale step assumes).
    float lowest = 1e9f, highest = -1e9f;
    for (std::size_t v = 0; v < model->vertexCount(); ++v) {
        lowest = std::min(lowest, model->positions[3 * v + 1]);
        highest = std::max(highest, model->positions[3 * v + 1]);
    }
    EXPECT_NEAR(lowest, 0.0, 0.01);
    EXPECT_NEAR(highest - lowest, truth->objectHeightM, 0.1 * truth->objectHeightM);

    const auto alignment = synth::alignCameras(session.report().cameraCentres, *truth);
    ASSERT_TRUE(alignment.hasValue()) << alignment.error().toStdString();
    const synth::Accuracy accuracy = synth::measure(*model, *alignment, *truth);
    EXPECT_LT(accuracy.meanM, 0.02 * truth->objectHeightM);
    EXPECT_LT(accuracy.p95M, 0.06 * truth->objectHeightM);
}
