#pragma once

#include "QuorvantileNode.h"
#include "QuorvantileRenderError.h"
#include "QuorvantileRenderHttpDispatch.h"
#include "QuorvantileRenderJob.h"
#include "QuorvantileRenderSshDispatch.h"
#include "QuorvantileSegmentCheck.h"
#include "QuorvantileSegmentConcat.h"
#include "QuorvantileSegmentTask.h"
#include "QuorvantileSpeedComparison.h"

#include <QHash>
#include <QObject>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class QNetworkAccessManager;

namespace ostrel {

// Spreads one video render over this machine and the mesh's other machines: weighs them, cuts the frames into
// jobs, renders the first job through the host's renderer, sends each further job to one remote machine (its
// render agent over HTTP when it answers, else ssh and scp), renders a job here whenever its machine fails,
// and hands back the segment files in job order. A segment from another machine counts only once it decodes
// to exactly the frames of its job (QuorvantileSegmentCheck); one that does not is deleted and its job is
// rendered here like that of a machine that failed. Progress, status lines, worker rows, the speed comparison
// and the statistics go into the mesh facade. One render at a time. GUI thread only.
class QuorvantileRenderCoordinator : public QObject
{
    Q_OBJECT
public:
    using SpeedComparison = QuorvantileSpeedComparison;
    // (overall progress 0..1, frames done over all segments, frames expected over all segments)
    using ProgressCallback =
        std::function<void(double progress, std::int64_t framesDone, std::int64_t framesTotal)>;
    using RenderDone = std::function<void(const QuorvantileRenderResult<QStringList>& segments)>;

    struct Options
    {
        quint16 renderPort = 11435; // render agent port on every remote machine
        int probeTimeoutMs = 5000;  // agent health check
        QuorvantileRenderHttpDispatch::Options http;
        QuorvantileRenderSshDispatch::Options ssh;
        QuorvantileSegmentCheck::Options segmentCheck;
        QString segmentDirectory; // downloaded segments; empty: this user's private render folder
        // The machines to use and this machine's manifest; by default the facade's discovery.
        std::function<QList<QuorvantileNode>()> remoteNodes;
        std::function<std::optional<QuorvantileManifest>()> localManifest;
    };

    struct WorkerTiming
    {
        QString name;
        std::chrono::steady_clock::time_point startTime;
        std::optional<std::chrono::steady_clock::time_point> endTime;
    };

    explicit QuorvantileRenderCoordinator(QObject* parent = nullptr);
    explicit QuorvantileRenderCoordinator(Options options, QObject* parent = nullptr);
    ~QuorvantileRenderCoordinator() override;

    bool isDistributing() const { return m_isDistributing; }
    const QHash<QUuid, QuorvantileRenderProgress>& segmentProgress() const { return m_segmentProgress; }
    const QString& distributionSummary() const { return m_distributionSummary; }
    const std::optional<SpeedComparison>& speedComparison() const { return m_speedComparison; }
    const QHash<QUuid, QString>& jobWorkerNames() const { return m_jobWorkerNames; }
    const QHash<QUuid, WorkerTiming>& workerTimings() const { return m_workerTimings; }
    quint16 renderPort() const { return m_options.renderPort; }
    // Frames done over frames expected, over every segment this coordinator has seen; 0 without any.
    double overallProgress() const;

    // Renders `totalFrames` frames of the movie at `sourcePath` across the mesh. `localRender` renders a job
    // on this machine (job 0, a job without a machine, and the job of a machine that failed) and reports
    // output frames. `done` gets the segment paths in job order, or: noFrames, the error of a local render, a
    // cancellation, or a refusal while another render runs. A remote failure never reaches `done`.
    void distributeRender(const QString& sourcePath, const RenderParams& params, std::int64_t totalFrames,
                          ProgressCallback onProgress, QuorvantileSegmentRenderer localRender,
                          RenderDone done);
    // Stops the running render: every segment is cancelled and `done` gets a cancellation.
    void cancel();

    // Joins the segments into one movie at `outputPath` off this thread (see QuorvantileSegmentConcat); `fps`
    // is not used: timing comes from the segments. `done` runs on this thread.
    void concatenate(const QStringList& segments, double fps, const QString& outputPath,
                     std::function<void(const QuorvantileRenderFileResult& result)> done,
                     QuorvantileSegmentConcat::Options options = {});

signals:
    void changed();

private:
    struct Child;
    struct Run;

    void startLocal(const std::shared_ptr<Run>& run, int index);
    void startRemote(const std::shared_ptr<Run>& run, int index);
    void dispatch(const std::shared_ptr<Run>& run, int index, bool viaAgent);
    void remoteEnded(const std::shared_ptr<Run>& run, int index, const QuorvantileRenderFileResult& result);
    void remoteChecked(const std::shared_ptr<Run>& run, int index, const QuorvantileRenderFileResult& result);
    void remoteFailed(const std::shared_ptr<Run>& run, int index);
    void localEnded(const std::shared_ptr<Run>& run, int index, const QuorvantileRenderFileResult& result);
    void childSucceeded(const std::shared_ptr<Run>& run, int index, const QString& path);
    void failRun(const std::shared_ptr<Run>& run, QuorvantileRenderResult<QStringList> failure);
    void finishIfDone(const std::shared_ptr<Run>& run);
    void finish(const std::shared_ptr<Run>& run, QuorvantileRenderResult<QStringList> result);
    void updateProgress(const QUuid& jobID, std::int64_t frames, std::int64_t total);
    void setRecord(const QUuid& jobID, QuorvantileRenderStatus status, std::int64_t frames,
                   std::int64_t total, std::optional<double> remaining);
    void markComplete(const QuorvantileRenderJob& job);
    void endTiming(const QUuid& jobID);
    QString segmentDirectory(QString* error) const;

    Options m_options;
    QNetworkAccessManager* m_network;
    std::shared_ptr<QuorvantileThreadPost> m_post;
    bool m_isDistributing = false;
    QHash<QUuid, QuorvantileRenderProgress> m_segmentProgress;
    QString m_distributionSummary;
    std::optional<SpeedComparison> m_speedComparison;
    QHash<QUuid, QString> m_jobWorkerNames;
    QHash<QUuid, WorkerTiming> m_workerTimings;
    ProgressCallback m_externalProgressCallback;
    std::shared_ptr<Run> m_run;
    quint64 m_generation = 0;
};

} // namespace ostrel
