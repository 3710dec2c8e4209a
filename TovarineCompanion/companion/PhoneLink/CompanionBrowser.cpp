#include "CompanionBrowser.h"

#include "CompanionReconstructor.h"
#include "OstrelFileNames.h"
#include "TcpPeerTransport.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QSysInfo>
#include <cmath>
#include <limits>

namespace tovarine {
namespace {

// Browsing fails with this code when the system refuses access to the local network.
constexpr int kLocalNetworkDeniedCode = -72008;

void logLine(const QString& line)
{
    qInfo().noquote() << line;
}

// The whole percentage of a finite fraction, as text (no integer conversion, so any finite value is safe).
QString percentText(double fraction)
{
    double percent = std::trunc(fraction * 100.0);
    if (percent == 0.0) {
        percent = 0.0; // no "-0"
    }
    return QString::number(percent, 'f', 0);
}

} // namespace

Expected<void, QString> moveReceivedFile(const QString& from, const QString& to)
{
    const QFileInfo existing(to);
    if (existing.isDir() && !existing.isSymLink()) {
        QDir(to).removeRecursively();
    } else if (existing.exists() || existing.isSymLink()) {
        QFile::remove(to);
    }
    if (QFile::rename(from, to)) {
        return {};
    }
    QFile source(from);
    if (!source.copy(to)) {
        const QString reason = source.errorString();
        QFile::remove(to);
        return unexpected(reason);
    }
    QFile::remove(from);
    return {};
}

ServerStatus ServerStatus::receiving(const QString& stamp, qint64 received, qint64 expected,
                                     const QString& peerName)
{
    return {Kind::receiving, stamp, received, expected, 0.0, peerName};
}

ServerStatus ServerStatus::waiting(const QString& stamp, const QString& peerName)
{
    return {Kind::waiting, stamp, 0, 0, 0.0, peerName};
}

ServerStatus ServerStatus::reconstructing(const QString& stamp, double fraction, const QString& peerName)
{
    return {Kind::reconstructing, stamp, 0, 0, fraction, peerName};
}

ServerStatus ServerStatus::sending(const QString& stamp, const QString& peerName)
{
    return {Kind::sending, stamp, 0, 0, 0.0, peerName};
}

ServerStatus ServerStatus::idle()
{
    return {};
}

bool ServerStatus::operator==(const ServerStatus& other) const
{
    return kind == other.kind && stamp == other.stamp && received == other.received &&
           expected == other.expected && fraction == other.fraction && peerName == other.peerName;
}

QString withoutLocalPaths(const QString& text, const CaptureForPhone& capture, const QString& fallback)
{
    QString said = text;
    // The longer folder first: the images folder lies inside the capture's folder. Each with a trailing
    // separator too, so no "/" is left behind.
    const std::pair<QString, QString> names[] = {
        {QDir::cleanPath(capture.imagesFolder), QStringLiteral("the frames of capture ") + capture.stamp},
        {QDir::cleanPath(capture.folder), QStringLiteral("capture ") + capture.stamp},
    };
    for (const auto& [folder, name] : names) {
        if (folder.isEmpty() || folder == QLatin1String(".")) {
            continue;
        }
        // "<folder>/" at the end of a word is the folder itself; before a name, the name follows a colon.
        said.replace(QRegularExpression(QRegularExpression::escape(folder) +
                                        QStringLiteral("/?(?=$|[\\s,;:)]|\\.(?:\\s|$))")),
                     name);
        said.replace(folder + QLatin1Char('/'), name + QStringLiteral(": "));
        said.replace(folder, name);
    }
    if (said.contains(QLatin1Char('/')) || said.contains(QLatin1Char('\\'))) {
        return fallback;
    }
    return said;
}

QString friendlyReason(const QString& driverMessage, const CaptureForPhone& capture)
{
    const QString lowered = driverMessage.toLower();
    if (lowered.contains(QLatin1String("not enough")) || lowered.contains(QLatin1String("sample"))) {
        return QStringLiteral("Not enough usable frames — try scanning slower so the camera stays sharp.");
    }
    return withoutLocalPaths(
        QStringLiteral("Reconstruction failed: ") + driverMessage, capture,
        QStringLiteral("Reconstruction failed: capture %1 could not be reconstructed from its %2 frames.")
            .arg(capture.stamp, QString::number(capture.frames)));
}

Expected<CompanionBrowser::Environment, QString>
CompanionBrowser::defaultEnvironment(PhotogrammetrySessionFactory sessionFactory)
{
    Expected<std::shared_ptr<TcpPeerTransport>, QString> transport = TcpPeerTransport::makeDefault();
    if (!transport) {
        return unexpected(transport.error());
    }
    return Environment{*transport, std::move(sessionFactory),
                       QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
                           .filePath(QStringLiteral("TovarineCompanion")),
                       QSysInfo::machineHostName()};
}

CompanionBrowser::CompanionBrowser(Environment environment, QObject* parent)
    : QObject(parent), m_environment(std::move(environment)),
      m_peerID(m_environment.displayName.isEmpty() ? QStringLiteral("computer") : m_environment.displayName),
      m_inboxRoot(QDir(m_environment.dataDir).filePath(QStringLiteral("Inbox"))),
      m_incomingDir(QDir(m_environment.dataDir).filePath(QStringLiteral("Incoming")))
{
    QDir().mkpath(m_inboxRoot); // a failure shows when the first frame cannot be stored
}

CompanionBrowser::~CompanionBrowser()
{
    {
        QMutexLocker lock(&m_backlogMutex);
        m_closing = true;
    }
    // The transport objects go first: their destruction waits out callbacks that are under way.
    m_browser.reset();
    m_session.reset();
}

PeerSession& CompanionBrowser::session()
{
    if (!m_session) {
        m_session = m_environment.transport->makeSession(m_peerID, m_incomingDir);
        m_session->setDelegate(this);
    }
    return *m_session;
}

PeerBrowser& CompanionBrowser::browser()
{
    if (!m_browser) {
        m_browser = m_environment.transport->makeBrowser(m_peerID, kServiceType);
        m_browser->setDelegate(this);
    }
    return *m_browser;
}

void CompanionBrowser::onMain(std::function<void()> work)
{
    QMetaObject::invokeMethod(this, std::move(work), Qt::QueuedConnection);
}

void CompanionBrowser::onMainFrom(const PeerIdentity& peer, qint64 bytes, std::function<void()> work)
{
    {
        // The session is told under the lock, so a hold and the lift that follows it reach the transport in
        // that order, and never once the session is going (see the destructor).
        QMutexLocker lock(&m_backlogMutex);
        m_backlogBytes += bytes;
        ++m_backlogItems;
        m_peakBacklogBytes = std::max(m_peakBacklogBytes, m_backlogBytes);
        if ((m_backlogBytes >= kMaxBacklogBytes || m_backlogItems >= kMaxBacklogItems) &&
            !m_heldPeers.contains(peer) && !m_closing) {
            m_heldPeers.insert(peer);
            logLine(QStringLiteral("tovarine: holding back peer %1 until the computer catches up")
                        .arg(peer.displayName()));
            m_session->setReceivingHeld(peer, true); // in force before the transport's next callback
        }
    }
    onMain([this, bytes, work = std::move(work)] {
        work();
        backlogDone(bytes);
    });
}

void CompanionBrowser::backlogDone(qint64 bytes)
{
    QMutexLocker lock(&m_backlogMutex);
    m_backlogBytes -= bytes;
    --m_backlogItems;
    if (m_heldPeers.isEmpty() || m_closing || m_backlogBytes > kMaxBacklogBytes / 2 ||
        m_backlogItems > kMaxBacklogItems / 2) {
        return;
    }
    for (const PeerIdentity& peer : std::as_const(m_heldPeers)) {
        logLine(QStringLiteral("tovarine: taking from peer %1 again").arg(peer.displayName()));
        m_session->setReceivingHeld(peer, false); // posted: never waits for the transport
    }
    m_heldPeers.clear();
}

qint64 CompanionBrowser::backlogBytes() const
{
    QMutexLocker lock(&m_backlogMutex);
    return m_backlogBytes;
}

qint64 CompanionBrowser::peakBacklogBytes() const
{
    QMutexLocker lock(&m_backlogMutex);
    return m_peakBacklogBytes;
}

void CompanionBrowser::setStatus(const ServerStatus& status)
{
    m_status = status;
    emit statusChanged(m_status);
}

void CompanionBrowser::invite(const PeerIdentity& peer)
{
    logLine(QStringLiteral("tovarine: inviting peer ") + peer.displayName());
    browser().invitePeer(peer, session(), kInvitationTimeoutMs);
}

// ---------------------------------------------------------------------------------------------------------
// Transport callbacks (transport thread): decode, then hand over to the GUI thread.

void CompanionBrowser::foundPeer(const PeerIdentity& peer)
{
    logLine(QStringLiteral("tovarine: browser foundPeer ") + peer.displayName());
    onMain([this, peer] {
        if (m_localNetworkDenied) {
            m_localNetworkDenied = false;
            emit localNetworkDeniedChanged();
        }
        const bool listed =
            std::any_of(m_discoveredPeers.cbegin(), m_discoveredPeers.cend(),
                        [&](const PeerIdentity& p) { return p.displayName() == peer.displayName(); });
        if (!listed) {
            m_discoveredPeers.append(peer);
            emit discoveredPeersChanged();
        }
        if (!m_connectedPeer) {
            invite(peer);
        }
    });
}

void CompanionBrowser::lostPeer(const PeerIdentity& peer)
{
    const QString name = peer.displayName();
    onMain([this, name] {
        const qsizetype removed =
            m_discoveredPeers.removeIf([&](const PeerIdentity& p) { return p.displayName() == name; });
        if (removed > 0) {
            emit discoveredPeersChanged();
        }
    });
}

void CompanionBrowser::didNotStartBrowsing(const PeerError& error)
{
    logLine(QStringLiteral("tovarine: browser didNotStart — %1 %2: %3")
                .arg(error.domain, QString::number(error.code), error.description));
    const bool denied = error.code == kLocalNetworkDeniedCode;
    onMain([this, denied] {
        if (m_localNetworkDenied != denied) {
            m_localNetworkDenied = denied;
            emit localNetworkDeniedChanged();
        }
    });
}

void CompanionBrowser::peerDidChangeState(const PeerIdentity& peer, PeerSessionState state)
{
    logLine(QStringLiteral("tovarine: browser session didChange state=%1 peer=%2")
                .arg(QString::number(static_cast<int>(state)), peer.displayName()));
    const QString name = peer.displayName();
    onMain([this, state, name, peer] {
        if (state == PeerSessionState::connected) {
            m_sessionPeers.insert(peer);
            m_connectedPeer = PeerIdentity(name);
            emit connectedPeerChanged();
            return;
        }
        m_sessionPeers.remove(peer);
        // Only the peer's own leaving ends what is shown of it: another peer connecting meanwhile does not.
        if (m_connectedPeer && m_connectedPeer->displayName() == name) {
            m_connectedPeer.reset();
            emit connectedPeerChanged();
        }
        if (m_status.kind == ServerStatus::Kind::receiving && m_status.peerName == name) {
            setStatus(ServerStatus::idle());
        }
        dropWaitingCapturesOf(peer);
        m_lastTurn.remove(peer);
    });
}

void CompanionBrowser::didReceiveData(const QByteArray& data, const PeerIdentity& peer)
{
    const std::optional<CaptureTransferEnvelope> envelope = CaptureTransferEnvelope::decode(data);
    if (!envelope) {
        onMainFrom(peer, data.size(), [this, data] {
            m_latestFrame = data;
            emit latestFrameChanged();
        });
        return;
    }
    if (envelope->kind != CaptureTransferKind::manifest) {
        return;
    }
    // The frame names are never read: a long list is not kept beyond the decoding.
    const std::optional<CaptureManifest> manifest = decodeManifest(envelope->payload, false);
    if (manifest) {
        onMainFrom(peer, data.size(), [this, manifest = *manifest, peer] { beginInbox(manifest, peer); });
    }
}

void CompanionBrowser::didStartReceivingResource(const QString&, const PeerIdentity&) {}

void CompanionBrowser::didFinishReceivingResource(const QString& name, const PeerIdentity& peer,
                                                  const QString& localPath,
                                                  const std::optional<PeerError>& error)
{
    if (localPath.isEmpty()) {
        return;
    }
    const std::optional<ResourceName> parsed = parseResourceName(name);
    if (error || !parsed || parsed->kind != QLatin1String("capture") || !isSafePathComponent(parsed->stamp) ||
        !isSafePathComponent(parsed->filename)) {
        QFile::remove(localPath);
        return;
    }
    // The file waits on disk, not in memory, but a peer sending small frames quickly must be held back too.
    const qint64 bytes = QFileInfo(localPath).size() + name.size();
    onMainFrom(peer, bytes, [this, stamp = parsed->stamp, filename = parsed->filename, localPath, peer] {
        handleFrame(stamp, filename, localPath, peer);
    });
}

// ---------------------------------------------------------------------------------------------------------
// GUI thread

void CompanionBrowser::beginInbox(const CaptureManifest& manifest, const PeerIdentity& peer)
{
    if (!isSafePathComponent(manifest.stamp)) {
        sendError(manifest.stamp, QStringLiteral("Capture refused: its name can't be used as a folder name."),
                  peer);
        return;
    }
    if (manifest.frameCount < 0 || manifest.frameCount > kMaxFrameCount) {
        sendError(manifest.stamp,
                  QStringLiteral("Capture refused: a capture holds at most %1 frames.").arg(kMaxFrameCount),
                  peer);
        return;
    }
    const auto open = m_inboxes.constFind(manifest.stamp);
    if (open != m_inboxes.cend() && open->stage == Inbox::Stage::reconstructing) {
        return; // one reconstruction per stamp: this capture's model is on its way
    }
    if (open != m_inboxes.cend() && !(open->peer == peer) && m_sessionPeers.contains(open->peer)) {
        sendError(manifest.stamp,
                  QStringLiteral("Capture refused: another phone is sending a capture of that name."), peer);
        return;
    }
    closeCapture(manifest.stamp); // replaced by this one
    closeCapturesFor(peer);
    Inbox inbox;
    inbox.frameCount = manifest.frameCount;
    inbox.detail = manifest.detail;
    inbox.folder = claimFolder(manifest.stamp);
    if (inbox.folder.isEmpty()) {
        sendError(manifest.stamp, QStringLiteral("Capture refused: no free folder name for it."), peer);
        return;
    }
    inbox.imagesPath = QDir(inbox.folder).filePath(QStringLiteral("Images"));
    inbox.peer = peer;
    inbox.generation = m_nextGeneration++;
    QDir().mkpath(inbox.imagesPath); // a failure shows when the first frame cannot be stored
    m_inboxes.insert(manifest.stamp, inbox);
    setStatus(ServerStatus::receiving(manifest.stamp, 0, manifest.frameCount, peer.displayName()));
}

void CompanionBrowser::closeCapturesFor(const PeerIdentity& peer)
{
    // The oldest open capture (not yet reconstructing) for which `fits` holds, and how many there are.
    const auto oldest = [this](const auto& fits) {
        QString stamp;
        quint64 generation = 0;
        int count = 0;
        for (auto it = m_inboxes.cbegin(); it != m_inboxes.cend(); ++it) {
            if (it->stage != Inbox::Stage::receiving || !fits(*it)) {
                continue;
            }
            ++count;
            if (stamp.isNull() || it->generation < generation) {
                stamp = it.key();
                generation = it->generation;
            }
        }
        return std::pair{stamp, count};
    };
    for (;;) {
        const auto [stamp, count] = oldest([&](const Inbox& inbox) { return inbox.peer == peer; });
        if (count < kMaxOpenCapturesPerPhone) {
            break;
        }
        closeCapture(stamp);
    }
    while (m_inboxes.size() >= kMaxOpenCaptures) {
        const auto [stamp, count] =
            oldest([&](const Inbox& inbox) { return !m_sessionPeers.contains(inbox.peer); });
        if (count == 0) {
            break; // every open capture's phone is connected, each with a few at most
        }
        closeCapture(stamp);
    }
}

void CompanionBrowser::closeCapture(const QString& stamp)
{
    const auto found = m_inboxes.find(stamp);
    if (found == m_inboxes.end()) {
        return;
    }
    logLine(QStringLiteral("tovarine: closing capture %1 of %2 (%3 frames received)")
                .arg(stamp, found->peer.displayName(), QString::number(found->receivedFrames)));
    // rmdir removes only empty folders: frames that came stay where they are.
    QDir().rmdir(found->imagesPath);
    QDir().rmdir(found->folder);
    const bool wasWaiting = found->stage == Inbox::Stage::waiting;
    m_inboxes.erase(found);
    if (wasWaiting) {
        m_line.removeAll(stamp);
        if (m_status.kind == ServerStatus::Kind::waiting && m_status.stamp == stamp) {
            showCurrentWork();
        }
    }
}

void CompanionBrowser::dropWaitingCapturesOf(const PeerIdentity& peer)
{
    // Also a capture whose last frame is in but that has not joined the line yet.
    QStringList waiting;
    for (auto it = m_inboxes.cbegin(); it != m_inboxes.cend(); ++it) {
        if (it->stage == Inbox::Stage::waiting && it->peer == peer) {
            waiting.append(it.key());
        }
    }
    for (const QString& stamp : std::as_const(waiting)) {
        closeCapture(stamp);
    }
}

QString captureFolderName(const QString& stamp, int n)
{
    if (n == 1) {
        return stamp;
    }
    const QString suffix = QLatin1Char(' ') + QString::number(n);
    // The stamp gives up its last characters (whole ones, never half of a UTF-8 sequence) so that the name
    // with its suffix still fits: a stamp may take the whole of a file name's bytes.
    QString head = stamp;
    qsizetype bytes = head.toUtf8().size();
    while (!head.isEmpty() && bytes + suffix.size() > kMaxFileNameBytes) {
        const qsizetype cut =
            head.size() >= 2 && head.back().isLowSurrogate() && head.at(head.size() - 2).isHighSurrogate()
                ? 2
                : 1;
        bytes -= head.last(cut).toUtf8().size();
        head.chop(cut);
    }
    return head + suffix;
}

QString CompanionBrowser::claimFolder(const QString& stamp) const
{
    QDir().mkpath(m_inboxRoot);
    for (int n = 1; n <= kMaxFolderSuffix; ++n) {
        // Joined as text: a stamp beginning with ':' names a folder in the inbox, not a resource.
        const QString folder = ostrel::OstrelFileNames::childPath(m_inboxRoot, captureFolderName(stamp, n));
        // mkdir fails when the name is taken: an earlier capture's folder (or anything else) is never reused.
        if (QDir().mkdir(folder)) {
            return folder;
        }
        const QFileInfo taken(folder);
        if (!taken.exists() && !taken.isSymLink()) {
            return folder; // the folder cannot be made at all: the first frame reports it
        }
    }
    return {};
}

void CompanionBrowser::handleFrame(const QString& stamp, const QString& filename, const QString& temp,
                                   const PeerIdentity& from)
{
    const auto found = m_inboxes.find(stamp);
    // Only the phone that opened the capture fills it, until its frames are all in.
    if (found == m_inboxes.end() || found->stage != Inbox::Stage::receiving || !(found->peer == from)) {
        QFile::remove(temp);
        return;
    }
    Inbox& inbox = *found;
    const Expected<void, QString> moved =
        moveReceivedFile(temp, ostrel::OstrelFileNames::childPath(inbox.imagesPath, filename));
    if (!moved) {
        QFile::remove(temp);
        // The reason names this computer's folders: it stays in the log, and the phone hears which frame of
        // which capture was lost.
        logLine(QStringLiteral("CompanionBrowser: couldn't save frame %1 of capture %2: %3")
                    .arg(filename, stamp, moved.error()));
        sendError(stamp,
                  QStringLiteral("Computer couldn't save a frame: %1 of capture %2 could not be stored.")
                      .arg(filename, stamp),
                  inbox.peer);
        m_inboxes.erase(found);
        setStatus(ServerStatus::idle());
        return;
    }
    ++inbox.receivedFrames;
    setStatus(
        ServerStatus::receiving(stamp, inbox.receivedFrames, inbox.frameCount, inbox.peer.displayName()));
    if (inbox.receivedFrames >= inbox.frameCount) {
        inbox.stage = Inbox::Stage::waiting;
        const quint64 generation = inbox.generation;
        onMain([this, stamp, generation] {
            const auto complete = m_inboxes.constFind(stamp);
            if (complete != m_inboxes.cend() && complete->generation == generation &&
                complete->stage == Inbox::Stage::waiting) {
                framesComplete(stamp);
            }
        });
    }
}

void CompanionBrowser::framesComplete(const QString& stamp)
{
    const Inbox& inbox = m_inboxes[stamp];
    sendEnvelope(CaptureTransferKind::ready, CaptureReadyAck{stamp, inbox.receivedFrames}, inbox.peer);
    m_line.append(stamp);
    if (m_running) {
        setStatus(ServerStatus::waiting(stamp, inbox.peer.displayName()));
        sendEnvelope(CaptureTransferKind::progress,
                     ReconstructionProgress{stamp, 0.0,
                                            QStringLiteral("Waiting on computer · another capture "
                                                           "is being reconstructed")},
                     inbox.peer);
        return;
    }
    runNextReconstruction();
}

void CompanionBrowser::runNextReconstruction()
{
    if (m_running || m_line.isEmpty()) {
        return;
    }
    // Phones take turns: the first capture in line of the phone whose last turn is longest ago (a phone
    // that has had none before all), so a phone sending captures faster than they finish never keeps
    // another phone's capture waiting behind its own.
    qsizetype next = 0;
    quint64 oldest = std::numeric_limits<quint64>::max();
    for (qsizetype i = 0; i < m_line.size(); ++i) {
        const auto inbox = m_inboxes.constFind(m_line[i]);
        const quint64 lastTurn = inbox == m_inboxes.cend() ? 0 : m_lastTurn.value(inbox->peer, 0);
        if (lastTurn < oldest) {
            oldest = lastTurn;
            next = i;
        }
    }
    const QString stamp = m_line.takeAt(next);
    if (const auto inbox = m_inboxes.constFind(stamp); inbox != m_inboxes.cend()) {
        m_lastTurn.insert(inbox->peer, ++m_turns);
    }
    runReconstruction(stamp);
}

void CompanionBrowser::engineDone()
{
    m_running.reset();
    // Queued: the ended run's driver is released first, and its phone hears its outcome before the next
    // run's first report.
    onMain([this] { runNextReconstruction(); });
}

void CompanionBrowser::showCurrentWork()
{
    if (m_running) {
        const auto running = m_inboxes.constFind(*m_running);
        if (running != m_inboxes.cend()) {
            setStatus(
                ServerStatus::reconstructing(*m_running, m_runningFraction, running->peer.displayName()));
            return;
        }
    }
    setStatus(ServerStatus::idle());
}

void CompanionBrowser::runReconstruction(const QString& stamp)
{
    const auto found = m_inboxes.find(stamp);
    if (found == m_inboxes.end()) {
        return;
    }
    found->stage = Inbox::Stage::reconstructing;
    m_running = stamp;
    m_runningFraction = 0.0;
    const Inbox inbox = *found;
    const QString peerName = inbox.peer.displayName();
    setStatus(ServerStatus::reconstructing(stamp, 0.0, peerName));

    auto* driver = new CompanionReconstructor(m_environment.sessionFactory, this);
    QPointer<CompanionBrowser> self(this);
    driver->run(
        inbox.imagesPath, CompanionReconstructor::detail(inbox.detail),
        [self, stamp, inbox, peerName](double fraction, const QString&) {
            if (!self || !std::isfinite(fraction)) {
                return; // a fraction that is not a number is not reported
            }
            self->m_runningFraction = fraction;
            self->setStatus(ServerStatus::reconstructing(stamp, fraction, peerName));
            self->sendEnvelope(
                CaptureTransferKind::progress,
                ReconstructionProgress{
                    stamp, fraction,
                    QStringLiteral("Reconstructing on computer · %1%").arg(percentText(fraction))},
                inbox.peer);
        },
        [self, driver, stamp, inbox, peerName](const CompanionReconstructor::State& finalState) {
            driver->deleteLater();
            if (!self) {
                return;
            }
            self->engineDone();
            const CaptureForPhone capture{stamp, inbox.receivedFrames, inbox.folder, inbox.imagesPath};
            if (finalState.kind == CompanionReconstructor::State::Kind::failed) {
                logLine(QStringLiteral("tovarine: reconstruction of capture %1 (%2) failed: %3")
                            .arg(stamp, inbox.imagesPath, finalState.message));
            }
            using Kind = CompanionReconstructor::State::Kind;
            switch (finalState.kind) {
            case Kind::completed: {
                const QFileInfo model(finalState.modelPath);
                const qint64 byteCount = model.exists() ? model.size() : 0;
                const QString resourceName = resultResourceName(stamp);
                self->sendEnvelope(CaptureTransferKind::result,
                                   ReconstructionResultHeader{stamp, resourceName, byteCount}, inbox.peer);
                self->setStatus(ServerStatus::sending(stamp, peerName));
                const QString meshPath = finalState.modelPath;
                self->session().sendResource(
                    meshPath, resourceName, inbox.peer,
                    [self, stamp, inbox, meshPath](const std::optional<PeerError>& error) {
                        if (!self) {
                            return;
                        }
                        // The completion comes on the transport's thread.
                        QMetaObject::invokeMethod(
                            self.data(),
                            [self, stamp, inbox, meshPath, error] {
                                if (error) {
                                    self->sendError(
                                        stamp,
                                        QStringLiteral("Couldn't deliver result: ") + error->description,
                                        inbox.peer,
                                        QStringLiteral("Couldn't deliver result: the model of capture %1 "
                                                       "could not be sent.")
                                            .arg(stamp));
                                } else {
                                    self->m_completed.append(CompletedCapture{QUuid::createUuid(), stamp,
                                                                              inbox.frameCount, meshPath,
                                                                              QDateTime::currentDateTime()});
                                    emit self->completedChanged();
                                }
                                self->endInbox(stamp, inbox.generation);
                            },
                            Qt::QueuedConnection);
                    });
                return;
            }
            case Kind::failed:
                self->sendError(stamp, friendlyReason(finalState.message, capture), inbox.peer);
                break;
            case Kind::cancelled:
                break;
            case Kind::running:
            case Kind::idle:
                self->sendError(stamp, QStringLiteral("Reconstruction ended unexpectedly."), inbox.peer);
                break;
            }
            self->endInbox(stamp, inbox.generation);
        });
}

void CompanionBrowser::endInbox(const QString& stamp, quint64 generation)
{
    const auto found = m_inboxes.find(stamp);
    if (found != m_inboxes.end() && found->generation == generation) {
        m_inboxes.erase(found);
    }
    showCurrentWork();
}

template <class Record>
void CompanionBrowser::sendEnvelope(CaptureTransferKind kind, const Record& record, const PeerIdentity& to)
{
    const Expected<CaptureTransferEnvelope, QString> envelope = CaptureTransferEnvelope::make(kind, record);
    if (!envelope) {
        logLine(
            QStringLiteral("CompanionBrowser: failed to send %1: %2").arg(kindName(kind), envelope.error()));
        return;
    }
    const Expected<void, PeerError> sent = session().send(envelope->encode(), to);
    if (!sent) {
        logLine(QStringLiteral("CompanionBrowser: failed to send %1: %2")
                    .arg(kindName(kind), sent.error().description));
    }
}

void CompanionBrowser::sendError(const QString& stamp, const QString& message, const PeerIdentity& to,
                                 const QString& fallback)
{
    CaptureForPhone capture{stamp, 0, {}, {}};
    if (const auto found = m_inboxes.constFind(stamp); found != m_inboxes.cend()) {
        capture = {stamp, found->receivedFrames, found->folder, found->imagesPath};
    }
    const QString said = withoutLocalPaths(
        message, capture,
        !fallback.isEmpty() ? fallback
                            : QStringLiteral("Capture %1 could not be taken on the computer.").arg(stamp));
    if (said != message) {
        logLine(QStringLiteral("tovarine: capture %1 failed: %2").arg(stamp, message));
    }
    sendEnvelope(CaptureTransferKind::error, ReconstructionErrorMessage{stamp, said}, to);
}

} // namespace tovarine
