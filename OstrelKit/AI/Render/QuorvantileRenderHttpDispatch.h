#pragma once

#include "QuorvantileRenderError.h"
#include "QuorvantileRenderJob.h"
#include "QuorvantileSegmentCheck.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <memory>

class QFile;
class QNetworkAccessManager;
class QNetworkReply;
class QSaveFile;

namespace ostrel {

// Hands one job to a remote render agent over HTTP: uploads the source (streamed from the file), submits the
// job, polls its status until complete, failed or stalled, and downloads the segment (streamed to the file).
// Every request asks for an uncoded body (Accept-Encoding: identity), so the bytes counted are the bytes
// sent; every answer is held to a byte cap and every request to a time limit, whatever the agent sends.
// A download that ends in a transfer error, short of its announced length, coded, larger than the job can
// need or later than its time limit is a failure, even after a 200, and leaves no segment file. What a
// finished download holds is not judged here: the caller checks the segment against its job.
// Ends exactly once through `finished`. GUI thread only (the thread of its network manager).
class QuorvantileRenderHttpDispatch : public QObject
{
    Q_OBJECT
public:
    struct Options
    {
        int pollIntervalMs = 2000; // between status requests
        int stallTimeoutMs =
            300'000; // "rendering" without new frames this long fails (after the first frame)
        // No new frame this long fails whatever the agent answers ("queued", "rendering" before its first
        // frame, answers that cannot be read): an agent cannot hold the render for ever.
        int progressTimeoutMs = 1'800'000;
        int uploadIdleTimeoutMs = 120'000; // upload aborted after this long without progress
        // The whole upload and its answer: this long plus the source's bytes at the slowest rate a LAN gives.
        int uploadBaseTimeMs = 600'000;
        qint64 uploadMinBytesPerSecond = 1 << 20;
        int submitTimeoutMs = 30'000;      // submit request, whole
        int requestIdleTimeoutMs = 60'000; // status and result requests, without progress
        int statusTimeLimitMs = 60'000;    // one status request, whole
        QuorvantileSegmentBounds result;   // the segment download, whole
    };

    // Bytes of any other answer of an agent (upload, submit, status, health): a few hundred are plenty.
    static constexpr qint64 kMaxAnswerBytes = 64 * 1024;

    struct Hooks
    {
        std::function<void(QuorvantileRenderStatus status)>
            segmentStatus;                                       // transferring, rendering, complete
        std::function<void(std::int64_t frames)> framesReported; // output frames of the segment, 0..its count
        std::function<void(const QString& text)> renderStatus;   // the "uploading …" line
    };

    QuorvantileRenderHttpDispatch(QNetworkAccessManager* network, Options options, Hooks hooks,
                                  QObject* parent = nullptr);
    ~QuorvantileRenderHttpDispatch() override;

    // Asks `agentURL` + "/health"; `done` gets true on status 200 only. Time limit `timeoutMs` for the whole
    // answer, which is read no further than its status.
    static void probe(QNetworkAccessManager* network, const QString& agentURL, int timeoutMs,
                      QObject* context, std::function<void(bool available)> done);

    // Starts the dispatch of `job` with the source at `sourcePath` to the agent at `agentURL` (no trailing
    // slash); the segment goes to `segmentPath`. `shortName` names the node in the status line.
    void start(const QuorvantileRenderJob& job, const QString& sourcePath, const QString& agentURL,
               const QString& shortName, const QString& segmentPath);
    // Stops at once and ends with a cancellation.
    void cancel();

    std::function<void(const QuorvantileRenderFileResult& result)> finished;

private:
    void upload();
    void submit();
    void poll();
    void pollAnswered();
    void download();
    void end(QuorvantileRenderFileResult result);
    // Makes `reply` the request under way, held to `maxBytes` of answer and `timeLimitMs` in all: past either
    // it is aborted with the reason in m_limitFailure.
    QNetworkReply* track(QNetworkReply* reply, qint64 maxBytes, qint64 timeLimitMs, const QString& what);
    // Aborts the request under way for `reason` (once).
    void limitReached(const QString& reason);
    // Ends the limits of the request under way, whose answer held `received` bytes: the reason it failed
    // them, or empty.
    QString settle(qint64 received);
    QString overCap() const;
    QString endpoint(const QString& path) const;

    QNetworkAccessManager* m_network;
    Options m_options;
    Hooks m_hooks;
    std::optional<QuorvantileRenderJob> m_job;
    QString m_sourcePath;
    QString m_agentURL;
    QString m_segmentPath;
    QPointer<QNetworkReply> m_reply;
    std::unique_ptr<QFile> m_source;
    // Written under a temporary name and renamed only when the whole announced body has arrived.
    std::unique_ptr<QSaveFile> m_segment;
    QString m_writeError;
    QString m_limitFailure;
    QString m_limitWhat; // the request under way, as failures name it
    qint64 m_limitBytes = 0;
    QTimer m_requestLimit;
    QTimer m_pollTimer;
    QElapsedTimer m_sinceGrowth;
    std::int64_t m_lastFrames = 0;
    bool m_ended = false;
};

} // namespace ostrel
