#include "QuorvantileRenderHttpDispatch.h"

#include "QuorvantileAgentReply.h"
#include "QuorvantileManifest.h"

#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSaveFile>
#include <algorithm>
#include <limits>
#include <optional>

namespace ostrel {

namespace {

constexpr qint64 kReadBufferBytes = 1 << 20; // download chunk held in memory at most

int statusOf(QNetworkReply* reply)
{
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    return status.isValid() ? status.toInt() : -1;
}

QNetworkRequest requestFor(const QUrl& url, int timeoutMs)
{
    QNetworkRequest request(url);
    request.setTransferTimeout(timeoutMs);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    // Bodies come as sent: their length can be checked against what was announced, and a cap counts the
    // bytes that arrive, not what they would inflate to. (Set by hand, the header also stops the network
    // layer from decoding a coded body on its own.)
    request.setRawHeader(QByteArrayLiteral("Accept-Encoding"), QByteArrayLiteral("identity"));
    return request;
}

// The content coding of an answer, lower case; empty for none or identity.
QByteArray contentCoding(QNetworkReply* reply)
{
    const QByteArray coding = reply->rawHeader(QByteArrayLiteral("Content-Encoding")).trimmed().toLower();
    return coding == "identity" ? QByteArray() : coding;
}

constexpr qint64 kMaxTimerMs = std::numeric_limits<int>::max();

// The body length the answer announced, when its bytes arrive as sent: a Content-Length without a content
// coding (a coded body's length is not the file's; such a body is refused anyway). A chunked body announces
// none.
std::optional<qint64> announcedLength(QNetworkReply* reply)
{
    if (!reply->hasRawHeader(QByteArrayLiteral("Content-Length")) || !contentCoding(reply).isEmpty()) {
        return std::nullopt;
    }
    bool ok = false;
    const qint64 length = reply->rawHeader(QByteArrayLiteral("Content-Length")).trimmed().toLongLong(&ok);
    return ok && length >= 0 ? std::optional<qint64>(length) : std::nullopt;
}

} // namespace

QuorvantileRenderHttpDispatch::QuorvantileRenderHttpDispatch(QNetworkAccessManager* network, Options options,
                                                             Hooks hooks, QObject* parent)
    : QObject(parent), m_network(network), m_options(options), m_hooks(std::move(hooks))
{
    m_pollTimer.setSingleShot(true);
    connect(&m_pollTimer, &QTimer::timeout, this, &QuorvantileRenderHttpDispatch::poll);
    m_requestLimit.setSingleShot(true);
    connect(&m_requestLimit, &QTimer::timeout, this, [this] {
        limitReached(QStringLiteral("%1 took longer than %2 s")
                         .arg(m_limitWhat)
                         .arg(static_cast<double>(m_requestLimit.interval()) / 1000.0));
    });
}

QuorvantileRenderHttpDispatch::~QuorvantileRenderHttpDispatch()
{
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
        m_reply->deleteLater();
    }
}

void QuorvantileRenderHttpDispatch::probe(QNetworkAccessManager* network, const QString& agentURL,
                                          int timeoutMs, QObject* context, std::function<void(bool)> done)
{
    QNetworkReply* reply = network->get(requestFor(QUrl(agentURL + QStringLiteral("/health")), timeoutMs));
    // Only the status counts; an answer that trickles or does not end makes the agent absent.
    reply->setReadBufferSize(kMaxAnswerBytes + 1);
    auto* limit = new QTimer(reply);
    limit->setSingleShot(true);
    QObject::connect(limit, &QTimer::timeout, reply, &QNetworkReply::abort);
    limit->start(std::max(timeoutMs, 0));
    QObject::connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64) {
        if (received > kMaxAnswerBytes) {
            reply->abort();
        }
    });
    QObject::connect(reply, &QNetworkReply::finished, context, [reply, limit, done = std::move(done)] {
        limit->stop();
        reply->deleteLater();
        done(reply->error() == QNetworkReply::NoError && statusOf(reply) == 200 &&
             reply->bytesAvailable() <= kMaxAnswerBytes);
    });
}

QString QuorvantileRenderHttpDispatch::endpoint(const QString& path) const
{
    return m_agentURL + path;
}

QNetworkReply* QuorvantileRenderHttpDispatch::track(QNetworkReply* reply, qint64 maxBytes, qint64 timeLimitMs,
                                                    const QString& what)
{
    m_reply = reply;
    m_limitFailure.clear();
    m_limitWhat = what;
    m_limitBytes = maxBytes;
    // Held here, an answer the network layer has read at once cannot pass the cap in memory either.
    reply->setReadBufferSize(maxBytes < kReadBufferBytes ? maxBytes + 1 : kReadBufferBytes);
    m_requestLimit.start(static_cast<int>(std::clamp<qint64>(timeLimitMs, 0, kMaxTimerMs)));
    connect(reply, &QNetworkReply::downloadProgress, this,
            [this, reply, maxBytes](qint64 received, qint64 announced) {
                if (reply == m_reply && (received > maxBytes || announced > maxBytes)) {
                    limitReached(overCap());
                }
            });
    return reply;
}

void QuorvantileRenderHttpDispatch::limitReached(const QString& reason)
{
    if (!m_reply || !m_limitFailure.isEmpty()) {
        return;
    }
    m_limitFailure = reason;
    m_reply->abort();
}

QString QuorvantileRenderHttpDispatch::overCap() const
{
    return QStringLiteral("%1 sent more than %2 bytes").arg(m_limitWhat).arg(m_limitBytes);
}

QString QuorvantileRenderHttpDispatch::settle(qint64 received)
{
    m_requestLimit.stop();
    // An answer read whole before its progress was seen is held to the cap here.
    if (m_limitFailure.isEmpty() && received > m_limitBytes) {
        m_limitFailure = overCap();
    }
    return m_limitFailure;
}

void QuorvantileRenderHttpDispatch::start(const QuorvantileRenderJob& job, const QString& sourcePath,
                                          const QString& agentURL, const QString& shortName,
                                          const QString& segmentPath)
{
    m_job = job;
    m_sourcePath = sourcePath;
    m_agentURL = agentURL;
    m_segmentPath = segmentPath;
    m_hooks.segmentStatus(QuorvantileRenderStatus::transferring);
    const QFileInfo info(sourcePath);
    const qint64 megabytes = info.exists() ? info.size() / 1'048'576 : 0;
    m_hooks.renderStatus(QStringLiteral("uploading %1MB to %2…").arg(megabytes).arg(shortName));
    upload();
}

void QuorvantileRenderHttpDispatch::upload()
{
    m_source = std::make_unique<QFile>(m_sourcePath);
    if (!m_source->open(QIODevice::ReadOnly)) {
        end(QuorvantileRenderFileResult::failure(
            QStringLiteral("Could not read %1: %2").arg(m_sourcePath, m_source->errorString())));
        return;
    }
    const QString suffix = QFileInfo(m_sourcePath).suffix();
    const QByteArray ext = QUrl::toPercentEncoding(suffix.isEmpty() ? QStringLiteral("mov") : suffix);
    const QUrl url = QUrl::fromEncoded(endpoint(QStringLiteral("/source/upload?id=")).toUtf8() +
                                           quorvantileUuidText(m_job->jobID()).toUtf8() + "&ext=" + ext,
                                       QUrl::StrictMode);
    QNetworkRequest request = requestFor(url, m_options.uploadIdleTimeoutMs);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/octet-stream"));
    request.setHeader(QNetworkRequest::ContentLengthHeader, m_source->size());
    const qint64 limitMs = quorvantileSaturated(
        m_options.uploadBaseTimeMs, 1000,
        m_source->size() / std::max<qint64>(m_options.uploadMinBytesPerSecond, 1), kMaxTimerMs);
    QNetworkReply* reply =
        track(m_network->post(request, m_source.get()), kMaxAnswerBytes, limitMs, QStringLiteral("Upload"));
    connect(reply, &QNetworkReply::finished, this, [this, reply] {
        reply->deleteLater();
        m_source.reset();
        if (const QString limit = settle(reply->bytesAvailable()); !limit.isEmpty()) {
            end(QuorvantileRenderFileResult::failure(limit));
        } else if (reply->error() != QNetworkReply::NoError && statusOf(reply) < 0) {
            end(QuorvantileRenderFileResult::failure(reply->errorString()));
        } else if (statusOf(reply) != 200) {
            end(QuorvantileRenderFileResult::failure(QuorvantileRenderError::transferFailed));
        } else {
            submit();
        }
    });
}

void QuorvantileRenderHttpDispatch::submit()
{
    m_hooks.segmentStatus(QuorvantileRenderStatus::rendering);
    QNetworkRequest request =
        requestFor(QUrl(endpoint(QStringLiteral("/render/submit"))), m_options.submitTimeoutMs);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    QNetworkReply* reply = track(m_network->post(request, m_job->toCompactJson()), kMaxAnswerBytes,
                                 m_options.submitTimeoutMs, QStringLiteral("Submit"));
    connect(reply, &QNetworkReply::finished, this, [this, reply] {
        reply->deleteLater();
        const int status = statusOf(reply);
        if (const QString limit = settle(reply->bytesAvailable()); !limit.isEmpty()) {
            end(QuorvantileRenderFileResult::failure(limit));
        } else if (reply->error() != QNetworkReply::NoError && status < 0) {
            end(QuorvantileRenderFileResult::failure(reply->errorString()));
        } else if (status != 200 && status != 202) {
            end(QuorvantileRenderFileResult::failure(QuorvantileRenderError::remoteRejected));
        } else {
            m_lastFrames = 0;
            m_sinceGrowth.start();
            m_pollTimer.start(m_options.pollIntervalMs);
        }
    });
}

void QuorvantileRenderHttpDispatch::poll()
{
    const QString path =
        QStringLiteral("/render/") + quorvantileUuidText(m_job->jobID()) + QStringLiteral("/status");
    QNetworkReply* reply =
        track(m_network->get(requestFor(QUrl(endpoint(path)), m_options.requestIdleTimeoutMs)),
              kMaxAnswerBytes, m_options.statusTimeLimitMs, QStringLiteral("Status request"));
    connect(reply, &QNetworkReply::finished, this, &QuorvantileRenderHttpDispatch::pollAnswered);
}

void QuorvantileRenderHttpDispatch::pollAnswered()
{
    QNetworkReply* reply = m_reply;
    reply->deleteLater();
    if (const QString limit = settle(reply->bytesAvailable()); !limit.isEmpty()) {
        end(QuorvantileRenderFileResult::failure(limit));
        return;
    }
    if (reply->error() != QNetworkReply::NoError && statusOf(reply) < 0) {
        end(QuorvantileRenderFileResult::failure(reply->errorString()));
        return;
    }
    const std::optional<QuorvantileAgentStatusReply> answer =
        quorvantileParseAgentStatus(reply->readAll(), m_job->outputFrameCount());
    // No new frame for too long ends the wait: while "rendering" after a first frame, or whatever the agent
    // answers; otherwise the next poll follows.
    const auto pollAgainUnlessStalled = [this](bool rendering) {
        const qint64 sinceGrowthMs = m_sinceGrowth.elapsed();
        if (sinceGrowthMs > m_options.progressTimeoutMs ||
            (rendering && m_lastFrames >= 1 && sinceGrowthMs > m_options.stallTimeoutMs)) {
            QuorvantileRenderFileResult failure =
                QuorvantileRenderFileResult::failure(QuorvantileRenderError::remoteFailed);
            failure.message += QStringLiteral(": no new frames");
            end(failure);
            return;
        }
        m_pollTimer.start(m_options.pollIntervalMs);
    };
    if (!answer) {
        pollAgainUnlessStalled(false);
        return;
    }
    if (answer->frames) {
        // The segment has so many frames: a count outside them is held to them, so the render never shows
        // more done than asked for, nor less than nothing.
        const std::int64_t frames = std::clamp<std::int64_t>(*answer->frames, 0, m_job->outputFrameCount());
        m_hooks.framesReported(frames);
        if (frames > m_lastFrames) {
            m_lastFrames = frames;
            m_sinceGrowth.start();
        }
    }
    const QString& status = answer->status;
    if (status == QLatin1String("complete")) {
        download();
        return;
    }
    if (status == QLatin1String("failed")) {
        QuorvantileRenderFileResult failure =
            QuorvantileRenderFileResult::failure(QuorvantileRenderError::remoteFailed);
        failure.message += QStringLiteral(": ") + answer->error;
        end(failure);
        return;
    }
    pollAgainUnlessStalled(status == QLatin1String("rendering"));
}

void QuorvantileRenderHttpDispatch::download()
{
    m_segment = std::make_unique<QSaveFile>(m_segmentPath);
    if (!m_segment->open(QIODevice::WriteOnly)) {
        end(QuorvantileRenderFileResult::failure(
            QStringLiteral("Could not write %1: %2").arg(m_segmentPath, m_segment->errorString())));
        return;
    }
    const QString path =
        QStringLiteral("/render/") + quorvantileUuidText(m_job->jobID()) + QStringLiteral("/result");
    const std::int64_t frames = m_job->outputFrameCount();
    QNetworkReply* reply =
        track(m_network->get(requestFor(QUrl(endpoint(path)), m_options.requestIdleTimeoutMs)),
              m_options.result.maxBytes(frames), m_options.result.timeLimitMs(frames),
              QStringLiteral("Segment download"));
    // A coded body was not asked for: its length cannot be checked, nor its bytes kept as the movie.
    connect(reply, &QNetworkReply::metaDataChanged, this, [this, reply] {
        if (const QByteArray coding = contentCoding(reply); !coding.isEmpty() && statusOf(reply) == 200) {
            limitReached(QStringLiteral("Segment download refused: the agent coded it as %1, which was not "
                                        "asked for")
                             .arg(QString::fromLatin1(coding.left(64))));
        }
    });
    auto writeChunk = [this, reply] {
        if (statusOf(reply) != 200 || !m_segment || !m_limitFailure.isEmpty()) {
            return;
        }
        const QByteArray chunk = reply->readAll();
        if (m_segment->write(chunk) != chunk.size()) {
            m_writeError = m_segment->errorString();
            m_segment->cancelWriting();
            reply->abort();
        }
    };
    connect(reply, &QNetworkReply::readyRead, this, writeChunk);
    connect(reply, &QNetworkReply::finished, this, [this, reply, writeChunk] {
        reply->deleteLater();
        writeChunk();
        // Whatever ends here unfinished leaves no file: the segment is only written by the commit below.
        const auto fail = [this](const QuorvantileRenderFileResult& failure) {
            m_segment->cancelWriting();
            m_segment.reset(); // removes the temporary file
            end(failure);
        };
        const int status = statusOf(reply);
        if (const QString limit = settle(m_segment->size()); !limit.isEmpty()) {
            fail(QuorvantileRenderFileResult::failure(limit));
            return;
        }
        if (!m_writeError.isEmpty()) {
            fail(QuorvantileRenderFileResult::failure(
                QStringLiteral("Could not write %1: %2").arg(m_segmentPath, m_writeError)));
            return;
        }
        if (reply->error() != QNetworkReply::NoError && status < 0) {
            fail(QuorvantileRenderFileResult::failure(reply->errorString()));
            return;
        }
        if (status != 200 || m_segment->size() == 0) {
            fail(QuorvantileRenderFileResult::failure(QuorvantileRenderError::remoteFailed));
            return;
        }
        // A "200" says nothing of how the body ended: a transfer error after the head (the agent crashed or
        // its link dropped while sending), or fewer bytes than announced, is a failed download.
        if (reply->error() != QNetworkReply::NoError) {
            fail(QuorvantileRenderFileResult::failure(
                QStringLiteral("Segment download cut short: %1").arg(reply->errorString())));
            return;
        }
        if (const std::optional<qint64> announced = announcedLength(reply);
            announced && *announced != m_segment->size()) {
            fail(QuorvantileRenderFileResult::failure(
                QStringLiteral("Segment download cut short: %1 of %2 bytes")
                    .arg(m_segment->size())
                    .arg(*announced)));
            return;
        }
        if (!m_segment->commit()) {
            end(QuorvantileRenderFileResult::failure(
                QStringLiteral("Could not write %1: %2").arg(m_segmentPath, m_segment->errorString())));
            return;
        }
        m_hooks.segmentStatus(QuorvantileRenderStatus::complete);
        end(QuorvantileRenderFileResult::success(m_segmentPath));
    });
}

void QuorvantileRenderHttpDispatch::cancel()
{
    if (m_ended) {
        return;
    }
    m_pollTimer.stop();
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
        m_reply->deleteLater();
    }
    if (m_segment) {
        m_segment->cancelWriting();
    }
    end(QuorvantileRenderFileResult::cancellation());
}

void QuorvantileRenderHttpDispatch::end(QuorvantileRenderFileResult result)
{
    if (m_ended) {
        return;
    }
    m_ended = true;
    m_pollTimer.stop();
    m_requestLimit.stop();
    if (finished) {
        finished(result);
    }
}

} // namespace ostrel
