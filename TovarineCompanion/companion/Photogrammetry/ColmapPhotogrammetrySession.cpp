#include "ColmapPhotogrammetrySession.h"

#include "DenseWorkspace.h"
#include "DensePoints.h"

#include "ColmapTextModel.h"
#include "DiskSpace.h"
#include "FrameStaging.h"
#include "MeshCleanup.h"
#include "ModelTexturing.h"
#include "ObjectPointCloud.h"
#include "PlyFile.h"
#include "PrivateTempFolder.h"
#include "UsdzFile.h"

#include <QDir>
#include <QFile>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QThread>
#include <QUuid>
#include <algorithm>
#include <cmath>
#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

namespace tovarine {
namespace {

constexpr int kProgressIntervalMs = 200;
constexpr int kOutputTailLines = 20;
// Below this many free bytes a failed step or write is put down to a full disk.
constexpr qint64 kNearlyFullBytes = 64LL << 20;
// Room the work folder needs beyond a copy of the frames (database, sparse model, point cloud, mesh).
constexpr qint64 kWorkReserveBytes = 256LL << 20;

// Sends `signal` to the step's whole process group, so a tool's own children end with it.
void signalGroup(qint64 groupId, int signal)
{
    if (groupId > 0) {
        ::kill(static_cast<pid_t>(-groupId), signal);
    }
}

// A step's message, or "not enough space on <folder>" when the file system of `folder` is (nearly) full,
// which is the likelier cause than what the tool or writer said.
QString unlessDiskFull(const QString& folder, const QString& message)
{
    const qint64 free = DiskSpace::freeBytes(folder);
    if (free >= 0 && free < kNearlyFullBytes) {
        return QStringLiteral("not enough space on %1 (%2 free).")
            .arg(folder, DiskSpace::formatBytes(free));
    }
    return message;
}

QString number(int value)
{
    return QString::number(value);
}

// The last line of COLMAP's output that says something, for error messages.
QString lastMeaningfulLine(const QStringList& tail)
{
    for (auto it = tail.crbegin(); it != tail.crend(); ++it) {
        const QString line = it->trimmed();
        if (!line.isEmpty() && !line.startsWith(QLatin1Char('='))) {
            return line;
        }
    }
    return {};
}

} // namespace

ColmapPhotogrammetrySession::ColmapPhotogrammetrySession(QString inputFolder, Configuration configuration,
                                                         Options options, QObject* parent)
    : PhotogrammetrySession(parent), m_inputFolder(std::move(inputFolder)),
      m_configuration(std::move(configuration)), m_options(std::move(options))
{
    m_killTimer.setSingleShot(true);
    connect(&m_killTimer, &QTimer::timeout, this, [this] {
        if (m_process) {
            signalGroup(m_processGroup, SIGKILL);
            m_process->kill();
        }
    });
    m_creepTimer.setInterval(kProgressIntervalMs);
    connect(&m_creepTimer, &QTimer::timeout, this, [this] {
        if (m_stage == Stage::mesh) {
            const double tauSeconds = 0.5 * std::pow(3.0, m_settings.poissonDepth - 7);
            reportProgress(ColmapProgress::overall(
                Stage::mesh, ColmapProgress::creep(m_stageClock.elapsed() / 1000.0, tauSeconds), m_dense));
        }
    });
}

ColmapPhotogrammetrySession::~ColmapPhotogrammetrySession()
{
    m_cancelFlag.store(true);
    if (m_process) {
        m_process->disconnect(this);
        signalGroup(m_processGroup, SIGKILL);
        m_process->kill();
        m_process->waitForFinished(5000);
    }
    if (m_worker) {
        m_worker->disconnect(this);
        m_worker->wait();
        delete m_worker;
    }
    if (!m_finished) {
        removeWorkFolder();
    }
}

PhotogrammetrySessionFactory ColmapPhotogrammetrySession::factory()
{
    return factory(Options{});
}

PhotogrammetrySessionFactory ColmapPhotogrammetrySession::factory(const Options& options)
{
    return [options](const QString& inputFolder, const Configuration& configuration)
               -> Expected<std::unique_ptr<PhotogrammetrySession>, QString> {
        return std::unique_ptr<PhotogrammetrySession>(
            std::make_unique<ColmapPhotogrammetrySession>(inputFolder, configuration, options));
    };
}

Expected<void, QString> ColmapPhotogrammetrySession::process(const QString& modelPath, Detail detail)
{
    if (m_started) {
        return unexpected(QStringLiteral("This reconstruction already has a request."));
    }
    if (modelPath.isEmpty()) {
        return unexpected(QStringLiteral("No model file was named for the reconstruction."));
    }
    m_started = true;
    m_modelPath = modelPath;
    m_settings = ColmapDetailTable::settingsFor(detail, m_configuration.customDetailSpecification);
    m_dense = m_settings.denseImageSizePx > 0 && !m_options.sparseOnly;
    m_threads = m_options.maxThreads > 0 ? m_options.maxThreads : std::max(QThread::idealThreadCount(), 1);
    QMetaObject::invokeMethod(this, &ColmapPhotogrammetrySession::start, Qt::QueuedConnection);
    return {};
}

void ColmapPhotogrammetrySession::cancel()
{
    if (m_finished || m_cancelRequested) {
        return;
    }
    m_cancelRequested = true;
    m_cancelFlag.store(true);
    if (!m_started) {
        return; // process() ends the request as soon as it starts
    }
    if (m_process) {
        signalGroup(m_processGroup, SIGTERM);
        m_process->terminate();
        m_killTimer.start(m_options.terminateGraceMs);
    } else if (!m_worker) {
        QMetaObject::invokeMethod(this, &ColmapPhotogrammetrySession::finishCancelled, Qt::QueuedConnection);
    }
}

QString ColmapPhotogrammetrySession::workPath(const QString& relative) const
{
    return QDir(m_workFolder).filePath(relative);
}

void ColmapPhotogrammetrySession::start()
{
    if (m_cancelRequested) {
        finishCancelled();
        return;
    }
    enterStage(Stage::prepare, QStringLiteral("frame staging"));
    m_program = m_options.colmapProgram.isEmpty() ? QStandardPaths::findExecutable(QStringLiteral("colmap"))
                                                  : m_options.colmapProgram;
    const QFileInfo programInfo(m_program);
    if (m_program.isEmpty() || !programInfo.isFile() || !programInfo.isExecutable()) {
        finishWithError(QStringLiteral("colmap is not installed; it is needed to turn frames into a model."));
        return;
    }
    QString root = m_options.workRoot;
    if (root.isEmpty()) {
        const Expected<QString, QString> privateDir = PrivateTempFolder::ensure(QDir::tempPath());
        if (!privateDir) {
            finishWithError(privateDir.error());
            return;
        }
        root = *privateDir;
        PrivateTempFolder::holdInUse(root);
    }
    const qint64 framesBytes = [this] {
        qint64 total = 0;
        for (const QFileInfo& entry : QDir(m_inputFolder).entryInfoList(QDir::Files)) {
            total += entry.size();
        }
        return total;
    }();
    const qint64 free = DiskSpace::freeBytes(root);
    if (free >= 0 && free < framesBytes + kWorkReserveBytes) {
        finishWithError(QStringLiteral("not enough space on %1 for the reconstruction's work files: %2 are "
                                       "free and about %3 are needed.")
                            .arg(root, DiskSpace::formatBytes(free),
                                 DiskSpace::formatBytes(framesBytes + kWorkReserveBytes)));
        return;
    }
    const QString folder =
        QStringLiteral("tovarine-colmap-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    if (!QDir(root).mkpath(folder)) {
        m_finished = true;
        emit outputsFailed(QStringLiteral("The work folder could not be created in %1.").arg(root));
        return;
    }
    m_workFolder = QDir(root).filePath(folder);
    m_report.workFolder = m_workFolder;
    QDir work(m_workFolder);
    if (!work.mkpath(QStringLiteral("images")) || !work.mkpath(QStringLiteral("logs"))) {
        finishWithError(QStringLiteral("The work folder %1 could not be prepared.").arg(m_workFolder));
        return;
    }

    const QString input = m_inputFolder;
    const QString images = workPath(QStringLiteral("images"));
    runWorker(
        Stage::prepare, QStringLiteral("frame staging"),
        [this, input, images]() -> QString {
            auto staged = FrameStaging::stage(input, images, &m_cancelFlag);
            if (!staged) {
                return staged.error();
            }
            m_frameCount = staged->frameCount;
            m_largestFramePx = staged->largestDimensionPx;
            if (const QString note = FrameStaging::leftOutFramesNote(*staged); !note.isEmpty()) {
                m_report.notes.append(note);
                m_leftOutFramesNote = note;
                qInfo().noquote() << "tovarine:" << note;
            }
            m_report.frameNames = std::move(staged->originalNames);
            return {};
        },
        [this] {
            m_report.frameCount = m_frameCount;
            const int sizePx = m_settings.maxImageSizePx > 0
                                   ? m_settings.maxImageSizePx
                                   : (m_largestFramePx > 0 ? m_largestFramePx : 100000);
            const int extractionThreads = ColmapDetailTable::extractionThreads(
                m_largestFramePx > 0 ? std::min(sizePx, m_largestFramePx) : sizePx,
                ColmapDetailTable::availableMemoryBytes(), m_threads);
            runColmap(Stage::extract, QStringLiteral("feature extraction"),
                      {QStringLiteral("feature_extractor"), QStringLiteral("--database_path"),
                       workPath(QStringLiteral("database.db")), QStringLiteral("--image_path"),
                       workPath(QStringLiteral("images")), QStringLiteral("--ImageReader.single_camera"),
                       QStringLiteral("1"), QStringLiteral("--SiftExtraction.use_gpu"), QStringLiteral("0"),
                       QStringLiteral("--SiftExtraction.max_image_size"), number(sizePx),
                       QStringLiteral("--SiftExtraction.max_num_features"), number(m_settings.maxFeatures),
                       QStringLiteral("--SiftExtraction.num_threads"), number(extractionThreads)},
                      [this] { afterExtraction(); });
        });
}

void ColmapPhotogrammetrySession::noteExtractionLine(const QByteArray& line)
{
    // The extractor names each frame ("Name: frame_00003.jpg") before what became of it; a frame it cannot
    // decode gets "ERROR: Failed to read image file format." and is left out.
    if (line.startsWith("Name:")) {
        m_extractingFrame = QString::fromUtf8(line.mid(5).trimmed());
    } else if (line.startsWith("ERROR:") && line.contains("read image") && !m_extractingFrame.isEmpty()) {
        m_undecodedFrames.append(std::exchange(m_extractingFrame, QString()));
    }
}

void ColmapPhotogrammetrySession::afterExtraction()
{
    if (!m_undecodedFrames.isEmpty() && m_frameCount - m_undecodedFrames.size() < FrameStaging::kMinFrames) {
        QStringList originals;
        for (const QString& staged : std::as_const(m_undecodedFrames)) {
            const auto named = std::find_if(m_report.frameNames.begin(), m_report.frameNames.end(),
                                            [&](const auto& names) { return names.first == staged; });
            originals.append(named != m_report.frameNames.end() ? named->second : staged);
        }
        finishWithError(FrameStaging::unreadableFramesMessage(originals, m_frameCount,
                                                              QStringLiteral("could not be decoded")));
        return;
    }
    if (QFileInfo(workPath(QStringLiteral("database.db"))).size() <= 0) {
        finishWithError(QStringLiteral("No features could be extracted from the frames."));
        return;
    }
    QStringList arguments;
    if (ColmapDetailTable::useExhaustiveMatching(m_frameCount, m_configuration.sampleOrdering)) {
        arguments = {QStringLiteral("exhaustive_matcher"),
                     QStringLiteral("--database_path"),
                     workPath(QStringLiteral("database.db")),
                     QStringLiteral("--SiftMatching.use_gpu"),
                     QStringLiteral("0"),
                     QStringLiteral("--SiftMatching.num_threads"),
                     number(m_threads),
                     QStringLiteral("--ExhaustiveMatching.block_size"),
                     QStringLiteral("10")};
    } else {
        arguments = {QStringLiteral("sequential_matcher"),
                     QStringLiteral("--database_path"),
                     workPath(QStringLiteral("database.db")),
                     QStringLiteral("--SiftMatching.use_gpu"),
                     QStringLiteral("0"),
                     QStringLiteral("--SiftMatching.num_threads"),
                     number(m_threads),
                     QStringLiteral("--SequentialMatching.overlap"),
                     number(ColmapDetailTable::kSequentialOverlap)};
    }
    runColmap(Stage::match, QStringLiteral("matching"), arguments, [this] { afterMatching(); });
}

void ColmapPhotogrammetrySession::afterMatching()
{
    if (!QDir(m_workFolder).mkpath(QStringLiteral("sparse"))) {
        finishWithError(QStringLiteral("The work folder %1 could not be prepared.").arg(m_workFolder));
        return;
    }
    runColmap(Stage::map, QStringLiteral("mapping"),
              {QStringLiteral("mapper"), QStringLiteral("--database_path"),
               workPath(QStringLiteral("database.db")), QStringLiteral("--image_path"),
               workPath(QStringLiteral("images")), QStringLiteral("--output_path"),
               workPath(QStringLiteral("sparse")), QStringLiteral("--Mapper.num_threads"), number(m_threads)},
              [this] { afterMapping(); });
}

void ColmapPhotogrammetrySession::afterMapping()
{
    const QDir sparse(workPath(QStringLiteral("sparse")));
    m_modelFolders.clear();
    for (const QString& name : sparse.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        if (!QDir(sparse.filePath(name)).isEmpty()) {
            m_modelFolders.append(name);
        }
    }
    if (m_modelFolders.isEmpty()) {
        finishWithError(
            m_sawNoInitialPair
                ? QStringLiteral("No good initial image pair found; only 0 of %1 frames could be placed.")
                      .arg(m_frameCount)
                : QStringLiteral("The frames could not be matched; no model could be built from them."));
        return;
    }
    m_bestRegistered = 0;
    m_bestModel.clear();
    convertNextModel();
}

void ColmapPhotogrammetrySession::convertNextModel()
{
    if (m_modelFolders.isEmpty()) {
        m_report.registeredCount = m_bestRegistered;
        if (m_bestRegistered < FrameStaging::kMinFrames) {
            finishWithError(
                QStringLiteral("No good initial image pair found; only %1 of %2 frames could be placed.")
                    .arg(m_bestRegistered)
                    .arg(m_frameCount));
            return;
        }
        buildPointCloud();
        return;
    }
    const QString name = m_modelFolders.takeFirst();
    const QString textFolder = workPath(QStringLiteral("text/") + name);
    if (!QDir().mkpath(textFolder)) {
        finishWithError(QStringLiteral("The work folder %1 could not be prepared.").arg(m_workFolder));
        return;
    }
    runColmap(Stage::convert, QStringLiteral("model conversion"),
              {QStringLiteral("model_converter"), QStringLiteral("--input_path"),
               workPath(QStringLiteral("sparse/") + name), QStringLiteral("--output_path"), textFolder,
               QStringLiteral("--output_type"), QStringLiteral("TXT")},
              [this, textFolder] {
                  const int registered = ColmapTextModel::registeredImageCount(textFolder);
                  if (registered > m_bestRegistered) {
                      m_bestRegistered = registered;
                      m_bestModel = textFolder;
                  }
                  convertNextModel();
              });
}

void ColmapPhotogrammetrySession::buildPointCloud()
{
    const QString modelFolder = m_bestModel;
    const QString cloudPath = workPath(QStringLiteral("points.ply"));
    runWorker(
        Stage::points, QStringLiteral("point cloud"),
        [this, modelFolder, cloudPath]() -> QString {
            auto model = ColmapTextModel::read(modelFolder);
            if (!model) {
                return model.error();
            }
            auto cloud = ObjectPointCloud::build(*model, {}, &m_cancelFlag);
            if (!cloud) {
                return cloud.error();
            }
            m_report.objectPointCount = cloud->positions.size();
            m_report.cameraCentres = cloud->cameraCentres;
            // Mesh crop: the support surface ends at height 0, the rest as the points were cropped.
            m_cropRadiusM = cloud->cropRadiusM;
            m_cropBottomM = cloud->supportPlaneFound ? 0.0 : -1e30;
            m_cropTopM = cloud->cropTopM;
            // A tenth of the object's size around its sparse points keeps its whole surface in the dense
            // stage's view and most of the support surface out of it.
            m_denseRegion = DensePoints::objectRegion(*cloud, 0.1);
            m_objectBounds = *cloud;
            m_objectBounds.positions = {};
            m_objectBounds.normals = {};
            m_objectBounds.colors = {};
            auto written =
                PlyFile::writePointCloud(cloudPath, cloud->positions, cloud->normals, cloud->colors);
            return written ? QString() : written.error();
        },
        [this] {
            m_surfacePoints = workPath(QStringLiteral("points.ply"));
            if (m_dense) {
                undistortForDenseStereo();
                return;
            }
            reconstructSurface(
                ColmapDetailTable::poissonTrim(m_settings.poissonTrim, m_report.objectPointCount));
        });
}

void ColmapPhotogrammetrySession::undistortForDenseStereo()
{
    runColmap(Stage::dense, QStringLiteral("undistortion"),
              {QStringLiteral("image_undistorter"), QStringLiteral("--image_path"), workPath(QStringLiteral("images")),
               QStringLiteral("--input_path"), m_bestModel, QStringLiteral("--output_path"),
               workPath(QStringLiteral("dense")), QStringLiteral("--output_type"), QStringLiteral("COLMAP"),
               QStringLiteral("--max_image_size"), number(m_settings.denseImageSizePx)},
              [this] { convertDenseModel(); }, [this](const QString& message) { fallBackToSparse(message); });
}

void ColmapPhotogrammetrySession::convertDenseModel()
{
    const QString sparse = workPath(QStringLiteral("dense/sparse"));
    runColmap(Stage::dense, QStringLiteral("dense model conversion"),
              {QStringLiteral("model_converter"), QStringLiteral("--input_path"), sparse,
               QStringLiteral("--output_path"), sparse, QStringLiteral("--output_type"), QStringLiteral("TXT")},
              [this] { computeDepthMaps(); }, [this](const QString& message) { fallBackToSparse(message); });
}

void ColmapPhotogrammetrySession::computeDepthMaps()
{
    const std::string workspace = workPath(QStringLiteral("dense")).toStdString();
    const int threads = m_threads;
    std::vector<stereo::V3> region;
    for (const geo::Vec3& corner : m_denseRegion) {
        region.push_back({float(corner.x), float(corner.y), float(corner.z)});
    }
    runWorker(
        Stage::dense, QStringLiteral("depth maps"),
        [this, workspace, threads, region]() -> QString {
            stereo::DenseOptions options;
            options.threads = threads;
            options.region = region;
            stereo::DenseReport report;
            stereo::DenseControl control;
            control.cancel = &m_cancelFlag;
            // The depth maps are most of the dense stage; fusion and reading the points the rest.
            control.progress = [this](double fraction) {
                QMetaObject::invokeMethod(
                    this, [this, fraction] { reportProgress(ColmapProgress::overall(Stage::dense, 0.9 * fraction, true)); },
                    Qt::QueuedConnection);
            };
            const std::string error = stereo::computeWorkspaceMaps(workspace, options, report, control);
            if (!error.empty()) {
                return QString::fromStdString(error);
            }
            return report.mapsWritten == 0 ? QStringLiteral("no frame got a depth map") : QString();
        },
        [this] { fuseDepthMaps(); }, [this](const QString& message) { fallBackToSparse(message); });
}

void ColmapPhotogrammetrySession::fuseDepthMaps()
{
    runColmap(Stage::dense, QStringLiteral("depth map fusion"),
              {QStringLiteral("stereo_fusion"), QStringLiteral("--workspace_path"), workPath(QStringLiteral("dense")),
               QStringLiteral("--input_type"), QStringLiteral("geometric"), QStringLiteral("--output_path"),
               workPath(QStringLiteral("dense/fused.ply")), QStringLiteral("--StereoFusion.num_threads"),
               number(m_threads)},
              [this] { readDensePoints(); }, [this](const QString& message) { fallBackToSparse(message); });
}

void ColmapPhotogrammetrySession::readDensePoints()
{
    const QString fused = workPath(QStringLiteral("dense/fused.ply"));
    const QString output = workPath(QStringLiteral("dense-points.ply"));
    runWorker(
        Stage::dense, QStringLiteral("dense points"),
        [this, fused, output]() -> QString {
            auto cloud = DensePoints::read(fused);
            if (!cloud) {
                return cloud.error();
            }
            const DensePoints::Cloud object = DensePoints::toObject(*cloud, m_objectBounds);
            // Fewer dense points than sparse ones means the depth maps failed on this capture.
            if (object.positions.size() < std::max<std::size_t>(1000, m_report.objectPointCount)) {
                return QStringLiteral("the dense cloud holds only %1 points of the object").arg(object.positions.size());
            }
            m_report.densePointCount = object.positions.size();
            auto written = PlyFile::writePointCloud(output, object.positions, object.normals, object.colors);
            return written ? QString() : written.error();
        },
        [this, output] {
            m_surfacePoints = output;
            reconstructSurface(ColmapDetailTable::poissonTrim(m_settings.poissonTrim, m_report.densePointCount));
        },
        [this](const QString& message) { fallBackToSparse(message); });
}

void ColmapPhotogrammetrySession::fallBackToSparse(const QString& reason)
{
    const QString note = QStringLiteral("Dense stereo gave no usable points (%1); the surface is built from the "
                                        "sparse points.")
                             .arg(reason);
    m_report.notes.append(note);
    qInfo().noquote() << "tovarine:" << note;
    m_surfacePoints = workPath(QStringLiteral("points.ply"));
    reconstructSurface(ColmapDetailTable::poissonTrim(m_settings.poissonTrim, m_report.objectPointCount));
}

void ColmapPhotogrammetrySession::reconstructSurface(int trim)
{
    runColmap(Stage::mesh, QStringLiteral("surface reconstruction"),
              {QStringLiteral("poisson_mesher"), QStringLiteral("--input_path"), m_surfacePoints,
               QStringLiteral("--output_path"),
               workPath(QStringLiteral("mesh.ply")), QStringLiteral("--PoissonMeshing.depth"),
               number(m_settings.poissonDepth), QStringLiteral("--PoissonMeshing.trim"), number(trim),
               QStringLiteral("--PoissonMeshing.num_threads"),
               number(ColmapDetailTable::poissonThreads(
                   std::max(m_report.objectPointCount, m_report.densePointCount), m_threads))},
              [this, trim] {
                  // Trimming can still empty the mesh of an unevenly sampled object: then once more
                  // untrimmed.
                  if (trim > 0 && PlyFile::declaredFaceCount(workPath(QStringLiteral("mesh.ply"))) == 0) {
                      reconstructSurface(0);
                      return;
                  }
                  cleanUpMesh();
              });
}

void ColmapPhotogrammetrySession::cleanUpMesh()
{
    const QString meshPath = workPath(QStringLiteral("mesh.ply"));
    if (!QFileInfo::exists(meshPath)) {
        finishWithError(QStringLiteral("The surface could not be reconstructed from the object's points."));
        return;
    }
    MeshCleanup::Options cleanup;
    cleanup.cropRadiusM = m_cropRadiusM;
    cleanup.cropBottomM = m_cropBottomM;
    cleanup.cropTopM = m_cropTopM;
    cleanup.maxTriangles = m_settings.maxTriangles;
    const QString modelPath = m_modelPath;
    const QString sparseFolder = m_bestModel;
    const QString imagesFolder = workPath(QStringLiteral("images"));
    runWorker(
        Stage::cleanup, QStringLiteral("clean-up"),
        [this, meshPath, cleanup, modelPath, sparseFolder, imagesFolder]() -> QString {
            auto surface = PlyFile::readMesh(meshPath);
            if (!surface) {
                return surface.error();
            }
            if (m_cancelFlag.load()) {
                return {};
            }
            ModelMesh mesh = MeshCleanup::finish(*surface, cleanup);
            if (mesh.triangleCount() == 0) {
                return QStringLiteral("The surface could not be reconstructed from the object's points.");
            }
            if (m_cancelFlag.load()) {
                return {};
            }
            m_report.triangleCount = mesh.triangleCount();
            if (m_settings.textureSizePx > 0) {
                textureModel(mesh, sparseFolder, imagesFolder);
                if (m_cancelFlag.load()) {
                    return {};
                }
            }
            auto written = UsdzFile::write(mesh, modelPath);
            if (!written) {
                return unlessDiskFull(QFileInfo(modelPath).absolutePath(), written.error());
            }
            m_modelWritten = true;
            return {};
        },
        [this] { finishComplete(); });
}

void ColmapPhotogrammetrySession::textureModel(ModelMesh& mesh, const QString& sparseFolder,
                                               const QString& imagesFolder)
{
    // A model without its texture still has its vertex colours: a bake that cannot be made is a note, not a
    // failed run.
    QElapsedTimer timer;
    timer.start();
    QString problem;
    auto model = ColmapTextModel::read(sparseFolder);
    if (!model) {
        problem = model.error();
    } else {
        ModelTexturing::Settings settings;
        settings.sizePx = m_settings.textureSizePx;
        settings.jpeg = m_settings.textureJpeg;
        settings.threads = m_threads;
        settings.cancelled = &m_cancelFlag;
        auto outcome =
            ModelTexturing::apply(mesh, ModelTexturing::views(*model, m_objectBounds.frame, imagesFolder), settings);
        if (outcome) {
            mesh = std::move(outcome->mesh);
            m_report.textureSizePx = settings.sizePx;
        } else {
            problem = outcome.error();
        }
    }
    m_report.steps.push_back({QStringLiteral("texture"), timer.elapsed() / 1000.0, {}});
    if (!problem.isEmpty() && !m_cancelFlag.load()) {
        const QString note = QStringLiteral("The model keeps its vertex colours without a texture: %1").arg(problem);
        m_report.notes.append(note);
        qInfo().noquote() << "tovarine:" << note;
    }
}

void ColmapPhotogrammetrySession::runColmap(Stage stage, const QString& name, const QStringList& arguments,
                                            std::function<void()> next,
                                            std::function<void(const QString&)> onFailure)
{
    if (!beginStage(stage, name)) {
        return;
    }
    m_next = std::move(next);
    m_onFailure = std::move(onFailure);
    m_currentArguments = arguments;
    m_outputTail.clear();
    m_lineBuffer.clear();

    m_process = new QProcess(this);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // COLMAP's log files would otherwise land in the temporary folder on every run.
    environment.insert(QStringLiteral("GLOG_log_dir"), workPath(QStringLiteral("logs")));
    m_process->setProcessEnvironment(environment);
    m_process->setProcessChannelMode(QProcess::MergedChannels);
    m_process->setWorkingDirectory(m_workFolder);
    m_process->setStandardInputFile(QProcess::nullDevice());
    // Each step leads its own process group (a cancel ends the tool and its children together) and dies
    // with us: the kernel kills it when the app's thread that started it ends, even after a kill -9.
    const pid_t parent = ::getpid();
    m_process->setChildProcessModifier([parent] {
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) {
            ::_exit(127); // the app died before the signal was armed
        }
    });
    connect(m_process, &QProcess::readyReadStandardOutput, this,
            &ColmapPhotogrammetrySession::onProcessOutput);
    connect(m_process, &QProcess::started, this,
            [this] { m_processGroup = m_process ? m_process->processId() : 0; });
    connect(m_process, &QProcess::finished, this, &ColmapPhotogrammetrySession::onProcessFinished);
    connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart || !m_process) {
            return;
        }
        const QString reason = m_process->errorString();
        m_process->deleteLater();
        m_process = nullptr;
        m_killTimer.stop();
        leaveStage();
        if (m_cancelRequested) {
            finishCancelled();
        } else {
            finishWithError(QStringLiteral("colmap could not be started: %1").arg(reason));
        }
    });
    m_process->start(m_program, arguments);
}

void ColmapPhotogrammetrySession::onProcessOutput()
{
    if (!m_process) {
        return;
    }
    m_lineBuffer.append(m_process->readAllStandardOutput());
    qsizetype end = 0;
    // COLMAP ends progress lines with '\n'; a carriage return also ends a line.
    while ((end = m_lineBuffer.indexOf('\n')) >= 0 || (end = m_lineBuffer.indexOf('\r')) >= 0) {
        const QByteArray line = m_lineBuffer.left(end);
        m_lineBuffer.remove(0, end + 1);
        if (line.trimmed().isEmpty()) {
            continue;
        }
        m_outputTail.append(QString::fromUtf8(line));
        if (m_outputTail.size() > kOutputTailLines) {
            m_outputTail.removeFirst();
        }
        if (line.contains("No good initial image pair found")) {
            m_sawNoInitialPair = true;
        }
        if (m_stage == Stage::extract) {
            noteExtractionLine(line.trimmed());
        }
        if (const auto within = ColmapProgress::parseLine(m_stage, line, m_frameCount)) {
            reportProgress(ColmapProgress::overall(m_stage, *within, m_dense));
        }
    }
}

void ColmapPhotogrammetrySession::onProcessFinished(int exitCode, QProcess::ExitStatus status)
{
    if (!m_process) {
        return;
    }
    onProcessOutput();
    if (!m_lineBuffer.trimmed().isEmpty()) {
        m_outputTail.append(QString::fromUtf8(m_lineBuffer));
    }
    // Whatever the tool started and left running goes with it.
    signalGroup(m_processGroup, SIGKILL);
    m_processGroup = 0;
    m_process->deleteLater();
    m_process = nullptr;
    m_killTimer.stop();
    leaveStage();
    if (m_cancelRequested) {
        finishCancelled();
        return;
    }
    const QString detail = lastMeaningfulLine(m_outputTail);
    const QString tool = m_currentArguments.value(0);
    if (status == QProcess::CrashExit || exitCode != 0) {
        const QString what = status == QProcess::CrashExit
                                 ? QStringLiteral("colmap %1 crashed").arg(tool)
                                 : QStringLiteral("colmap %1 exited with code %2").arg(tool).arg(exitCode);
        QString message;
        switch (m_stage) {
        case Stage::match:
            message = QStringLiteral("The frames could not be matched (%1).").arg(what);
            break;
        case Stage::map:
            message =
                m_sawNoInitialPair
                    ? QStringLiteral("No good initial image pair found; only 0 of %1 frames could be placed.")
                          .arg(m_frameCount)
                    : QStringLiteral("The frames could not be placed (%1).").arg(what);
            break;
        default:
            message = QStringLiteral("The %1 step failed (%2).").arg(m_currentStepName, what);
            break;
        }
        if (!detail.isEmpty() && !m_sawNoInitialPair) {
            message += QStringLiteral(" Last output: ") + detail;
        }
        if (auto onFailure = std::exchange(m_onFailure, {})) {
            onFailure(message);
            return;
        }
        finishWithError(unlessDiskFull(QFileInfo(m_workFolder).absolutePath(), message));
        return;
    }
    auto next = std::move(m_next);
    m_next = nullptr;
    next();
}

void ColmapPhotogrammetrySession::runWorker(Stage stage, const QString& name, std::function<QString()> work,
                                            std::function<void()> next,
                                            std::function<void(const QString&)> onFailure)
{
    if (!beginStage(stage, name)) {
        return;
    }
    m_workerError.clear();
    m_worker = QThread::create([this, work = std::move(work)] { m_workerError = work(); });
    connect(m_worker, &QThread::finished, this, [this, next = std::move(next), onFailure = std::move(onFailure)] {
        m_worker->deleteLater();
        m_worker = nullptr;
        leaveStage();
        if (m_cancelRequested) {
            finishCancelled();
        } else if (!m_workerError.isEmpty() && onFailure) {
            onFailure(m_workerError);
        } else if (!m_workerError.isEmpty()) {
            finishWithError(m_workerError);
        } else {
            next();
        }
    });
    m_worker->start();
}

bool ColmapPhotogrammetrySession::beginStage(Stage stage, const QString& name)
{
    // A cancel may arrive before the stage or from a listener of the stage's first progress output.
    if (m_cancelRequested) {
        finishCancelled();
        return false;
    }
    enterStage(stage, name);
    if (m_cancelRequested) {
        finishCancelled();
        return false;
    }
    return true;
}

void ColmapPhotogrammetrySession::enterStage(Stage stage, const QString& name)
{
    m_stage = stage;
    m_currentStepName = name;
    m_stageClock.start();
    if (stage == Stage::mesh) {
        m_creepTimer.start();
    }
    reportProgress(ColmapProgress::stageStart(stage, m_dense), true);
}

void ColmapPhotogrammetrySession::leaveStage()
{
    m_creepTimer.stop();
    RunReport::Step step;
    step.name = m_currentStepName;
    step.seconds = m_stageClock.isValid() ? m_stageClock.nsecsElapsed() / 1e9 : 0.0;
    if (m_process || m_stage == Stage::extract || m_stage == Stage::match || m_stage == Stage::map ||
        m_stage == Stage::convert || m_stage == Stage::mesh) {
        step.arguments = m_currentArguments;
    }
    m_report.steps.push_back(step);
}

void ColmapPhotogrammetrySession::reportProgress(double fraction, bool force)
{
    if (m_finished || !std::isfinite(fraction)) {
        return;
    }
    m_fraction = std::max(m_fraction, std::clamp(fraction, 0.0, 1.0));
    if (m_fraction <= m_emittedFraction) {
        return;
    }
    if (!force && m_emitClock.isValid() && m_emitClock.elapsed() < kProgressIntervalMs) {
        return;
    }
    m_emittedFraction = m_fraction;
    m_emitClock.start();
    Output progress;
    progress.kind = Output::Kind::requestProgress;
    progress.fractionComplete = m_fraction;
    emit output(progress);
}

void ColmapPhotogrammetrySession::finishWithError(const QString& message)
{
    if (m_finished) {
        return;
    }
    Output failure;
    failure.kind = Output::Kind::requestError;
    failure.errorDescription = message;
    emitFinal(failure);
}

void ColmapPhotogrammetrySession::finishCancelled()
{
    if (m_finished || m_process || m_worker) {
        return;
    }
    if (m_modelWritten) {
        QFile::remove(m_modelPath);
        m_modelWritten = false;
    }
    Output cancelled;
    cancelled.kind = Output::Kind::processingCancelled;
    emitFinal(cancelled);
}

void ColmapPhotogrammetrySession::finishComplete()
{
    if (m_finished) {
        return;
    }
    reportProgress(1.0, true);
    Output complete;
    complete.kind = Output::Kind::processingComplete;
    complete.note = m_leftOutFramesNote;
    emitFinal(complete);
}

void ColmapPhotogrammetrySession::emitFinal(const Output& final)
{
    m_finished = true;
    m_creepTimer.stop();
    m_killTimer.stop();
    if (!m_options.keepWorkFolder) {
        removeWorkFolder();
    }
    QPointer<ColmapPhotogrammetrySession> self(this);
    emit output(final);
    if (!self) {
        return;
    }
    emit outputsEnded();
}

void ColmapPhotogrammetrySession::removeWorkFolder()
{
    if (!m_workFolder.isEmpty()) {
        QDir(m_workFolder).removeRecursively();
    }
}

} // namespace tovarine
