// Runs the COLMAP reconstruction layer on a capture folder and prints per-stage times, peak memory, triangles
// and, when the capture carries synthcapture's ground truth, the accuracy of the model. With --bare it then
// replays the same COLMAP commands without the layer, so the two times come from one run.
//   photogrammetry_bench --capture DIR [--detail reduced] [--threads 4] [--bare] [--colmap PATH] [--keep]
#include "ColmapPhotogrammetrySession.h"
#include "GroundTruth.h"
#include "MeshCleanup.h"
#include "UsdzFile.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cstdio>
#include <sys/resource.h>

using namespace tovarine;

namespace {

double peakChildrenGiB()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return static_cast<double>(usage.ru_maxrss) / (1024.0 * 1024.0);
}

double peakSelfGiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / (1024.0 * 1024.0);
}

PhotogrammetrySession::Detail parseDetail(const QString& text)
{
    const QString t = text.toLower();
    if (t == QLatin1String("preview"))
        return PhotogrammetrySession::Detail::preview;
    if (t == QLatin1String("reduced"))
        return PhotogrammetrySession::Detail::reduced;
    if (t == QLatin1String("full"))
        return PhotogrammetrySession::Detail::full;
    if (t == QLatin1String("raw"))
        return PhotogrammetrySession::Detail::raw;
    return PhotogrammetrySession::Detail::medium;
}

// Replays the recorded COLMAP steps in the kept work folder, with fresh outputs; returns the seconds taken.
double runBareChain(const ColmapPhotogrammetrySession::RunReport& report, const QString& colmap)
{
    QDir work(report.workFolder);
    QFile::remove(work.filePath(QStringLiteral("database.db")));
    QFile::remove(work.filePath(QStringLiteral("mesh.ply")));
    QDir(work.filePath(QStringLiteral("sparse"))).removeRecursively();
    QDir(work.filePath(QStringLiteral("text"))).removeRecursively();
    work.mkpath(QStringLiteral("sparse"));
    QElapsedTimer total;
    total.start();
    for (const auto& step : report.steps) {
        if (step.arguments.isEmpty()) {
            continue;
        }
        if (step.arguments.value(0) == QLatin1String("model_converter")) {
            work.mkpath(step.arguments.value(step.arguments.indexOf(QStringLiteral("--output_path")) + 1));
        }
        QElapsedTimer clock;
        clock.start();
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("GLOG_log_dir"), work.filePath(QStringLiteral("logs")));
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(colmap, step.arguments);
        process.waitForFinished(-1);
        process.readAll();
        std::printf("  bare %-24s %8.1f s (exit %d)\n", qPrintable(step.arguments.value(0)),
                    clock.nsecsElapsed() / 1e9, process.exitCode());
    }
    return total.nsecsElapsed() / 1e9;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption captureOption(QStringLiteral("capture"),
                                           QStringLiteral("Capture folder (holding Images/)."),
                                           QStringLiteral("dir"));
    const QCommandLineOption detailOption(QStringLiteral("detail"),
                                          QStringLiteral("preview|reduced|medium|full|raw."),
                                          QStringLiteral("level"), QStringLiteral("reduced"));
    const QCommandLineOption threadsOption(QStringLiteral("threads"),
                                           QStringLiteral("Threads per COLMAP step."), QStringLiteral("n"),
                                           QStringLiteral("4"));
    const QCommandLineOption bareOption(QStringLiteral("bare"),
                                        QStringLiteral("Also time the bare COLMAP chain."));
    const QCommandLineOption colmapOption(QStringLiteral("colmap"), QStringLiteral("colmap program."),
                                          QStringLiteral("path"));
    const QCommandLineOption keepOption(QStringLiteral("keep"),
                                        QStringLiteral("Keep the work folder and model."));
    const QCommandLineOption errorsOption(
        QStringLiteral("errors"),
        QStringLiteral(
            "Write each model vertex, aligned to the truth, with its distance (x y z d per line)."),
        QStringLiteral("file"));
    parser.addOptions(
        {captureOption, detailOption, threadsOption, bareOption, colmapOption, keepOption, errorsOption});
    parser.process(app);
    if (!parser.isSet(captureOption)) {
        std::fprintf(stderr, "photogrammetry_bench: --capture is required\n");
        return 2;
    }
    const QDir capture(parser.value(captureOption));
    const QString images = QDir(capture.filePath(QStringLiteral("Images"))).exists()
                               ? capture.filePath(QStringLiteral("Images"))
                               : capture.path();
    QTemporaryDir scratch;
    scratch.setAutoRemove(!parser.isSet(keepOption));
    const QString modelPath = QDir(scratch.path()).filePath(QStringLiteral("model.usdz"));

    ColmapPhotogrammetrySession::Options options;
    options.colmapProgram = parser.isSet(colmapOption)
                                ? parser.value(colmapOption)
                                : QStandardPaths::findExecutable(QStringLiteral("colmap"));
    options.maxThreads = parser.value(threadsOption).toInt();
    options.keepWorkFolder = true;
    options.workRoot = scratch.path();
    PhotogrammetrySession::Configuration configuration;
    configuration.sampleOrdering = PhotogrammetrySession::SampleOrdering::sequential;
    configuration.featureSensitivity = PhotogrammetrySession::FeatureSensitivity::high;
    ColmapPhotogrammetrySession session(images, configuration, options);

    QString error;
    bool complete = false;
    QEventLoop loop;
    QObject::connect(&session, &PhotogrammetrySession::output, &loop,
                     [&](const PhotogrammetrySession::Output& o) {
                         if (o.kind == PhotogrammetrySession::Output::Kind::requestError) {
                             error = o.errorDescription;
                         } else if (o.kind == PhotogrammetrySession::Output::Kind::processingComplete) {
                             complete = true;
                         }
                     });
    QObject::connect(&session, &PhotogrammetrySession::outputsEnded, &loop, &QEventLoop::quit);
    QObject::connect(&session, &PhotogrammetrySession::outputsFailed, &loop, [&](const QString& message) {
        error = message;
        loop.quit();
    });
    const QString detail = parser.value(detailOption);
    QElapsedTimer clock;
    clock.start();
    if (auto accepted = session.process(modelPath, parseDetail(detail)); !accepted) {
        std::fprintf(stderr, "refused: %s\n", qPrintable(accepted.error()));
        return 1;
    }
    loop.exec();
    const double ourSeconds = clock.nsecsElapsed() / 1e9;
    const double peakGiB = std::max(peakChildrenGiB(), peakSelfGiB());
    const auto& report = session.report();

    std::printf("capture %s, detail %s, %d threads\n", qPrintable(images), qPrintable(detail),
                options.maxThreads);
    for (const auto& step : report.steps) {
        std::printf("  %-24s %8.1f s\n", qPrintable(step.name), step.seconds);
    }
    std::printf(
        "ours: %.1f s, peak memory %.2f GiB, %d of %d frames placed, %zu object points, %zu triangles\n",
        ourSeconds, peakGiB, report.registeredCount, report.frameCount, report.objectPointCount,
        report.triangleCount);
    if (!complete) {
        std::printf("FAILED: %s\n", qPrintable(error));
        return 1;
    }

    const auto truth = synth::readGroundTruth(capture.path());
    if (truth) {
        const auto model = UsdzFile::read(modelPath);
        const auto alignment = synth::alignCameras(report.cameraCentres, *truth);
        if (model && alignment) {
            std::vector<double> distances;
            const synth::Accuracy accuracy = synth::measure(*model, *alignment, *truth, &distances);
            if (parser.isSet(errorsOption)) {
                QFile errors(parser.value(errorsOption));
                if (errors.open(QIODevice::WriteOnly)) {
                    for (std::size_t v = 0; v < distances.size(); ++v) {
                        const geo::Vec3 p =
                            alignment->apply({model->positions[3 * v], model->positions[3 * v + 1],
                                              model->positions[3 * v + 2]});
                        errors.write(QByteArray::number(p.x) + ' ' + QByteArray::number(p.y) + ' ' +
                                     QByteArray::number(p.z) + ' ' + QByteArray::number(distances[v]) + '\n');
                    }
                }
            }
            const double size = truth->objectHeightM;
            std::printf(
                "accuracy vs truth (object height %.1f mm): mean %.2f mm (%.2f%%), p95 %.2f mm (%.2f%%), "
                "max %.2f mm; camera alignment rms %.2f mm; metric scale off by %.1f%%; boundary edges %zu\n",
                size * 1e3, accuracy.meanM * 1e3, 100 * accuracy.meanM / size, accuracy.p95M * 1e3,
                100 * accuracy.p95M / size, accuracy.maxM * 1e3, alignment->rmsM * 1e3,
                100 * (alignment->scale - 1.0), MeshCleanup::boundaryEdgeCount(model->indices));
        } else {
            std::printf("accuracy: not measured (%s)\n",
                        qPrintable(!model ? model.error() : alignment.error()));
        }
    }

    if (parser.isSet(bareOption)) {
        const double bareSeconds = runBareChain(report, options.colmapProgram);
        std::printf("bare chain: %.1f s; ours / bare = %.2f\n", bareSeconds, ourSeconds / bareSeconds);
    }
    if (!parser.isSet(keepOption)) {
        QDir(report.workFolder).removeRecursively();
    } else {
        std::printf("kept %s\n", qPrintable(scratch.path()));
    }
    return 0;
}
