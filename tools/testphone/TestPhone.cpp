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
            if (m_script.previews) {
                sendPreview(-1); // previews may come at any time, also while the computer works
            }
            break;
        case CaptureTransferKind::progress:
            if (const auto progress = decodeProgress(envelope->payload)) {
                m_outcome.progress.append(*progress);
            }
            break;
        case CaptureTransferKind::result:
            m_outcome.result = decodeResultHeader(envelope->payload);
            break;
        case CaptureTransferKind::error:
            if (const auto error = decodeErrorMessage(envelope->payload)) {
                m_outcome.errors.append(*error);
            }
            finish();
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
        if (error || localPath.isEmpty() || name != resultResourceName(m_script.stamp)) {
            QFile::remove(localPath);
            return;
        }
        m_outcome.order.append(QStringLiteral("model"));
        m_outcome.modelPath = QDir(m_workDir).filePath(QStringLiteral("model.usdz"));
        QFile::remove(m_outcome.modelPath);
        QFile::rename(localPath, m_outcome.modelPath);
        finish();
    });
}

void TestPhone::sendCapture()
{
    if (m_script.previews) {
        sendPreview(0);
    }
    if (m_script.sendManifest) {
        CaptureManifest manifest;
        manifest.stamp = m_script.manifestStamp.value_or(m_script.stamp);
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
    sendNextFrame();
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
    if (m_nextFrame >= m_script.frames.size()) {
        return;
    }
    const Frame frame = m_script.frames[m_nextFrame++];
    ++m_inFlight;
    const QString name = captureResourceName(m_script.resourceStamp.value_or(m_script.stamp), frame.filename);
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
