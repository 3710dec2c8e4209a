#include "QuorvantileRenderCoordinator.h"

#include "Quorvantile.h"
#include "QuorvantileRenderPaths.h"
#include "QuorvantileRenderSplitter.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QPointer>
#include <QThreadPool>
#include <algorithm>

namespace ostrel {

namespace {

const QString kThisMachine = QStringLiteral("this computer");

double secondsBetween(std::chrono::steady_clock::time_point from, std::chrono::steady_clock::time_point to)
{
    return std::chrono::duration<double>(to - from).count();
}

} // namespace

struct QuorvantileRenderCoordinator::Child
{
    std::optional<QuorvantileNode> node; // the machine of a remote job
    bool ended = false;
    std::optional<QString> path;
    QString remoteSegmentPath; // where a remote machine's segment lands; removed when it does not count
    bool checking = false;     // the remote segment is being checked against its job
    std::shared_ptr<std::atomic<bool>> localCancel;
    QPointer<QuorvantileRenderHttpDispatch> http;
    QPointer<QuorvantileRenderSshDispatch> ssh;
};

struct QuorvantileRenderCoordinator::Run
{
    quint64 generation = 0;
    QString sourcePath;
    std::int64_t totalFrames = 0;
    std::int64_t workerCount = 0;
    QList<QuorvantileRenderJob> jobs;
    QList<Child> children;
    QuorvantileSegmentRenderer localRender;
    RenderDone done;
    std::chrono::steady_clock::time_point startTime;
    std::optional<QuorvantileRenderResult<QStringList>> failure; // set once the run is failing or cancelled
    bool finished = false;
};

QuorvantileRenderCoordinator::QuorvantileRenderCoordinator(QObject* parent)
    : QuorvantileRenderCoordinator(Options{}, parent)
{
}

QuorvantileRenderCoordinator::QuorvantileRenderCoordinator(Options options, QObject* parent)
    : QObject(parent), m_options(std::move(options)), m_network(new QNetworkAccessManager(this)),
      m_post(std::make_shared<QuorvantileThreadPost>(this))
{
    // Render agents are machines of the local network, reached directly as the mesh reaches them: a desktop
    // proxy would not know them.
    m_network->setProxy(QNetworkProxy::NoProxy);
    if (!m_options.remoteNodes) {
        m_options.remoteNodes = [] { return Quorvantile::shared().discovery().activeRemoteNodes(); };
    }
    if (!m_options.localManifest) {
        m_options.localManifest = [] { return Quorvantile::shared().discovery().localNodeManifest(); };
    }
}

QuorvantileRenderCoordinator::~QuorvantileRenderCoordinator()
{
    m_post->close();
    if (m_run) {
        for (Child& child : m_run->children) {
            if (child.localCancel) {
                child.localCancel->store(true);
            }
        }
    }
}

double QuorvantileRenderCoordinator::overallProgress() const
{
    std::int64_t done = 0;
    std::int64_t total = 0;
    for (const QuorvantileRenderProgress& record : m_segmentProgress) {
        done += record.framesComplete;
        total += record.totalFrames;
    }
    return total < 1 ? 0.0 : static_cast<double>(done) / static_cast<double>(total);
}

QString QuorvantileRenderCoordinator::segmentDirectory(QString* error) const
{
    if (!m_options.segmentDirectory.isEmpty()) {
        return m_options.segmentDirectory;
    }
    return quorvantilePrivateRenderDirectory(error).value_or(QString());
}

void QuorvantileRenderCoordinator::distributeRender(const QString& sourcePath, const RenderParams& params,
                                                    std::int64_t totalFrames, ProgressCallback onProgress,
                                                    QuorvantileSegmentRenderer localRender, RenderDone done)
{
    if (m_run) {
        done(QuorvantileRenderResult<QStringList>::failure(QStringLiteral("A render is already running")));
        return;
    }
    Quorvantile& mesh = Quorvantile::shared();
    auto run = std::make_shared<Run>();
    run->generation = ++m_generation;
    run->sourcePath = sourcePath;
    run->totalFrames = totalFrames;
    run->localRender = std::move(localRender);
    run->done = std::move(done);
    m_run = run;
    m_isDistributing = true;
    m_externalProgressCallback = std::move(onProgress);
    mesh.setRenderStatus(QStringLiteral("preparing distributed render…"));
    mesh.setLastSpeedComparison(std::nullopt);

    // One snapshot of the machines serves the count, the weights and the assignment of jobs.
    const QList<QuorvantileNode> remotes = m_options.remoteNodes();
    run->workerCount = remotes.size() + 1;
    const QFileInfo source(sourcePath);
    const std::int64_t sourceFileSize = source.exists() ? source.size() : 0;

    m_distributionSummary = QStringLiteral("Splitting across %1 machine%2")
                                .arg(run->workerCount)
                                .arg(run->workerCount >= 2 ? QStringLiteral("s") : QString());
    QString status =
        QStringLiteral("splitting %1 frames across %2 machines").arg(totalFrames).arg(run->workerCount);
    if (!remotes.isEmpty()) {
        QStringList names;
        for (const QuorvantileNode& node : remotes) {
            names.append(quorvantileRenderShortName(node.manifest().nodeName()));
        }
        status += QStringLiteral(" (") + names.join(QStringLiteral(", ")) + QLatin1Char(')');
    }
    mesh.setRenderStatus(status);

    QList<QuorvantileManifest> remoteManifests;
    for (const QuorvantileNode& node : remotes) {
        remoteManifests.append(node.manifest());
    }
    const QList<double> weights =
        QuorvantileRenderSplitter::speedWeights(m_options.localManifest(), remoteManifests);
    run->jobs =
        QuorvantileRenderSplitter::split(totalFrames, run->workerCount, params, sourceFileSize, weights);
    emit changed();
    if (run->jobs.isEmpty()) {
        finish(run, QuorvantileRenderResult<QStringList>::failure(QuorvantileRenderError::noFrames));
        return;
    }

    run->startTime = std::chrono::steady_clock::now();
    for (qsizetype i = 0; i < run->jobs.size(); ++i) {
        const QuorvantileRenderJob& job = run->jobs[i];
        Child child;
        if (i >= 1 && i - 1 < remotes.size()) {
            child.node = remotes[i - 1];
            m_jobWorkerNames.insert(job.jobID(),
                                    quorvantileRenderWorkerName(child.node->manifest().nodeName()));
        } else if (i == 0) {
            m_jobWorkerNames.insert(job.jobID(), kThisMachine);
        }
        run->children.append(child);
        m_segmentProgress.insert(job.jobID(), {job.jobID(), QuorvantileRenderStatus::queued, 0,
                                               job.outputFrameCount(), 0.0, std::nullopt});
        m_workerTimings.insert(
            job.jobID(),
            {m_jobWorkerNames.value(job.jobID(), i == 0 ? kThisMachine : QStringLiteral("worker")),
             run->startTime, std::nullopt});
    }
    emit changed();
    for (int i = 0; i < run->jobs.size(); ++i) {
        if (run->finished || run->failure) {
            break;
        }
        // A job without a machine of its own renders here, so no segment is ever missing.
        if (run->children[i].node) {
            startRemote(run, i);
        } else {
            startLocal(run, i);
        }
    }
}

void QuorvantileRenderCoordinator::startLocal(const std::shared_ptr<Run>& run, int index)
{
    const QuorvantileRenderJob job = run->jobs[index];
    Child& child = run->children[index];
    child.localCancel = std::make_shared<std::atomic<bool>>(false);
    const std::shared_ptr<QuorvantileThreadPost> post = m_post;
    const QUuid jobID = job.jobID();
    const std::int64_t total = job.outputFrameCount();
    auto once = std::make_shared<std::atomic<bool>>(false);
    QuorvantileSegmentTask task;
    task.cancelled = child.localCancel;
    task.reportFrames = [post, this, jobID, total](std::int64_t frames) {
        post->post([this, jobID, frames, total] { updateProgress(jobID, frames, total); });
    };
    std::weak_ptr<Run> weakRun = run;
    task.finish = [post, this, weakRun, index, once](QuorvantileRenderFileResult result) {
        if (!once->exchange(true)) {
            post->post([this, weakRun, index, result = std::move(result)] {
                if (auto run = weakRun.lock()) {
                    localEnded(run, index, result);
                }
            });
        }
    };
    run->localRender(run->sourcePath, job, std::move(task));
}

void QuorvantileRenderCoordinator::startRemote(const std::shared_ptr<Run>& run, int index)
{
    const QuorvantileNode& node = *run->children[index].node;
    if (!quorvantileIsValidRenderHost(node.host())) {
        remoteEnded(run, index,
                    QuorvantileRenderFileResult::failure(
                        QStringLiteral("Not a valid host name: %1").arg(node.host())));
        return;
    }
    const QString agentURL = quorvantileHttpBase(node.host(), m_options.renderPort);
    std::weak_ptr<Run> weakRun = run;
    QuorvantileRenderHttpDispatch::probe(m_network, agentURL, m_options.probeTimeoutMs, this,
                                         [this, weakRun, index](bool available) {
                                             auto run = weakRun.lock();
                                             if (!run || run->finished || run->children[index].ended) {
                                                 return;
                                             }
                                             if (run->failure) {
                                                 run->children[index].ended = true;
                                                 finishIfDone(run);
                                                 return;
                                             }
                                             dispatch(run, index, available);
                                         });
}

void QuorvantileRenderCoordinator::dispatch(const std::shared_ptr<Run>& run, int index, bool viaAgent)
{
    const QuorvantileRenderJob job = run->jobs[index];
    Child& child = run->children[index];
    const QuorvantileNode node = *child.node;
    QString error;
    const QString folder = segmentDirectory(&error);
    if (folder.isEmpty()) {
        remoteEnded(run, index, QuorvantileRenderFileResult::failure(error));
        return;
    }
    const QString segmentPath = quorvantileSegmentPath(folder, job.jobID());
    const std::int64_t total = job.outputFrameCount();
    const QUuid jobID = job.jobID();
    // The segment is complete once it has passed its check, not when it has arrived.
    auto segmentStatus = [this, jobID, total](QuorvantileRenderStatus status) {
        if (status != QuorvantileRenderStatus::complete) {
            setRecord(jobID, status, 0, total, std::nullopt);
        }
    };
    child.remoteSegmentPath = segmentPath;
    std::weak_ptr<Run> weakRun = run;
    auto ended = [this, weakRun, index](const QuorvantileRenderFileResult& result) {
        // Ends after the dispatch object's own call returns, so it may be deleted safely.
        QMetaObject::invokeMethod(
            this,
            [this, weakRun, index, result] {
                if (auto run = weakRun.lock()) {
                    remoteEnded(run, index, result);
                }
            },
            Qt::QueuedConnection);
    };
    if (viaAgent) {
        QuorvantileRenderHttpDispatch::Hooks hooks;
        hooks.segmentStatus = segmentStatus;
        hooks.framesReported = [this, jobID, total](std::int64_t frames) {
            updateProgress(jobID, frames, total);
        };
        hooks.renderStatus = [](const QString& text) { Quorvantile::shared().setRenderStatus(text); };
        auto* http = new QuorvantileRenderHttpDispatch(m_network, m_options.http, std::move(hooks), this);
        http->finished = ended;
        child.http = http;
        http->start(job, run->sourcePath, quorvantileHttpBase(node.host(), m_options.renderPort),
                    quorvantileRenderShortName(node.manifest().nodeName()), segmentPath);
    } else {
        auto* ssh = new QuorvantileRenderSshDispatch(m_options.ssh, {segmentStatus}, this);
        ssh->finished = ended;
        child.ssh = ssh;
        ssh->start(job, run->sourcePath, node.host(), segmentPath);
    }
}

void QuorvantileRenderCoordinator::remoteEnded(const std::shared_ptr<Run>& run, int index,
                                               const QuorvantileRenderFileResult& result)
{
    Child& child = run->children[index];
    if (child.http) {
        child.http->deleteLater();
    }
    if (child.ssh) {
        child.ssh->deleteLater();
    }
    if (run->finished || child.ended) {
        return;
    }
    if (!result.ok()) {
        remoteFailed(run, index);
        return;
    }
    if (run->failure) {
        child.ended = true;
        finishIfDone(run);
        return;
    }
    // The transfer said nothing of what arrived: the segment is decoded off this thread and counted.
    child.checking = true;
    const QString path = *result.value;
    const std::int64_t expected = run->jobs[index].outputFrameCount();
    const QuorvantileSegmentCheck::Options checkOptions = m_options.segmentCheck;
    const std::shared_ptr<QuorvantileThreadPost> post = m_post;
    std::weak_ptr<Run> weakRun = run;
    QThreadPool::globalInstance()->start([post, this, weakRun, index, path, expected, checkOptions] {
        QuorvantileRenderFileResult checked = QuorvantileSegmentCheck::check(path, expected, checkOptions);
        post->post([this, weakRun, index, checked = std::move(checked)] {
            if (auto run = weakRun.lock()) {
                remoteChecked(run, index, checked);
            }
        });
    });
}

void QuorvantileRenderCoordinator::remoteChecked(const std::shared_ptr<Run>& run, int index,
                                                 const QuorvantileRenderFileResult& result)
{
    Child& child = run->children[index];
    child.checking = false;
    if (run->finished || child.ended) {
        return;
    }
    if (!result.ok()) {
        qWarning().noquote() << QStringLiteral("Render: segment from %1 refused: %2")
                                    .arg(child.node->manifest().nodeName(), result.message);
        remoteFailed(run, index);
        return;
    }
    const QuorvantileRenderJob& job = run->jobs[index];
    endTiming(job.jobID());
    markComplete(job);
    childSucceeded(run, index, *result.value);
}

void QuorvantileRenderCoordinator::remoteFailed(const std::shared_ptr<Run>& run, int index)
{
    Child& child = run->children[index];
    // Whatever part of the segment arrived is not kept.
    if (!child.remoteSegmentPath.isEmpty()) {
        QFile::remove(child.remoteSegmentPath);
    }
    // A segment of a render that is failing or cancelled is not rendered again here.
    if (run->failure) {
        child.ended = true;
        finishIfDone(run);
        return;
    }
    Quorvantile::shared().setRenderStatus(
        quorvantileRenderShortName(child.node->manifest().nodeName()) +
        QStringLiteral(" failed — finishing that segment on this computer"));
    startLocal(run, index);
}

void QuorvantileRenderCoordinator::localEnded(const std::shared_ptr<Run>& run, int index,
                                              const QuorvantileRenderFileResult& result)
{
    if (run->finished || run->children[index].ended) {
        return;
    }
    if (!result.ok()) {
        run->children[index].ended = true;
        failRun(run, {std::nullopt, result.error, result.message, result.cancelled});
        return;
    }
    const QuorvantileRenderJob& job = run->jobs[index];
    endTiming(job.jobID());
    markComplete(job);
    childSucceeded(run, index, *result.value);
}

void QuorvantileRenderCoordinator::childSucceeded(const std::shared_ptr<Run>& run, int index,
                                                  const QString& path)
{
    run->children[index].ended = true;
    run->children[index].path = path;
    finishIfDone(run);
}

void QuorvantileRenderCoordinator::failRun(const std::shared_ptr<Run>& run,
                                           QuorvantileRenderResult<QStringList> failure)
{
    if (!run->failure) {
        run->failure = std::move(failure);
    }
    for (Child& child : run->children) {
        if (child.ended) {
            continue;
        }
        if (child.localCancel) {
            child.localCancel->store(true);
        }
        if (child.http) {
            child.http->cancel();
        } else if (child.ssh) {
            child.ssh->cancel();
        }
    }
    finishIfDone(run);
}

void QuorvantileRenderCoordinator::cancel()
{
    if (m_run && !m_run->finished) {
        failRun(m_run, QuorvantileRenderResult<QStringList>::cancellation());
    }
}

void QuorvantileRenderCoordinator::finishIfDone(const std::shared_ptr<Run>& run)
{
    if (run->finished) {
        return;
    }
    // A child still waiting for its agent probe, or for the check of its segment, counts as ended once the
    // run is failing.
    const bool allEnded = std::all_of(run->children.cbegin(), run->children.cend(), [&](const Child& child) {
        return child.ended ||
               (run->failure && (child.checking || (!child.localCancel && !child.http && !child.ssh)));
    });
    if (!allEnded) {
        return;
    }
    if (run->failure) {
        finish(run, *run->failure);
        return;
    }
    QStringList segments;
    for (const Child& child : run->children) {
        segments.append(*child.path);
    }
    const auto now = std::chrono::steady_clock::now();
    SpeedComparison comparison;
    comparison.actualSeconds = secondsBetween(run->startTime, now);
    comparison.workerCount = run->workerCount;
    comparison.totalFrames = run->totalFrames;
    std::int64_t firstSourceFrames = 0;
    for (const QuorvantileRenderJob& job : run->jobs) {
        const auto timing = m_workerTimings.constFind(job.jobID());
        if (timing == m_workerTimings.cend()) {
            continue;
        }
        if (comparison.perWorker.isEmpty()) {
            firstSourceFrames = job.frameCount();
        }
        comparison.perWorker.append({timing->name, job.outputFrameCount(),
                                     secondsBetween(timing->startTime, timing->endTime.value_or(now))});
    }
    if (!comparison.perWorker.isEmpty()) {
        const double s0 = comparison.perWorker.first().seconds;
        if (s0 > 0.0 && firstSourceFrames > 0) {
            // Source frames on both sides of the ratio, so a frame multiplier cancels out.
            comparison.estimatedSoloSeconds =
                static_cast<double>(run->totalFrames) / (static_cast<double>(firstSourceFrames) / s0);
        } else {
            for (const auto& worker : comparison.perWorker) {
                comparison.estimatedSoloSeconds += worker.seconds;
            }
        }
    }
    Quorvantile& mesh = Quorvantile::shared();
    m_speedComparison = comparison;
    m_distributionSummary = comparison.summary();
    mesh.setRenderStatus(comparison.summary());
    mesh.setLastSpeedComparison(comparison);
    mesh.recordRender(run->totalFrames, run->workerCount, run->workerCount - 1);
    finish(run, QuorvantileRenderResult<QStringList>::success(segments));
}

void QuorvantileRenderCoordinator::finish(const std::shared_ptr<Run>& run,
                                          QuorvantileRenderResult<QStringList> result)
{
    run->finished = true;
    if (m_run == run) {
        m_run.reset();
    }
    m_isDistributing = false;
    m_externalProgressCallback = nullptr;
    emit changed();
    const quint64 generation = run->generation;
    QMetaObject::invokeMethod(
        this,
        [this, generation] {
            if (m_generation == generation) {
                Quorvantile::shared().setRenderStatus(std::nullopt);
                Quorvantile::shared().setWorkerProgress({});
            }
        },
        Qt::QueuedConnection);
    if (run->done) {
        run->done(result);
    }
}

void QuorvantileRenderCoordinator::setRecord(const QUuid& jobID, QuorvantileRenderStatus status,
                                             std::int64_t frames, std::int64_t total,
                                             std::optional<double> remaining)
{
    const auto it = m_segmentProgress.find(jobID);
    if (it == m_segmentProgress.end()) {
        return;
    }
    *it = {jobID, status, frames, total, 0.0, remaining};
    emit changed();
}

void QuorvantileRenderCoordinator::markComplete(const QuorvantileRenderJob& job)
{
    setRecord(job.jobID(), QuorvantileRenderStatus::complete, job.outputFrameCount(), job.outputFrameCount(),
              0.0);
}

void QuorvantileRenderCoordinator::endTiming(const QUuid& jobID)
{
    const auto it = m_workerTimings.find(jobID);
    if (it != m_workerTimings.end()) {
        it->endTime = std::chrono::steady_clock::now();
    }
}

void QuorvantileRenderCoordinator::updateProgress(const QUuid& jobID, std::int64_t frames, std::int64_t total)
{
    const auto it = m_segmentProgress.find(jobID);
    // A late report never reopens a finished segment, nor brings back the status after the render ended.
    if (!m_isDistributing || (it != m_segmentProgress.end() && it->isFinal())) {
        return;
    }
    if (it != m_segmentProgress.end()) {
        *it = {jobID, QuorvantileRenderStatus::rendering, frames, total, it->elapsedSeconds, std::nullopt};
    }
    std::int64_t framesDone = 0;
    std::int64_t framesTotal = 0;
    bool transferring = false;
    bool allComplete = true;
    QList<Quorvantile::WorkerProgress> rows;
    for (auto record = m_segmentProgress.cbegin(); record != m_segmentProgress.cend(); ++record) {
        framesDone += record->framesComplete;
        framesTotal += record->totalFrames;
        transferring = transferring || record->status == QuorvantileRenderStatus::transferring;
        allComplete = allComplete && record->status == QuorvantileRenderStatus::complete;
        const QString name = m_jobWorkerNames.value(record.key(), QStringLiteral("worker"));
        rows.append({name.section(QLatin1Char(' '), 0, 0),
                     record->totalFrames < 1 ? 0.0
                                             : static_cast<double>(record->framesComplete) /
                                                   static_cast<double>(record->totalFrames),
                     record->status == QuorvantileRenderStatus::complete});
    }
    if (m_externalProgressCallback) {
        m_externalProgressCallback(overallProgress(), framesDone, framesTotal);
    }
    Quorvantile& mesh = Quorvantile::shared();
    if (transferring) {
        mesh.setRenderStatus(QStringLiteral("transferring to remote"));
    } else if (!allComplete) {
        mesh.setRenderStatus(QStringLiteral("%1 machines rendering").arg(m_segmentProgress.size()));
    } else {
        mesh.setRenderStatus(QStringLiteral("finishing"));
    }
    std::stable_sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) { return a.id < b.id; });
    mesh.setWorkerProgress(rows);
    emit changed();
}

void QuorvantileRenderCoordinator::concatenate(const QStringList& segments, double /*fps*/,
                                               const QString& outputPath,
                                               std::function<void(const QuorvantileRenderFileResult&)> done,
                                               QuorvantileSegmentConcat::Options options)
{
    const std::shared_ptr<QuorvantileThreadPost> post = m_post;
    QThreadPool::globalInstance()->start([post, segments, outputPath, options, done = std::move(done)] {
        QuorvantileRenderFileResult result =
            QuorvantileSegmentConcat::concatenate(segments, outputPath, options);
        post->post([done, result] { done(result); });
    });
}

} // namespace ostrel
