#pragma once

#include "QuorvantileRenderError.h"
#include "QuorvantileRenderJob.h"
#include "QuorvantileSegmentCheck.h"

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <functional>

class QProcess;

namespace ostrel {

// Renders one job on a remote machine over the secure shell: scp copies the source there, ssh writes the job
// JSON and runs the renderer, scp copies the segment back. The remote file names and the renderer's command
// line are fixed (peers rely on them). Every child runs in batch mode with closed stdin (except the one fed
// the job) and is killed on cancel. The copies and the job's writing have time limits; the copy of the
// segment is held to the segment's bounds (the file size limit of the copying process, so the disk never
// takes more) and a copy that fails may leave part of the file behind for the caller to remove. The render
// step has none: the remote renderer takes as long as the job takes, and a link that dies is found by the
// keep-alive. Ends exactly once through `finished`. GUI thread only.
class QuorvantileRenderSshDispatch : public QObject
{
    Q_OBJECT
public:
    struct Options
    {
        QString sshProgram = QStringLiteral("ssh"); // found on PATH unless absolute
        QString scpProgram = QStringLiteral("scp");
        int connectTimeoutSeconds = 10; // ssh ConnectTimeout
        int keepAliveSeconds = 15;      // ServerAliveInterval; the link counts as lost after 4 misses
        // Copy of the source: this long plus the source's bytes at the slowest rate a LAN gives.
        int copyBaseTimeMs = 600'000;
        qint64 copyMinBytesPerSecond = 1 << 20;
        int writeJobTimeMs = 30'000;      // the job's writing on the remote machine
        QuorvantileSegmentBounds segment; // the copy of the segment back
    };

    struct Hooks
    {
        std::function<void(QuorvantileRenderStatus status)>
            segmentStatus; // transferring, rendering, complete
    };

    QuorvantileRenderSshDispatch(Options options, Hooks hooks, QObject* parent = nullptr);
    ~QuorvantileRenderSshDispatch() override;

    // The remote command of the render step, as ssh hands it to the remote shell.
    static QStringList remoteRenderCommand(const QUuid& jobID);

    // Starts the dispatch of `job` to `host` (a validated host name or address); the segment goes to
    // `segmentPath`.
    void start(const QuorvantileRenderJob& job, const QString& sourcePath, const QString& host,
               const QString& segmentPath);
    void cancel();

    std::function<void(const QuorvantileRenderFileResult& result)> finished;

private:
    enum class Step { copySource, writeJob, render, copySegment };

    QStringList commonOptions() const;
    void run(Step step);
    void stepEnded(Step step, int exitCode, bool crashed);
    void end(QuorvantileRenderFileResult result);
    void stepTimedOut();

    Options m_options;
    Hooks m_hooks;
    std::optional<QuorvantileRenderJob> m_job;
    QString m_sourcePath;
    QString m_host;
    QString m_segmentPath;
    QPointer<QProcess> m_process;
    Step m_step = Step::copySource;
    QTimer m_stepLimit;
    bool m_ended = false;
};

} // namespace ostrel
