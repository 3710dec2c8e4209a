// Runs the COLMAP reconstruction layer on a capture folder and prints per-stage times, peak memory, triangles
// and, when the capture carries synthcapture's ground truth, the accuracy of the model. With --bare it then
// replays the same COLMAP commands without the layer, so the two times come from one run. With --dense it
// runs the level's chain and the sparse chain on the same capture, each in a process of its own (so each peak
// memory is that chain's), alternating which goes first, and prints them side by side.
//   photogrammetry_bench --capture DIR [--detail reduced] [--threads 4] [--bare] [--colmap PATH] [--keep]
//                        [--dense [--rounds 2]] [--picture FILE]
//   photogrammetry_bench --capture DIR --evaluate KEPT [--picture FILE] [--errors FILE]
#include "ColmapPhotogrammetrySession.h"
#include "ColmapTextModel.h"
#include "GroundTruth.h"
#include "MeshCleanup.h"
#include "ObjectPointCloud.h"
#include "UsdzFile.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <numbers>
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

// Distances from true surface points (x, y, z per point) to the model's surface.
std::vector<double> distancesToModel(const ModelMesh& model, const synth::Similarity& alignment,
                                     const std::vector<float>& points)
{
    synth::GroundTruth modelAsTruth;
    modelAsTruth.surface.indices = model.indices;
    modelAsTruth.surface.positions.reserve(model.positions.size());
    for (std::size_t v = 0; v < model.vertexCount(); ++v) {
        const geo::Vec3 p =
            alignment.apply({model.positions[3 * v], model.positions[3 * v + 1], model.positions[3 * v + 2]});
        modelAsTruth.surface.positions.insert(modelAsTruth.surface.positions.end(),
                                              {float(p.x), float(p.y), float(p.z)});
    }
    ModelMesh truthPoints;
    truthPoints.positions = points;
    std::vector<double> distances;
    synth::measure(truthPoints, synth::Similarity{}, modelAsTruth, &distances);
    return distances;
}

// The points of the truth's surface its triangles use (captures made before the generator wrote only the
// object's vertices also hold the ground's), once each.
std::vector<float> surfacePoints(const synth::GroundTruth& truth)
{
    const auto& tp = truth.surface.positions;
    std::vector<bool> used(tp.size() / 3, false);
    for (const std::uint32_t v : truth.surface.indices) {
        if (v < used.size()) {
            used[v] = true;
        }
    }
    std::vector<float> points;
    for (std::size_t v = 0; v < used.size(); ++v) {
        if (used[v]) {
            points.insert(points.end(), {tp[3 * v], tp[3 * v + 1], tp[3 * v + 2]});
        }
    }
    return points;
}

// A grey, lit picture of a triangle mesh (metres, +Y up) seen from above at 30 degrees, framed by the
// truth's box so that pictures of the same capture line up: a z-buffer and one light, nothing more.
QImage pictureOf(const std::vector<float>& positions, const std::vector<std::uint32_t>& indices,
                 const synth::GroundTruth& truth, int size)
{
    // The box of the truth's triangles (its vertex list may hold more than they use).
    geo::Vec3 low{1e9, 1e9, 1e9}, high{-1e9, -1e9, -1e9};
    const auto& tp = truth.surface.positions;
    for (const std::uint32_t v : truth.surface.indices) {
        const geo::Vec3 p{tp[3 * v], tp[3 * v + 1], tp[3 * v + 2]};
        low = {std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z)};
        high = {std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z)};
    }
    const geo::Vec3 centre = (low + high) * 0.5;
    const double extent = 1.25 * std::max({high.x - low.x, high.y - low.y, high.z - low.z});
    // View axes: right, up and toward the viewer (azimuth 35 degrees, elevation 30 degrees).
    const double az = 35 * std::numbers::pi / 180, el = 30 * std::numbers::pi / 180;
    const geo::Vec3 toViewer{std::cos(el) * std::sin(az), std::sin(el), std::cos(el) * std::cos(az)};
    const geo::Vec3 right = geo::normalized(geo::cross({0, 1, 0}, toViewer));
    const geo::Vec3 up = geo::cross(toViewer, right);
    const geo::Vec3 light = geo::normalized(toViewer + up * 0.5 + right * 0.3);
    QImage image(size, size, QImage::Format_RGB32);
    image.fill(qRgb(40, 44, 52));
    std::vector<double> depth(std::size_t(size) * std::size_t(size), -1e30);
    auto project = [&](std::uint32_t v) {
        const geo::Vec3 p = geo::Vec3{positions[3 * v], positions[3 * v + 1], positions[3 * v + 2]} - centre;
        return geo::Vec3{(geo::dot(p, right) / extent + 0.5) * size, (0.5 - geo::dot(p, up) / extent) * size,
                         geo::dot(p, toViewer)};
    };
    for (std::size_t t = 0; t + 2 < indices.size(); t += 3) {
        const geo::Vec3 a = project(indices[t]), b = project(indices[t + 1]), c = project(indices[t + 2]);
        const geo::Vec3 pa{positions[3 * indices[t]], positions[3 * indices[t] + 1],
                           positions[3 * indices[t] + 2]};
        const geo::Vec3 pb{positions[3 * indices[t + 1]], positions[3 * indices[t + 1] + 1],
                           positions[3 * indices[t + 1] + 2]};
        const geo::Vec3 pc{positions[3 * indices[t + 2]], positions[3 * indices[t + 2] + 1],
                           positions[3 * indices[t + 2] + 2]};
        const geo::Vec3 n = geo::normalized(geo::cross(pb - pa, pc - pa));
        const double lit = 0.15 + 0.85 * std::abs(geo::dot(n, light));
        const int shade = std::clamp(int(230 * lit), 0, 255);
        const double area = (b.x - a.x) * (c.y - a.y) - (c.x - a.x) * (b.y - a.y);
        if (std::abs(area) < 1e-12) {
            continue;
        }
        const int x0 = std::max(0, int(std::floor(std::min({a.x, b.x, c.x}))));
        const int x1 = std::min(size - 1, int(std::ceil(std::max({a.x, b.x, c.x}))));
        const int y0 = std::max(0, int(std::floor(std::min({a.y, b.y, c.y}))));
        const int y1 = std::min(size - 1, int(std::ceil(std::max({a.y, b.y, c.y}))));
        for (int y = y0; y <= y1; ++y) {
            for (int x = x0; x <= x1; ++x) {
                const double px = x + 0.5, py = y + 0.5;
                const double w0 = ((b.x - px) * (c.y - py) - (c.x - px) * (b.y - py)) / area;
                const double w1 = ((c.x - px) * (a.y - py) - (a.x - px) * (c.y - py)) / area;
                const double w2 = 1 - w0 - w1;
                if (w0 < 0 || w1 < 0 || w2 < 0) {
                    continue;
                }
                const double z = w0 * a.z + w1 * b.z + w2 * c.z;
                double& stored = depth[std::size_t(y) * std::size_t(size) + std::size_t(x)];
                if (z > stored) {
                    stored = z;
                    image.setPixel(x, y, qRgb(shade, shade, shade));
                }
            }
        }
    }
    return image;
}

// One chain's figures, as a child run prints them on its "result" line.
struct ChainResult
{
    double seconds = 0, denseSeconds = 0, peakGiB = 0, meanPct = 0, p95Pct = 0, completePct = 0;
    double reliefPct = -1;
    std::size_t triangles = 0;
    bool ok = false;
};

ChainResult parseResult(const QByteArray& output)
{
    ChainResult r;
    for (const QByteArray& line : output.split('\n')) {
        if (!line.startsWith("result ")) {
            continue;
        }
        for (const QByteArray& field : line.mid(7).split(' ')) {
            const QList<QByteArray> kv = field.split('=');
            const double value = kv.value(1).toDouble();
            const QByteArray key = kv.value(0);
            if (key == "seconds")
                r.seconds = value;
            else if (key == "dense")
                r.denseSeconds = value;
            else if (key == "peak")
                r.peakGiB = value;
            else if (key == "mean")
                r.meanPct = value;
            else if (key == "p95")
                r.p95Pct = value;
            else if (key == "complete")
                r.completePct = value;
            else if (key == "relief")
                r.reliefPct = value;
            else if (key == "triangles")
                r.triangles = std::size_t(value);
        }
        r.ok = true;
    }
    return r;
}

// Measures the model at `modelPath` against the ground truth of the capture (when it has one), aligned by the
// cameras' centres; prints the figures and returns the result line's fields for them. Writes the per-vertex
// errors and the picture when their files are named.
QString measureAgainstTruth(const QString& captureFolder, const QString& modelPath,
                            const std::vector<std::pair<QString, geo::Vec3>>& cameraCentres,
                            const QString& errorsFile, const QString& pictureFile)
{
    QString result;
    const auto truth = synth::readGroundTruth(captureFolder);
    if (truth) {
        const auto model = UsdzFile::read(modelPath);
        const auto alignment = synth::alignCameras(cameraCentres, *truth);
        if (model && alignment) {
            std::vector<double> distances;
            const synth::Accuracy accuracy = synth::measure(*model, *alignment, *truth, &distances);
            if (!errorsFile.isEmpty()) {
                QFile errors(errorsFile);
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
            if (!pictureFile.isEmpty()) {
                std::vector<float> aligned;
                for (std::size_t v = 0; v < model->vertexCount(); ++v) {
                    const geo::Vec3 p = alignment->apply(
                        {model->positions[3 * v], model->positions[3 * v + 1], model->positions[3 * v + 2]});
                    aligned.insert(aligned.end(), {float(p.x), float(p.y), float(p.z)});
                }
                constexpr int kPanel = 560;
                QImage both(2 * kPanel, kPanel, QImage::Format_RGB32);
                QPainter painter(&both);
                painter.drawImage(
                    0, 0, pictureOf(truth->surface.positions, truth->surface.indices, *truth, kPanel));
                painter.drawImage(kPanel, 0, pictureOf(aligned, model->indices, *truth, kPanel));
                painter.end();
                both.save(pictureFile);
            }
            // Completeness: the share of the true surface's vertices within 1 % of the height of the model.
            const std::vector<double> toModel = distancesToModel(*model, *alignment, surfacePoints(*truth));
            const double complete = toModel.empty()
                                        ? 0.0
                                        : double(std::count_if(toModel.begin(), toModel.end(),
                                                               [&](double d) { return d <= 0.01 * size; })) /
                                              double(toModel.size());
            std::printf("completeness: %.1f%% of the true surface within 1%% of the height\n",
                        100 * complete);
            if (truth->reliefHeightM > 0 && !truth->reliefPoints.empty()) {
                std::vector<float> relief;
                for (const geo::Vec3& p : truth->reliefPoints) {
                    relief.insert(relief.end(), {float(p.x), float(p.y), float(p.z)});
                }
                const std::vector<double> reliefErrors = distancesToModel(*model, *alignment, relief);
                double sum = 0;
                for (double d : reliefErrors) {
                    sum += d;
                }
                const double mean = sum / double(std::max<std::size_t>(reliefErrors.size(), 1));
                std::printf("relief (%.2f mm): mean error %.3f mm, %.0f%% of the relief's height\n",
                            truth->reliefHeightM * 1e3, mean * 1e3, 100 * mean / truth->reliefHeightM);
                result += QStringLiteral(" relief=%1").arg(100 * mean / truth->reliefHeightM, 0, 'f', 1);
            }
            result += QStringLiteral(" mean=%1 p95=%2 complete=%3")
                          .arg(100 * accuracy.meanM / size, 0, 'f', 3)
                          .arg(100 * accuracy.p95M / size, 0, 'f', 3)
                          .arg(100 * complete, 0, 'f', 1);
        } else {
            std::printf("accuracy: not measured (%s)\n",
                        qPrintable(!model ? model.error() : alignment.error()));
        }
    }

    return result;
}

// Measures again the model a kept run left in `keptFolder` (model.usdz beside the work folder), its cameras
// read from the work folder's largest sparse model.
int evaluateKept(const QString& captureFolder, const QString& keptFolder, const QString& errorsFile,
                 const QString& pictureFile)
{
    const QDir kept(keptFolder);
    const QStringList work = kept.entryList({QStringLiteral("tovarine-colmap-*")}, QDir::Dirs);
    if (work.isEmpty()) {
        std::fprintf(stderr, "photogrammetry_bench: no kept work folder in %s\n", qPrintable(keptFolder));
        return 1;
    }
    const auto sparse = ColmapTextModel::read(
        ColmapTextModel::largestModel(kept.filePath(work.first() + QStringLiteral("/text"))));
    const auto cloud = sparse ? ObjectPointCloud::build(*sparse)
                              : Expected<ObjectCloud, QString>(unexpected(sparse.error()));
    if (!cloud) {
        std::fprintf(stderr, "photogrammetry_bench: %s\n", qPrintable(cloud.error()));
        return 1;
    }
    const QString result = measureAgainstTruth(captureFolder, kept.filePath(QStringLiteral("model.usdz")),
                                               cloud->cameraCentres, errorsFile, pictureFile);
    std::printf("result%s\n", qPrintable(result));
    return 0;
}

// Runs both chains in child processes of this program, alternating their order; prints each run and the
// table.
int compareChains(const QStringList& arguments, int rounds, const QString& picture)
{
    std::vector<ChainResult> sparse, dense;
    for (int round = 0; round < rounds; ++round) {
        for (int k = 0; k < 2; ++k) {
            const bool runDense = (round + k) % 2 == 0;
            QProcess child;
            child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            QStringList childArguments = arguments;
            if (!picture.isEmpty()) {
                const int at = int(childArguments.indexOf(QStringLiteral("--picture")));
                childArguments[at + 1] =
                    picture + (runDense ? QStringLiteral(".dense.png") : QStringLiteral(".sparse.png"));
            }
            child.start(QCoreApplication::applicationFilePath(),
                        childArguments +
                            QStringList{QStringLiteral("--chain"),
                                        runDense ? QStringLiteral("level") : QStringLiteral("sparse")});
            child.waitForFinished(-1);
            const QByteArray output = child.readAllStandardOutput();
            std::printf("--- %s chain, round %d\n%s", runDense ? "dense" : "sparse", round + 1,
                        output.constData());
            std::fflush(stdout);
            const ChainResult result = parseResult(output);
            if (!result.ok) {
                std::printf("FAILED: the %s chain gave no result\n", runDense ? "dense" : "sparse");
                return 1;
            }
            (runDense ? dense : sparse).push_back(result);
        }
    }
    auto print = [](const char* name, const std::vector<ChainResult>& runs) {
        for (const ChainResult& r : runs) {
            std::printf("| %-6s | %7.1f s | %7.1f s | %8.1f s | %9zu | %5.2f %% / %5.2f %% | %5.1f %% | %s | "
                        "%5.2f GiB |\n",
                        name, r.seconds, r.denseSeconds, r.seconds - r.denseSeconds, r.triangles, r.meanPct,
                        r.p95Pct, r.completePct,
                        r.reliefPct >= 0
                            ? qPrintable(QStringLiteral("%1 % of it").arg(r.reliefPct, 5, 'f', 0))
                            : "    -  ",
                        r.peakGiB);
        }
    };
    std::printf("\n| chain  | time      | dense     | the rest   | triangles | mean / p95 error    | within "
                "1 %% | relief error "
                "| peak memory |\n");
    print("sparse", sparse);
    print("dense", dense);
    if (!picture.isEmpty()) {
        // The truth, the sparse chain's model and the dense chain's, side by side in that order.
        const QImage sparseImage(picture + QStringLiteral(".sparse.png"));
        const QImage denseImage(picture + QStringLiteral(".dense.png"));
        if (!sparseImage.isNull() && !denseImage.isNull()) {
            const int half = sparseImage.width() / 2;
            QImage all(3 * half, sparseImage.height(), QImage::Format_RGB32);
            QPainter painter(&all);
            painter.drawImage(0, 0, sparseImage, 0, 0, half, sparseImage.height());
            painter.drawImage(half, 0, sparseImage, half, 0, half, sparseImage.height());
            painter.drawImage(2 * half, 0, denseImage, half, 0, half, denseImage.height());
            painter.end();
            all.save(picture);
            QFile::remove(picture + QStringLiteral(".sparse.png"));
            QFile::remove(picture + QStringLiteral(".dense.png"));
        }
    }
    return 0;
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
    const QCommandLineOption denseOption(
        QStringLiteral("dense"),
        QStringLiteral("Compare the level's chain with the sparse chain on the capture."));
    const QCommandLineOption roundsOption(
        QStringLiteral("rounds"), QStringLiteral("Rounds of the --dense comparison (the order alternates)."),
        QStringLiteral("n"), QStringLiteral("2"));
    const QCommandLineOption chainOption(QStringLiteral("chain"),
                                         QStringLiteral("level|sparse: the chain to run (used by --dense)."),
                                         QStringLiteral("chain"), QStringLiteral("level"));
    const QCommandLineOption pictureOption(
        QStringLiteral("picture"),
        QStringLiteral("Write a PNG of the truth and the model (with --dense: of both chains' models)."),
        QStringLiteral("file"));
    const QCommandLineOption evaluateOption(
        QStringLiteral("evaluate"),
        QStringLiteral("Measure again, against --capture's truth, the model a kept run left in this folder."),
        QStringLiteral("dir"));
    parser.addOptions({captureOption, detailOption, threadsOption, bareOption, colmapOption, keepOption,
                       errorsOption, denseOption, roundsOption, chainOption, pictureOption, evaluateOption});
    parser.process(app);
    if (parser.isSet(denseOption)) {
        QStringList arguments = QCoreApplication::arguments().mid(1);
        arguments.removeAll(QStringLiteral("--dense"));
        return compareChains(arguments, std::max(parser.value(roundsOption).toInt(), 1),
                             parser.value(pictureOption));
    }
    if (parser.isSet(evaluateOption)) {
        return evaluateKept(parser.value(captureOption), parser.value(evaluateOption),
                            parser.value(errorsOption), parser.value(pictureOption));
    }
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
    options.sparseOnly = parser.value(chainOption) == QLatin1String("sparse");
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
    double denseSeconds = 0;
    for (const auto& step : report.steps) {
        if (step.name == QLatin1String("undistortion") ||
            step.name == QLatin1String("dense model conversion") ||
            step.name == QLatin1String("depth maps") || step.name == QLatin1String("depth map fusion") ||
            step.name == QLatin1String("dense points")) {
            denseSeconds += step.seconds;
        }
    }
    for (const QString& note : report.notes) {
        std::printf("note: %s\n", qPrintable(note));
    }
    QString result = QStringLiteral("result seconds=%1 dense=%2 peak=%3 triangles=%4")
                         .arg(ourSeconds, 0, 'f', 1)
                         .arg(denseSeconds, 0, 'f', 1)
                         .arg(peakGiB, 0, 'f', 2)
                         .arg(report.triangleCount);

    result += measureAgainstTruth(capture.path(), modelPath, report.cameraCentres, parser.value(errorsOption),
                                  parser.value(pictureOption));
    std::printf("%s\n", qPrintable(result));

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
