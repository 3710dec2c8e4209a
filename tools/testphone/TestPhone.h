#pragma once

#include "CaptureTransfer.h"
#include "PeerLink.h"

#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <atomic>
#include <memory>
#include <optional>

namespace tovarine::test {

// Plays the phone's side of one capture transfer for tests and for people trying the receiver: advertises
// the "tovarine-pair" service, accepts the computer's invitation, sends the manifest, preview frames and the
// frame files, and collects what comes back (ready, progress, result header, the model, errors).
// GUI thread; the transport's callbacks are handed to it.
class TestPhone : public QObject, private PeerAdvertiserDelegate, private PeerSessionDelegate
{
    Q_OBJECT
public:
    struct Frame
    {
        QString filename; // the name the frame takes on the computer
        QString path;     // the file sent
    };

    struct Script
    {
        QString stamp = QStringLiteral("S1");
        QString detail = QStringLiteral("full");
        QList<Frame> frames;
        std::optional<qint64> frameCount;     // the manifest's count; frames.size() unless set
        std::optional<QString> manifestStamp; // the manifest's stamp; `stamp` unless set
        std::optional<QString> resourceStamp; // the stamp in the frames' resource names; `stamp` unless set
        bool sendManifest = true;
        bool previews = true; // a preview before the manifest, after each frame and after ready
        std::optional<int> cancelAfterFrames; // leave the session after this many frames were delivered
        bool declineInvitation = false;
        // Further captures sent back to back after the first: the same frames again under each stamp. The
        // exchange is over once every stamp has its model or an error.
        QStringList moreStamps;
    };

    struct Outcome
    {
        bool connected = false;
        std::optional<CaptureReadyAck> ready;
        QList<ReconstructionProgress> progress;
        std::optional<ReconstructionResultHeader> result;
        QString modelPath; // the model received, in the phone's own folder
        QList<ReconstructionErrorMessage> errors;
        QList<QString> frameSendErrors;
        int framesDelivered = 0; // frames the computer has whole
        QStringList order; // kinds in arrival order, "model" for the model resource
        // "<kind> <stamp>" in arrival order ("model <stamp>" for a model), progress with " · <message>"
        QStringList timeline;
        QMap<QString, QString> models; // stamp → the model received, in the phone's own folder
        bool cancelled = false;
    };

    TestPhone(PeerTransport& transport, const QString& displayName, const QString& workDir, Script script,
              QObject* parent = nullptr);
    ~TestPhone() override;

    void start();
    // For tests that play a step by hand: one data message or one resource to the computer.
    void sendData(const QByteArray& data);
    // `done` (optional) is called on a transport thread when the computer has the file or the transfer
    // failed.
    void sendResource(const QString& path, const QString& name, PeerSession::ResourceCompletion done = {});
    const Outcome& outcome() const { return m_outcome; }
    bool isFinished() const { return m_finished; }
    PeerIdentity peer() const { return m_local; }

signals:
    // The exchange is over: the model arrived, an error came, or the phone cancelled.
    void finished();

private:
    void didReceiveInvitation(const PeerIdentity& from, std::function<void(PeerSession*)> answer) override;
    void didNotStartAdvertising(const PeerError& error) override;
    void peerDidChangeState(const PeerIdentity& peer, PeerSessionState state) override;
    void didReceiveData(const QByteArray& data, const PeerIdentity& peer) override;
    void didStartReceivingResource(const QString& name, const PeerIdentity& peer) override;
    void didFinishReceivingResource(const QString& name, const PeerIdentity& peer, const QString& localPath,
                                    const std::optional<PeerError>& error) override;

    void sendCapture();
    // The manifest of the n-th capture (0: the first, then the further ones of the script).
    void sendManifest(int capture);
    QStringList stamps() const;
    // Every stamp has its model or an error.
    bool allAnswered() const;
    void sendPreview(int index);
    void sendNextFrame();
    void finish();

    PeerIdentity m_local;
    QString m_workDir;
    Script m_script;
    std::unique_ptr<PeerSession> m_session;
    std::unique_ptr<PeerAdvertiser> m_advertiser;
    PeerIdentity m_computer; // GUI thread
    std::atomic<bool> m_invited = false;
    int m_nextFrame = 0; // of every capture's frames in turn
    int m_manifestsSent = 0;
    int m_delivered = 0;
    int m_inFlight = 0;
    bool m_finished = false;
    Outcome m_outcome;
};

} // namespace tovarine::test
