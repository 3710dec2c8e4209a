#pragma once

#include "ColmapDetailTable.h"
#include "ModelMesh.h"
#include "ColmapProgress.h"
#include "ObjectPointCloud.h"
#include "PhotogrammetrySession.h"
#include "Vec3.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <atomic>
#include <functional>
#include <utility>
#include <vector>

class QThread;

namespace tovarine {

// The photogrammetry engine over the COLMAP command-line tools (CPU only). Each step runs as a child process
// in a private work folder (<workRoot>/tovarine-colmap-<UUID>) that is removed on every ending (and, after a
// crash, at the next start); each step leads its own process group, which a cancel ends as a whole, and
// dies with the app. Frames are staged under names of our own (frame_00000.jpg …). Our own
// geometry steps run on a worker thread. The chain: stage the frames (HEIC decoded to JPEG),
// feature_extractor, exhaustive or sequential matcher, mapper (the model with the most frames),
// model_converter, the object's oriented point cloud (support surface removed, metric scale assumed, see
// PointCloudGeometry::metricScale), poisson_mesher, clean-up and decimation, then `model.usdz` with vertex
// colours written atomically. Texture settings are not honoured.
// Outputs: progress fractions that never go back (a few per second at most), then exactly one of
// requestError, processingComplete or processingCancelled, then outputsEnded (outputsFailed only when the
// work folder cannot be made). GUI thread only.
class ColmapPhotogrammetrySession : public PhotogrammetrySession
{
    Q_OBJECT
public:
    struct Options
    {
        QString colmapProgram;       // empty: "colmap" from PATH
        QString workRoot;            // empty: the private per-user temporary folder (PrivateTempFolder)
        int maxThreads = 0;          // threads per COLMAP step; 0: all cores
        bool keepWorkFolder = false; // for benchmarks and diagnosis: leave the work folder when the run ends
        int terminateGraceMs = 3000; // after terminate(), kill() follows this late
        bool sparseOnly = false;     // for benchmarks: the surface from the sparse points at every level
    };

    // What one run did, for benchmarks and diagnosis; valid once the stream has ended.
    struct RunReport
    {
        struct Step
        {
            QString name;
            double seconds = 0.0;
            QStringList arguments; // COLMAP arguments, empty for our own steps
        };
        std::vector<Step> steps;
        QString workFolder;
        int frameCount = 0;
        int registeredCount = 0;
        std::size_t objectPointCount = 0;
        std::size_t triangleCount = 0;
        std::vector<std::pair<QString, geo::Vec3>> cameraCentres; // staged name, model frame (metres, +Y up)
        std::vector<std::pair<QString, QString>> frameNames;      // staged name, the frame's own name
        std::size_t densePointCount = 0; // points the surface was built from when the dense chain ran
        QStringList notes; // what the run's log said beyond the steps (frames left out, a dense fallback)
        int textureSizePx = 0;           // side of the model's baked texture; 0: vertex colours only
    };

    ColmapPhotogrammetrySession(QString inputFolder, Configuration configuration, Options options,
                                QObject* parent = nullptr);
    ~ColmapPhotogrammetrySession() override;

    // The factory the application uses: default options.
    static PhotogrammetrySessionFactory factory();
    static PhotogrammetrySessionFactory factory(const Options& options);

    Expected<void, QString> process(const QString& modelPath, Detail detail) override;
    void cancel() override;

    const RunReport& report() const { return m_report; }

private:
    using Stage = ColmapProgress::Stage;

    void start();
    // A step that fails ends the run with an error, unless `onFailure` takes the message and goes on.
    void runColmap(Stage stage, const QString& name, const QStringList& arguments, std::function<void()> next,
                   std::function<void(const QString&)> onFailure = {});
    void runWorker(Stage stage, const QString& name, std::function<QString()> work, std::function<void()> next,
                   std::function<void(const QString&)> onFailure = {});
    void onProcessFinished(int exitCode, QProcess::ExitStatus status);
    void onProcessOutput();
    // Notes the frames the feature extractor reports it could not decode (one trimmed output line).
    void noteExtractionLine(const QByteArray& line);
    void afterExtraction();
    void afterMatching();
    void afterMapping();
    void convertNextModel();
    void buildPointCloud();
    void undistortForDenseStereo();
    void convertDenseModel();
    void computeDepthMaps();
    void fuseDepthMaps();
    void readDensePoints();
    // The dense chain could not give the surface's points: the sparse ones serve, and the run's log says why.
    void fallBackToSparse(const QString& reason);
    void reconstructSurface(int trim);
    void cleanUpMesh();
    // Bakes the frames into a texture for `mesh` (worker thread); a bake that fails leaves `mesh` as it was
    // with a note in the report.
    void textureModel(ModelMesh& mesh, const QString& sparseFolder, const QString& imagesFolder);

    // Enters the stage and returns true, or ends the run cancelled and returns false when a cancel came first.
    bool beginStage(Stage stage, const QString& name);
    void enterStage(Stage stage, const QString& name);
    void leaveStage();
    void reportProgress(double fraction, bool force = false);
    void finishWithError(const QString& message);
    void finishCancelled();
    void finishComplete();
    void emitFinal(const Output& output);
    void removeWorkFolder();
    QString workPath(const QString& relative) const;

    const QString m_inputFolder;
    const Configuration m_configuration;
    const Options m_options;
    QString m_modelPath;
    ColmapLevelSettings m_settings;
    int m_threads = 1;

    bool m_started = false;
    bool m_finished = false;
    bool m_cancelRequested = false;
    bool m_modelWritten = false;
    std::atomic<bool> m_cancelFlag{false};

    QString m_program;
    QString m_workFolder;
    QProcess* m_process = nullptr;
    qint64 m_processGroup = 0; // the running step's process id, which is also its process group's
    QThread* m_worker = nullptr;
    QTimer m_killTimer;
    QTimer m_creepTimer;
    QByteArray m_lineBuffer;
    QStringList m_outputTail;
    bool m_sawNoInitialPair = false;
    QString m_extractingFrame;     // the staged frame the extractor works on, from its output
    QStringList m_undecodedFrames; // staged frames the extractor could not decode

    Stage m_stage = Stage::prepare;
    QElapsedTimer m_stageClock;
    QElapsedTimer m_emitClock;
    double m_fraction = 0.0;
    double m_emittedFraction = -1.0;
    std::function<void()> m_next;
    std::function<void(const QString&)> m_onFailure;
    bool m_dense = false;          // this level runs the dense chain
    QString m_surfacePoints;       // the oriented points the surface is built from
    ObjectCloud m_objectBounds; // frame and crop of the sparse object cloud (no points)
    std::vector<geo::Vec3> m_denseRegion; // COLMAP's frame: the box dense matching keeps to
    QString m_workerError;

    int m_frameCount = 0;
    QString m_leftOutFramesNote; // said to the person with the finished model
    int m_largestFramePx = 0;
    QStringList m_modelFolders;
    int m_bestRegistered = 0;
    QString m_bestModel;
    double m_cropRadiusM = 1e30;
    double m_cropBottomM = -1e30;
    double m_cropTopM = 1e30;
    QStringList m_currentArguments;
    QString m_currentStepName;

    RunReport m_report;
};

} // namespace tovarine
