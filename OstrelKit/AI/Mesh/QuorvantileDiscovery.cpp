#include "QuorvantileDiscovery.h"

#include "QuorvantileAvahiBackend.h"
#include "QuorvantilePeerText.h"

#include <QHostInfo>
#include <QJsonDocument>
#include <QNetworkProxy>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>

namespace ostrel {

namespace {

// Address text of a connection's peer: dotted decimal for IPv4 (also when it arrived IPv4-mapped), the
// system's IPv6 text otherwise. A link-local IPv6 address keeps its "%" zone: without the interface the
// system cannot connect to it.
QString hostText(const QHostAddress& address)
{
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    return isV4 ? QHostAddress(v4).toString() : address.toString();
}

// The address text without its zone, for the reverse lookup of its name.
QString withoutZone(const QString& host)
{
    const qsizetype zone = host.indexOf(u'%');
    return zone < 0 ? host : host.left(zone);
}

} // namespace

QuorvantileDiscovery::QuorvantileDiscovery(QUuid nodeID, BackendFactory backendFactory, Options options,
                                           QObject* parent)
    : QObject(parent), m_nodeID(nodeID),
      m_backendFactory(backendFactory ? std::move(backendFactory)
                                      : BackendFactory(makeQuorvantileAvahiBackend)),
      m_options(options)
{
}

QuorvantileDiscovery::~QuorvantileDiscovery()
{
    for (auto& [id, resolve] : m_pending) {
        if (resolve.probe) {
            resolve.probe->cancel();
        }
        if (resolve.socket) {
            resolve.socket->disconnect(this);
            resolve.socket->abort();
        }
    }
}

QMap<QString, QString> QuorvantileDiscovery::manifestToTXTDict(const QuorvantileManifest& manifest)
{
    return QuorvantilePeerText::manifestToTXTDict(manifest);
}

QList<QuorvantileNode> QuorvantileDiscovery::activeNodes() const
{
    return m_discoveredNodes.values();
}

bool QuorvantileDiscovery::isResolving(const QUuid& id) const
{
    return std::any_of(m_pending.begin(), m_pending.end(),
                       [&id](const auto& entry) { return quorvantileUuidFromText(entry.second.name) == id; });
}

QList<QuorvantileNode> QuorvantileDiscovery::activeRemoteNodes() const
{
    QList<QuorvantileNode> remote;
    for (const QuorvantileNode& node : m_discoveredNodes) {
        if (!node.isLocal()) {
            remote.append(node);
        }
    }
    return remote;
}

void QuorvantileDiscovery::setAdvertising(bool value)
{
    if (m_isAdvertising != value) {
        m_isAdvertising = value;
        emit isAdvertisingChanged(value);
        emit changed();
    }
}

void QuorvantileDiscovery::setBrowsing(bool value)
{
    if (m_isBrowsing != value) {
        m_isBrowsing = value;
        emit isBrowsingChanged(value);
        emit changed();
    }
}

void QuorvantileDiscovery::start(const QuorvantileManifest& manifest)
{
    m_localManifest = manifest;
    m_backend = m_backendFactory();
    connect(m_backend.get(), &QuorvantileServiceBackend::advertisingChanged, this,
            [this](bool live) { setAdvertising(live && m_listener); });
    connect(m_backend.get(), &QuorvantileServiceBackend::browsingChanged, this,
            &QuorvantileDiscovery::setBrowsing);
    connect(m_backend.get(), &QuorvantileServiceBackend::serviceAdded, this,
            [this](const QuorvantileServiceResult& result) {
                const auto id = quorvantileUuidFromText(result.name);
                if (id && m_discoveredNodes.contains(*id)) {
                    return;
                }
                resolveService(result);
            });
    connect(m_backend.get(), &QuorvantileServiceBackend::serviceRemoved, this,
            &QuorvantileDiscovery::serviceGone);
    connect(m_backend.get(), &QuorvantileServiceBackend::serviceChanged, this,
            [this](const QuorvantileServiceResult& result) {
                serviceGone(result.name);
                resolveService(result);
            });
    startAdvertising(manifest);
    startBrowsing();
    startHeartbeat();
}

void QuorvantileDiscovery::startAdvertising(const QuorvantileManifest& manifest)
{
    auto* listener = new QTcpServer(this);
    // The mesh's connections stay on the LAN: a desktop proxy must not see (or break) them.
    listener->setProxy(QNetworkProxy::NoProxy);
    if (!listener->listen(QHostAddress::Any, 0)) {
        delete listener;
        return;
    }
    // Peers connect only to learn this machine's address: nothing is read or written, and the connection is
    // closed after a short while. Beyond the cap a connection is closed at once (its peer has learnt the
    // address all the same), so a flood of connections cannot use up this process's file descriptors.
    auto open = std::make_shared<int>(0);
    connect(listener, &QTcpServer::newConnection, listener,
            [listener, open, holdMs = m_options.incomingHoldMs, cap = m_options.maxIncomingConnections] {
                while (QTcpSocket* socket = listener->nextPendingConnection()) {
                    if (*open >= cap) {
                        socket->abort();
                        delete socket;
                        continue;
                    }
                    ++*open;
                    connect(socket, &QObject::destroyed, listener, [open] { --*open; });
                    QTimer::singleShot(holdMs, socket, [socket] {
                        socket->abort();
                        socket->deleteLater();
                    });
                }
            });
    m_listener = listener;
    m_backend->publish(quorvantileUuidText(manifest.nodeID()), listener->serverPort(),
                       QuorvantilePeerText::txtRecord(manifestToTXTDict(manifest)));
}

void QuorvantileDiscovery::startBrowsing()
{
    m_backend->startBrowsing();
}

void QuorvantileDiscovery::startHeartbeat()
{
    m_heartbeatTimer = new QTimer(this);
    m_heartbeatTimer->setInterval(m_options.heartbeatMs);
    connect(m_heartbeatTimer, &QTimer::timeout, this, [this] {
        if (m_localManifest) {
            updateAdvertisement(*m_localManifest);
        }
    });
    m_heartbeatTimer->start();
}

void QuorvantileDiscovery::updateAdvertisement(const QuorvantileManifest& manifest)
{
    if (m_listener && m_backend) {
        m_backend->updateTxt(QuorvantilePeerText::txtRecord(manifestToTXTDict(manifest)));
    }
}

void QuorvantileDiscovery::stop()
{
    delete m_listener;
    m_listener = nullptr;
    m_backend.reset();
    delete m_heartbeatTimer;
    m_heartbeatTimer = nullptr;
    m_waitingConnects.clear(); // nothing starts while the resolves end
    m_waitingProbes.clear();
    const auto ids = [this] {
        QList<quint64> list;
        for (const auto& entry : m_pending) {
            list.append(entry.first);
        }
        return list;
    }();
    for (quint64 id : ids) {
        finish(id);
    }
    setAdvertising(false);
    setBrowsing(false);
}

void QuorvantileDiscovery::serviceGone(const QString& name)
{
    // A resolve of the instance begun before this must not bring it back: it ends now (so nothing of it is
    // kept for the name afterwards), and a record that changes without pause keeps at most one resolve of its
    // own in flight.
    QList<quint64> stale;
    for (const auto& [resolveId, resolve] : m_pending) {
        if (resolve.name == name) {
            stale.append(resolveId);
        }
    }
    for (const quint64 resolveId : std::as_const(stale)) {
        finish(resolveId);
    }
    const auto id = quorvantileUuidFromText(name);
    if (id && m_discoveredNodes.remove(*id) > 0) {
        emit discoveredNodesChanged();
        emit changed();
    }
}

void QuorvantileDiscovery::resolveService(const QuorvantileServiceResult& result)
{
    const quint64 id = m_nextResolve++;
    Resolve resolve;
    resolve.name = result.name;
    if (result.txt) {
        resolve.txtName = QuorvantilePeerText::txtValue(*result.txt, QStringLiteral("nm"));
    }
    resolve.address = result.address;
    resolve.port = result.port;
    resolve.late = m_failedNameIndex.contains(result.name);
    m_pending.emplace(id, resolve);
    queueConnect(id);
    startWaitingConnects();
}

void QuorvantileDiscovery::queueConnect(quint64 id)
{
    const Resolve& resolve = m_pending.at(id);
    m_waitingConnects.push(id, resolve.address.toString(),
                           resolve.late ? QuorvantileFairQueue::Lane::later
                                        : QuorvantileFairQueue::Lane::first);
}

void QuorvantileDiscovery::queueProbe(quint64 id)
{
    const Resolve& resolve = m_pending.at(id);
    m_waitingProbes.push(id, resolve.host,
                         resolve.late ? QuorvantileFairQueue::Lane::later
                                      : QuorvantileFairQueue::Lane::first);
}

int QuorvantileDiscovery::count(bool Resolve::*flag, bool lateOnly) const
{
    return static_cast<int>(
        std::count_if(m_pending.begin(), m_pending.end(), [flag, lateOnly](const auto& entry) {
            return entry.second.*flag && (!lateOnly || entry.second.late);
        }));
}

void QuorvantileDiscovery::fail(quint64 id)
{
    const auto it = m_pending.find(id);
    if (it == m_pending.end()) {
        return;
    }
    const QString name = it->second.name;
    const auto known = m_failedNameIndex.find(name);
    if (known != m_failedNameIndex.end()) {
        m_failedNames.erase(known.value());
    } else if (static_cast<int>(m_failedNames.size()) >= std::max(1, m_options.maxRememberedNames)) {
        m_failedNameIndex.remove(m_failedNames.front());
        m_failedNames.pop_front();
    }
    m_failedNames.push_back(name);
    m_failedNameIndex.insert(name, std::prev(m_failedNames.end()));
    finish(id);
}

void QuorvantileDiscovery::startWaitingConnects()
{
    if (m_startingConnects) {
        return; // a connection that ends while one is being opened: the loop below goes on
    }
    m_startingConnects = true;
    const int laterPlaces = std::max(1, m_options.maxConnectsInFlight / 4);
    for (;;) {
        if (count(&Resolve::connecting, false) >= m_options.maxConnectsInFlight) {
            break;
        }
        auto next = m_waitingConnects.pop(QuorvantileFairQueue::Lane::first);
        if (!next && count(&Resolve::connecting, true) < laterPlaces) {
            next = m_waitingConnects.pop(QuorvantileFairQueue::Lane::later);
        }
        if (!next) {
            break;
        }
        if (m_pending.count(*next) > 0) {
            connectResolve(*next);
        }
    }
    m_startingConnects = false;
}

void QuorvantileDiscovery::connectResolve(quint64 id)
{
    Resolve& resolve = m_pending.at(id);
    resolve.connecting = true;
    resolve.socket = new QTcpSocket(this);
    QTcpSocket* socket = resolve.socket;
    socket->setProxy(QNetworkProxy::NoProxy);
    // Nothing is read from the connection: whatever the peer writes waits in the system's buffers, not here.
    socket->setReadBufferSize(1);
    connect(socket, &QTcpSocket::connected, this, [this, id] { connectionReady(id); });
    connect(socket, &QTcpSocket::errorOccurred, this, [this, id] {
        const auto it = m_pending.find(id);
        if (it != m_pending.end() && it->second.host.isEmpty()) {
            fail(id);
        }
    });
    QTimer::singleShot(resolve.second ? m_options.retryConnectTimeoutMs : m_options.connectTimeoutMs, socket,
                       [this, id] { connectTimedOut(id); });
    socket->connectToHost(resolve.address, resolve.port);
}

void QuorvantileDiscovery::connectTimedOut(quint64 id)
{
    const auto it = m_pending.find(id);
    if (it == m_pending.end() || !it->second.host.isEmpty()) {
        return; // connected meanwhile
    }
    Resolve& resolve = it->second;
    if (resolve.second) {
        fail(id);
        return;
    }
    // Once more later, behind the work of every machine, with more time.
    resolve.socket->disconnect(this);
    resolve.socket->abort();
    resolve.socket->deleteLater();
    resolve.socket = nullptr;
    resolve.connecting = false;
    resolve.second = true;
    resolve.late = true;
    queueConnect(id);
    startWaitingConnects();
}

QuorvantileManifest QuorvantileDiscovery::placeholder(const QUuid& id, const QString& name,
                                                      const QString& host) const
{
    return QuorvantileManifest(id, name, QuorvantilePlatform::linux, {},
                               quorvantileHttpBase(host, m_options.modelServerPort), 0, 0, std::nullopt,
                               std::nullopt, false, 0.0);
}

void QuorvantileDiscovery::connectionReady(quint64 id)
{
    Resolve& resolve = m_pending.at(id);
    const auto uuid = quorvantileUuidFromText(resolve.name);
    if (!uuid) {
        fail(id);
        return;
    }
    resolve.isLocal = *uuid == m_nodeID;
    const QHostAddress peer = resolve.socket->peerAddress();
    const QString peerHost = peer.isNull() ? QString() : hostText(peer);
    resolve.peerHost = peerHost.isEmpty() ? QStringLiteral("unknown") : peerHost;
    QString host;
    if (resolve.isLocal) {
        host = QStringLiteral("localhost");
    } else if (!peerHost.isEmpty()) {
        host = peerHost;
    } else {
        host = QStringLiteral("unknown.local");
    }
    resolve.host = host;
    // A link-local peer is better reached by its registered name; the lookup may take a while, so it runs
    // off the event loop, and a name that could not stand in a URL is not taken.
    if (host.startsWith(QLatin1String("fe80")) || host.startsWith(QLatin1String("::"))) {
        QHostAddress bare;
        if (bare.setAddress(withoutZone(host))) {
            // The resolve ends early or the lookup outlasts its limit: whichever comes second finds the host
            // settled (or the resolve gone) and does nothing.
            const auto settle = [this, id](const QString& settled) {
                const auto it = m_pending.find(id);
                if (it != m_pending.end() && !it->second.addressKnown) {
                    hostKnown(id, settled);
                }
            };
            QHostInfo::lookupHost(bare.toString(), resolve.socket, [settle, host](const QHostInfo& info) {
                const QString name = info.hostName();
                const bool found = info.error() == QHostInfo::NoError && !name.isEmpty() &&
                                   QHostAddress(name).isNull() && QuorvantilePeerText::isSafeHost(name);
                settle(found ? name : host);
            });
            QTimer::singleShot(m_options.addressLookupTimeoutMs, resolve.socket,
                               [settle, host] { settle(host); });
            return;
        }
    }
    hostKnown(id, host);
}

void QuorvantileDiscovery::hostKnown(quint64 id, const QString& host)
{
    Resolve& resolve = m_pending.at(id);
    resolve.host = host;
    resolve.addressKnown = true;
    if (resolve.isLocal) {
        store(id, *m_localManifest);
        return;
    }
    // The connection has done its work (the address is known): it is closed, and its slot goes to the next
    // record while the probe waits for a slot of its own.
    resolve.socket->disconnect(this);
    resolve.socket->abort();
    resolve.connecting = false;
    queueProbe(id);
    startWaitingConnects();
    if (m_pending.count(id) > 0) {
        startWaitingProbes();
    }
}

int QuorvantileDiscovery::probesInFlight(const QString& host) const
{
    return static_cast<int>(std::count_if(m_pending.begin(), m_pending.end(), [&host](const auto& entry) {
        return entry.second.probing && (host.isNull() || entry.second.host == host);
    }));
}

void QuorvantileDiscovery::startWaitingProbes()
{
    if (m_startingProbes) {
        return; // a probe that ends while one is being started: the loop below goes on
    }
    m_startingProbes = true;
    const int laterPlaces = std::max(1, m_options.maxProbesInFlight / 4);
    const auto hostFree = [this](const QString& host) {
        return probesInFlight(host) < m_options.maxProbesPerHost;
    };
    for (;;) {
        if (probesInFlight(QString()) >= m_options.maxProbesInFlight) {
            break;
        }
        auto next = m_waitingProbes.pop(QuorvantileFairQueue::Lane::first, hostFree);
        if (!next && count(&Resolve::probing, true) < laterPlaces) {
            next = m_waitingProbes.pop(QuorvantileFairQueue::Lane::later, hostFree);
        }
        if (!next) {
            break;
        }
        if (m_pending.count(*next) > 0) {
            beginProbe(*next);
        }
    }
    m_startingProbes = false;
}

void QuorvantileDiscovery::beginProbe(quint64 id)
{
    Resolve& resolve = m_pending.at(id);
    const QUuid uuid = *quorvantileUuidFromText(resolve.name);
    // Tested when the probe can start, so a machine publishing many records is probed once: the others find
    // its entry here.
    for (const QuorvantileNode& node : std::as_const(m_discoveredNodes)) {
        if (node.host() == resolve.host && !(resolve.refresh && node.id() == uuid)) {
            fail(id);
            return;
        }
    }
    QuorvantileManifest manifest = placeholder(uuid, resolve.peerHost, resolve.peerHost);
    const QString txtName = QuorvantilePeerText::cleanNodeName(resolve.txtName.value_or(QString()));
    if (!txtName.isEmpty()) {
        manifest = placeholder(uuid, txtName, resolve.host);
    }
    resolve.probing = true;
    probeNode(id, manifest);
}

void QuorvantileDiscovery::refreshLater(quint64 id)
{
    // The peer is stored with its placeholder now; a second probe of it, with the whole time limit, waits
    // behind the first probes of every machine and replaces the entry when the model server answers.
    Resolve again = m_pending.at(id);
    again.socket = nullptr;
    again.connecting = false;
    again.probe = nullptr;
    again.probing = false;
    again.largeReply = false;
    again.late = true;
    again.refresh = true;
    const quint64 againId = m_nextResolve++;
    m_pending.emplace(againId, again);
    queueProbe(againId);
}

void QuorvantileDiscovery::probeNode(quint64 id, const QuorvantileManifest& placeholder)
{
    Resolve& resolve = m_pending.at(id);
    const QString base = quorvantileHttpBase(resolve.host, m_options.modelServerPort);
    const QUrl url(base + QStringLiteral("/api/tags"), QUrl::StrictMode);
    if (!QuorvantilePeerText::isSafeHost(resolve.host) || !url.isValid() || url.host().isEmpty()) {
        store(id, placeholder);
        return;
    }
    // One GET of the tag list with no proxy, like the model client's; the reply is read only up to
    // kMaxProbeReplyBytes, and the time limit ends the whole probe, however the peer trickles its bytes.
    OllamaHttpExchange::Request request;
    request.method = "GET";
    request.url = url;
    request.idleTimeoutMs = m_options.probeTimeoutMs;
    auto body = std::make_shared<QByteArray>();
    const bool second = resolve.refresh;
    const auto fallBack = [this, id, placeholder, second] {
        if (m_pending.count(id) > 0) {
            m_pending.at(id).probe = nullptr;
            if (second) {
                finish(id); // the entry keeps the placeholder stored by the first probe
            } else {
                store(id, placeholder);
            }
        }
    };
    // A first probe cut short by a place's limit (no answer in time, or a long reply while the large-reply
    // places are taken): stored with its placeholder, and asked again later.
    const auto cutShort = [this, id, placeholder, second] {
        if (m_pending.count(id) == 0) {
            return;
        }
        m_pending.at(id).probe = nullptr;
        if (second) {
            finish(id);
            return;
        }
        refreshLater(id);
        store(id, placeholder);
    };
    auto answered = std::make_shared<bool>(false);
    OllamaHttpExchange::Handlers handlers;
    handlers.onHead = [fallBack, answered](int status) {
        *answered = true;
        if (status != 200) {
            fallBack();
            return false;
        }
        return true;
    };
    handlers.onBody = [this, id, body, fallBack, cutShort](QByteArrayView bytes) {
        if (body->size() + bytes.size() > kMaxProbeReplyBytes) {
            fallBack();
            return false;
        }
        if (body->size() + bytes.size() > kSmallProbeReplyBytes) {
            Resolve& self = m_pending.at(id);
            if (!self.largeReply) {
                if (count(&Resolve::largeReply, false) >= m_options.maxLargeProbeReplies) {
                    cutShort();
                    return false;
                }
                self.largeReply = true;
            }
        }
        body->append(bytes.data(), bytes.size());
        return true;
    };
    handlers.onFailure = [fallBack](const OllamaError&) { fallBack(); };
    handlers.onComplete = [this, id, body, placeholder, base] {
        if (m_pending.count(id) == 0) {
            return;
        }
        m_pending.at(id).probe = nullptr;
        // A body that is not a model list leaves the list empty, as the model client's check does.
        QStringList names;
        const QJsonDocument document = QJsonDocument::fromJson(*body);
        if (const auto models = OllamaModelInfo::decodeTagsResponse(
                document.isObject() ? QJsonValue(document.object()) : QJsonValue())) {
            for (const OllamaModelInfo& info : *models) {
                names.append(info.name);
            }
        }
        const QStringList models = QuorvantilePeerText::cleanModelNames(names);
        const QString name =
            placeholder.nodeName().isEmpty() ? m_pending.at(id).host : placeholder.nodeName();
        store(id, QuorvantileManifest(placeholder.nodeID(), name, placeholder.platform(), models, base,
                                      placeholder.cpuCores(), placeholder.ramMB(), placeholder.gpuName(),
                                      placeholder.gpuVRAMMB(), placeholder.hasMetal(),
                                      placeholder.currentLoad()));
    };
    OllamaHttpExchange* exchange = OllamaHttpExchange::start(request, std::move(handlers));
    resolve.probe = exchange;
    QTimer::singleShot(m_options.probeTimeoutMs, exchange, [fallBack] { fallBack(); }); // ends the request
    if (!second && m_options.probeAnswerTimeoutMs < m_options.probeTimeoutMs) {
        QTimer::singleShot(m_options.probeAnswerTimeoutMs, exchange, [cutShort, answered] {
            if (!*answered) {
                cutShort();
            }
        });
    }
}

void QuorvantileDiscovery::store(quint64 id, const QuorvantileManifest& manifest)
{
    const Resolve& resolve = m_pending.at(id);
    // Every resolve of an instance that went away (or changed) has ended then: this one began after it.
    m_discoveredNodes.insert(manifest.nodeID(),
                             QuorvantileNode(manifest.nodeID(), manifest, resolve.host,
                                             m_options.modelServerPort, QDateTime::currentDateTime(),
                                             resolve.isLocal));
    const auto known = m_failedNameIndex.find(resolve.name);
    if (known != m_failedNameIndex.end()) {
        m_failedNames.erase(known.value());
        m_failedNameIndex.erase(known);
    }
    emit discoveredNodesChanged();
    emit changed();
    finish(id);
}

void QuorvantileDiscovery::finish(quint64 id)
{
    const auto it = m_pending.find(id);
    if (it == m_pending.end()) {
        return;
    }
    Resolve resolve = it->second;
    m_pending.erase(it);
    m_waitingConnects.remove(id);
    m_waitingProbes.remove(id);
    if (resolve.probe) {
        resolve.probe->cancel(); // ends its request: no handler follows
    }
    if (resolve.socket) {
        resolve.socket->disconnect(this);
        resolve.socket->abort();
        resolve.socket->deleteLater();
    }
    const auto uuid = quorvantileUuidFromText(resolve.name);
    if (uuid && !m_discoveredNodes.contains(*uuid)) {
        emit changed();
    }
    if (resolve.connecting) {
        startWaitingConnects(); // its slot is free
    }
    if (resolve.probing) {
        startWaitingProbes();
    }
}

} // namespace ostrel
