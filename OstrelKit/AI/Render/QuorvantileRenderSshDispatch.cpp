#include "QuorvantileRenderSshDispatch.h"

#include "QuorvantileManifest.h"
#include "QuorvantileRenderPaths.h"

#include <QFileInfo>
#include <QProcess>
#include <sys/resource.h>

namespace ostrel {

namespace {

QString remoteSource(const QUuid& id)
{
    return QStringLiteral("/tmp/quorvantile_source_") + quorvantileUuidText(id) + QStringLiteral(".mov");
}

QString remoteJob(const QUuid& id)
{
    return QStringLiteral("/tmp/quorvantile_job_") + quorvantileUuidText(id) + QStringLiteral(".json");
}

QString remoteSegment(const QUuid& id)
{
    return QStringLiteral("/tmp/quorvantile_segment_") + quorvantileUuidText(id) + QStringLiteral(".mov");
}

} // namespace

QuorvantileRenderSshDispatch::QuorvantileRenderSshDispatch(Options options, Hooks hooks, QObject* parent)
    : QObject(parent), m_options(std::move(options)), m_hooks(std::move(hooks))
{
    m_stepLimit.setSingleShot(true);
    connect(&m_stepLimit, &QTimer::timeout, this, &QuorvantileRenderSshDispatch::stepTimedOut);
}

QuorvantileRenderSshDispatch::~QuorvantileRenderSshDispatch()
{
    if (m_process) {
        m_process->disconnect(this);
        m_process->kill();
        m_process->waitForFinished(1000);
    }
}

QStringList QuorvantileRenderSshDispatch::remoteRenderCommand(const QUuid& jobID)
{
    return {QStringLiteral("/tmp/Sarvek.app/Contents/MacOS/Sarvek"),
            QStringLiteral("--render-segment"),
            remoteSource(jobID),
            QStringLiteral("--job"),
            remoteJob(jobID),
            QStringLiteral("--output"),
            remoteSegment(jobID)};
}

QStringList QuorvantileRenderSshDispatch::commonOptions() const
{
    return {QStringLiteral("-o"), QStringLiteral("BatchMode=yes"),
            QStringLiteral("-o"), QStringLiteral("StrictHostKeyChecking=accept-new"),
            QStringLiteral("-o"), QStringLiteral("ConnectTimeout=%1").arg(m_options.connectTimeoutSeconds),
            QStringLiteral("-o"), QStringLiteral("ServerAliveInterval=%1").arg(m_options.keepAliveSeconds),
            QStringLiteral("-o"), QStringLiteral("ServerAliveCountMax=4")};
}

void QuorvantileRenderSshDispatch::start(const QuorvantileRenderJob& job, const QString& sourcePath,
                                         const QString& host, const QString& segmentPath)
{
    m_job = job;
    m_sourcePath = sourcePath;
    m_host = host;
    m_segmentPath = segmentPath;
    if (!quorvantileIsValidRenderHost(host)) {
        end(QuorvantileRenderFileResult::failure(QStringLiteral("Not a valid host name: %1").arg(host)));
        return;
    }
    m_hooks.segmentStatus(QuorvantileRenderStatus::transferring);
    run(Step::copySource);
}

void QuorvantileRenderSshDispatch::run(Step step)
{
    const QUuid id = m_job->jobID();
    QString program = m_options.sshProgram;
    QStringList arguments = commonOptions();
    switch (step) {
    case Step::copySource:
        program = m_options.scpProgram;
        arguments << QStringLiteral("--") << m_sourcePath << m_host + QLatin1Char(':') + remoteSource(id);
        break;
    case Step::writeJob:
        arguments << QStringLiteral("--") << m_host << QStringLiteral("cat > ") + remoteJob(id);
        break;
    case Step::render:
        arguments << QStringLiteral("--") << m_host << remoteRenderCommand(id);
        break;
    case Step::copySegment:
        program = m_options.scpProgram;
        arguments << QStringLiteral("--") << m_host + QLatin1Char(':') + remoteSegment(id) << m_segmentPath;
        break;
    }
    auto* process = new QProcess(this);
    m_process = process;
    m_step = step;
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    const std::int64_t frames = m_job->outputFrameCount();
    switch (step) {
    case Step::copySource:
        m_stepLimit.start(static_cast<int>(quorvantileSaturated(
            m_options.copyBaseTimeMs, 1000,
            QFileInfo(m_sourcePath).size() / std::max<qint64>(m_options.copyMinBytesPerSecond, 1),
            std::numeric_limits<int>::max())));
        break;
    case Step::writeJob:
        m_stepLimit.start(m_options.writeJobTimeMs);
        break;
    case Step::render:
        m_stepLimit.stop();
        break;
    case Step::copySegment: {
        m_stepLimit.start(m_options.segment.timeLimitMs(frames));
        // The kernel holds the copy (scp and the ssh it runs) to the segment's bound: a write past it fails
        // and ends the copy, however fast the peer sends.
        const rlim_t maxBytes = static_cast<rlim_t>(m_options.segment.maxBytes(frames));
        process->setChildProcessModifier([maxBytes] {
            const rlimit limit{maxBytes, maxBytes};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        });
        break;
    }
    }
    if (step != Step::writeJob) {
        process->setStandardInputFile(QProcess::nullDevice());
    }
    connect(process, &QProcess::finished, this,
            [this, process, step](int exitCode, QProcess::ExitStatus status) {
                process->deleteLater();
                stepEnded(step, exitCode, status != QProcess::NormalExit);
            });
    connect(process, &QProcess::errorOccurred, this, [this, process, program](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            process->deleteLater();
            end(QuorvantileRenderFileResult::failure(
                QStringLiteral("Could not start %1: %2").arg(program, process->errorString())));
        }
    });
    process->start(program, arguments);
    if (step == Step::writeJob) {
        process->write(m_job->toCompactJson());
        process->closeWriteChannel();
    }
}

void QuorvantileRenderSshDispatch::stepEnded(Step step, int exitCode, bool crashed)
{
    if (m_ended) {
        return;
    }
    const bool ok = !crashed && exitCode == 0;
    switch (step) {
    case Step::copySource:
        if (!ok) {
            end(QuorvantileRenderFileResult::failure(QuorvantileRenderError::transferFailed));
            return;
        }
        m_hooks.segmentStatus(QuorvantileRenderStatus::rendering);
        run(Step::writeJob);
        return;
    case Step::writeJob:
        // The render step decides: a job file that did not arrive makes the renderer fail.
        run(Step::render);
        return;
    case Step::render:
        if (!ok) {
            end(QuorvantileRenderFileResult::failure(QuorvantileRenderError::remoteFailed));
            return;
        }
        run(Step::copySegment);
        return;
    case Step::copySegment:
        if (!ok) {
            const qint64 maxBytes = m_options.segment.maxBytes(m_job->outputFrameCount());
            if (QFileInfo(m_segmentPath).size() >= maxBytes) {
                end(QuorvantileRenderFileResult::failure(
                    QStringLiteral("Segment copy sent more than %1 bytes").arg(maxBytes)));
                return;
            }
            end(QuorvantileRenderFileResult::failure(QuorvantileRenderError::transferFailed));
            return;
        }
        m_hooks.segmentStatus(QuorvantileRenderStatus::complete);
        end(QuorvantileRenderFileResult::success(m_segmentPath));
        return;
    }
}

void QuorvantileRenderSshDispatch::stepTimedOut()
{
    if (m_ended || !m_process) {
        return;
    }
    static constexpr const char* kStepNames[] = {"Source copy", "Job transfer", "Render", "Segment copy"};
    const QString message = QStringLiteral("%1 took longer than %2 s")
                                .arg(QLatin1String(kStepNames[static_cast<int>(m_step)]))
                                .arg(static_cast<double>(m_stepLimit.interval()) / 1000.0);
    m_process->disconnect(this);
    m_process->kill();
    m_process->waitForFinished(1000);
    m_process->deleteLater();
    end(QuorvantileRenderFileResult::failure(message));
}

void QuorvantileRenderSshDispatch::cancel()
{
    if (m_ended) {
        return;
    }
    if (m_process) {
        m_process->disconnect(this);
        m_process->kill();
        m_process->waitForFinished(1000);
        m_process->deleteLater();
    }
    end(QuorvantileRenderFileResult::cancellation());
}

void QuorvantileRenderSshDispatch::end(QuorvantileRenderFileResult result)
{
    if (m_ended) {
        return;
    }
    m_ended = true;
    m_stepLimit.stop();
    if (finished) {
        finished(result);
    }
}

} // namespace ostrel
