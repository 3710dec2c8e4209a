#include "TestPhone.h"

#include <QDir>
#include <QFile>

namespace tovarine::test {

TestPhone::TestPhone(PeerTransport& transport, const QString& displayName, const QString& workDir,
                     Script script, QObject* parent)
    : QObject(parent), m_local(displayName), m_workDir(workDir), m_script(std::move(script))
{
    QDir().mkpath(m_workDir);
    m_session = transport.makeSession(m_local, QDir(m_workDir).filePath(QStringLiteral("incoming")));
    m_session->setDelegate(this);
    m_advertiser = transport.makeAdvertiser(m_local, QStringLiteral("tovarine-pair"));
    m_advertiser->setDelegate(this);
}

TestPhone::~TestPhone()
{
    m_advertiser.reset();
    m_session.reset();
}

void TestPhone::start()
{
    m_advertiser->startAdvertising();
}

void TestPhone::didReceiveInvitation(const PeerIdentity&, std::function<void(PeerSession*)> answer)
{
    // One computer per capture: later invitations are declined.
    const bool decline = m_script.declineInvitation || m_invited.exchange(true);
    answer(decline ? nullptr : m_session.get());
}

void TestPhone::didNotStartAdvertising(const PeerError& error)
{
    QMetaObject::invokeMethod(this, [this, error] {
        m_outcome.errors.append({m_script.stamp, QStringLiteral("advertising: ") + error.description});
        finish();
    });
}

void TestPhone::peerDidChangeState(const PeerIdentity& peer, PeerSessionState state)
{
    QMetaObject::invokeMethod(this, [this, peer, state] {
        if (state == PeerSessionState::connected && !m_outcome.connected) {
            m_computer = peer;
            m_outcome.connected = true;
            sendCapture();
        }
    });
}

void TestPhone::didReceiveData(const QByteArray& data, const PeerIdentity&)
{
    QMetaObject::invokeMethod(this, [this, data] {
        const auto envelope = CaptureTransferEnvelope::decode(data);
        if (!envelope) {
            return;
        }
        m_outcome.order.append(kindName(envelope->kind));
        switch (envelope->kind) {
        case CaptureTransferKind::ready:
            m_outcome.ready = decodeReadyAck(envelope->payload);
            if (m_outcome.ready) {
                m_outcome.timeline.append(QStringLiteral("ready ") + m_outcome.ready->stamp);
            }
            if (m_script.previews) {
                sendPreview(-1); // previews may come at any time, also while the computer works
            }
            break;
        case CaptureTransferKind::progress:
            if (const auto progress = decodeProgress(envelope->payload)) {
                m_outcome.progress.append(*progress);
                m_outcome.timeline.append(
                    QStringLiteral("progress %1 · %2").arg(progress->stamp, progress->message));
            }
            break;
        case CaptureTransferKind::result:
            m_outcome.result = decodeResultHeader(envelope->payload);
            if (m_outcome.result) {
                m_outcome.timeline.append(QStringLiteral("result ") + m_outcome.result->stamp);
            }
            break;
        case CaptureTransferKind::error:
            if (const auto error = decodeErrorMessage(envelope->payload)) {
                m_outcome.errors.append(*error);
                m_outcome.timeline.append(QStringLiteral("error ") + error->stamp);
            }
            if (m_script.moreStamps.isEmpty() || allAnswered()) {
                finish();
            }
            break;
        case CaptureTransferKind::manifest:
            break;
        }
    });
}

void TestPhone::didStartReceivingResource(const QString&, const PeerIdentity&) {}

void TestPhone::didFinishReceivingResource(const QString& name, const PeerIdentity&, const QString& localPath,
                                           const std::optional<PeerError>& error)
{
    QMetaObject::invokeMethod(this, [this, name, localPath, error] {
        const auto stamp = std::find_if(m_script.moreStamps.cbegin(), m_script.moreStamps.cend(),
                                        [&](const QString& s) { return name == resultResourceName(s); });
        if (error || localPath.isEmpty() ||
            (name != resultResourceName(m_script.stamp) && stamp == m_script.moreStamps.cend())) {
            QFile::remove(localPath);
            return;
        }
        const bool first = name == resultResourceName(m_script.stamp);
        const QString modelStamp = first ? m_script.stamp : *stamp;
        m_outcome.order.append(QStringLiteral("model"));
        m_outcome.timeline.append(QStringLiteral("model ") + modelStamp);
        // The first capture's model is model.usdz; the others' are named by their place in the script.
        const QString path = QDir(m_workDir).filePath(
            first ? QStringLiteral("model.usdz")
                  : QStringLiteral("model-%1.usdz").arg(stamp - m_script.moreStamps.cbegin() + 2));
        QFile::remove(path);
        QFile::rename(localPath, path);
        m_outcome.models.insert(modelStamp, path);
        if (first) {
            m_outcome.modelPath = path;
        }
        if (allAnswered()) {
            finish();
        }
    });
}

QStringList TestPhone::stamps() const
{
    return QStringList{m_script.stamp} + m_script.moreStamps;
}

bool TestPhone::allAnswered() const
{
    const QStringList all = stamps();
    return std::all_of(all.cbegin(), all.cend(), [this](const QString& stamp) {
        return m_outcome.models.contains(stamp) ||
               std::any_of(m_outcome.errors.cbegin(), m_outcome.errors.cend(),
                           [&](const ReconstructionErrorMessage& e) { return e.stamp == stamp; });
    });
}

void TestPhone::sendCapture()
{
    if (m_script.previews) {
        sendPreview(0);
    }
    sendManifest(m_manifestsSent++);
    sendNextFrame();
}

void TestPhone::sendManifest(int capture)
{
    if (m_script.sendManifest) {
        CaptureManifest manifest;
        manifest.stamp =
            capture > 0 ? m_script.moreStamps[capture - 1] : m_script.manifestStamp.value_or(m_script.stamp);
        manifest.frameCount = m_script.frameCount.value_or(m_script.frames.size());
        for (const Frame& frame : std::as_const(m_script.frames)) {
            manifest.frames.append(frame.filename);
        }
        manifest.detail = m_script.detail;
        manifest.createdAt = QDateTime::currentDateTimeUtc();
        manifest.clientVersion = QStringLiteral("test-phone 1");
        const auto envelope = CaptureTransferEnvelope::make(CaptureTransferKind::manifest, manifest);
        if (envelope) {
            m_session->send(envelope->encode(), m_computer);
        }
    }
}

void TestPhone::sendData(const QByteArray& data)
{
    m_session->send(data, m_computer);
}

void TestPhone::sendResource(const QString& path, const QString& name, PeerSession::ResourceCompletion done)
{
    m_session->sendResource(path, name, m_computer, [done](const std::optional<PeerError>& error) {
        if (done) {
            done(error);
        }
    });
}

void TestPhone::sendPreview(int index)
{
    // Preview frames are raw JPEG bytes, not envelopes.
    QByteArray preview("\xff\xd8\xff\xe0preview ", 12);
    preview += QByteArray::number(index);
    m_session->send(preview, m_computer);
}

void TestPhone::sendNextFrame()
{
    // Frames go a few at a time, as a phone queues them; one at a time when the script cancels part-way.
    const int inFlightLimit = m_script.cancelAfterFrames ? 1 : 4;
    if (m_finished || m_inFlight >= inFlightLimit) {
        return;
    }
    if (m_script.cancelAfterFrames && m_delivered >= *m_script.cancelAfterFrames) {
        m_outcome.cancelled = true;
        m_session->disconnect();
        finish();
        return;
    }
    const qsizetype perCapture = m_script.frames.size();
    const int captures = 1 + static_cast<int>(m_script.moreStamps.size());
    // Each capture's manifest goes just before its first frame (also for a capture without frames).
    const int capture = perCapture == 0 ? captures : static_cast<int>(m_nextFrame / perCapture);
    while (m_manifestsSent < captures && m_manifestsSent <= std::min(capture, captures - 1)) {
        sendManifest(m_manifestsSent++);
    }
    if (m_nextFrame >= perCapture * captures) {
        return;
    }
    const Frame frame = m_script.frames[m_nextFrame % perCapture];
    ++m_nextFrame;
    ++m_inFlight;
    const QString name = captureResourceName(capture > 0 ? m_script.moreStamps[capture - 1]
                                                         : m_script.resourceStamp.value_or(m_script.stamp),
                                             frame.filename);
    m_session->sendResource(
        frame.path, name, m_computer, [this, name](const std::optional<PeerError>& error) {
            QMetaObject::invokeMethod(this, [this, name, error] {
                --m_inFlight;
                if (error) {
                    m_outcome.frameSendErrors.append(name + QStringLiteral(": ") + error->description);
                } else {
                    ++m_delivered;
                    m_outcome.framesDelivered = m_delivered;
                }
                if (m_script.previews) {
                    sendPreview(m_delivered);
                }
                sendNextFrame();
            });
        });
    sendNextFrame();
}

void TestPhone::finish()
{
    if (m_finished) {
        return;
    }
    m_finished = true;
    emit finished();
}

} // namespace tovarine::test
