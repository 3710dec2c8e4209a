#include "QuorvantileDiscovery.h"

#include "QuorvantileAvahiBackend.h"
#include "QuorvantilePeerText.h"

#include <QHostInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace ostrel {

namespace {

// Address text of a connection's peer: dotted decimal for IPv4 (also when it arrived IPv4-mapped), the
// system's IPv6 text otherwise, always without a "%" zone.
QString hostText(const QHostAddress& address)
{
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    const QString text = isV4 ? QHostAddress(v4).toString() : address.toString();
    const qsizetype zone = text.indexOf(u'%');
    return zone < 0 ? text : text.left(zone);
}

} // namespace

QuorvantileDiscovery::QuorvantileDiscovery(QUuid nodeID, BackendFactory backendFactory, Options options,
                                           QObject* parent)
    : QObject(parent), m_nodeID(nodeID),
      m_backendFactory(backendFactory ? std::move(backendFactory)
                                      : BackendFactory(makeQuorvantileAvahiBackend)),
      m_options(options), m_http(new QNetworkAccessManager(this))
{
}

QuorvantileDiscovery::~QuorvantileDiscovery()
{
    for (auto& [id, resolve] : m_pending) {
        if (resolve.probe) {
            resolve.probe->disconnect(this);
            resolve.probe->abort();
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
    if (!listener->listen(QHostAddress::Any, 0)) {
        delete listener;
        return;
    }
    // Peers connect only to learn this machine's address: nothing is read or written, and the connection is
    // closed after a short while.
    connect(listener, &QTcpServer::newConnection, listener, [listener, holdMs = m_options.incomingHoldMs] {
        while (QTcpSocket* socket = listener->nextPendingConnection()) {
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
    m_nameGenerations[name] += 1;
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
    resolve.nameGeneration = m_nameGenerations.value(result.name);
    resolve.socket = new QTcpSocket(this);
    QTcpSocket* socket = resolve.socket;
    m_pending.emplace(id, resolve);
    connect(socket, &QTcpSocket::connected, this, [this, id] { connectionReady(id); });
    connect(socket, &QTcpSocket::errorOccurred, this, [this, id] {
        const auto it = m_pending.find(id);
        if (it != m_pending.end() && !it->second.probe && it->second.host.isEmpty()) {
            finish(id);
        }
    });
    socket->connectToHost(result.address, result.port);
}

QuorvantileManifest QuorvantileDiscovery::placeholder(const QUuid& id, const QString& name,
                                                      const QString& host) const
{
    return QuorvantileManifest(id, name, QuorvantilePlatform::macOS, {},
                               quorvantileHttpBase(host, m_options.modelServerPort), 0, 0, std::nullopt,
                               std::nullopt, false, 0.0);
}

void QuorvantileDiscovery::connectionReady(quint64 id)
{
    Resolve& resolve = m_pending.at(id);
    const auto uuid = quorvantileUuidFromText(resolve.name);
    if (!uuid) {
        finish(id);
        return;
    }
    resolve.isLocal = *uuid == m_nodeID;
    const QHostAddress peer = resolve.socket->peerAddress();
    const QString peerHost = peer.isNull() ? QString() : hostText(peer);
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
        if (bare.setAddress(host)) {
            QPointer<QuorvantileDiscovery> self(this);
            QHostInfo::lookupHost(bare.toString(), this, [this, id, host](const QHostInfo& info) {
                const QString name = info.hostName();
                const bool found = info.error() == QHostInfo::NoError && !name.isEmpty() &&
                                   QHostAddress(name).isNull() && QuorvantilePeerText::isSafeHost(name);
                if (m_pending.count(id) > 0) {
                    hostKnown(id, found ? name : host);
                }
            });
            return;
        }
    }
    hostKnown(id, host);
}

void QuorvantileDiscovery::hostKnown(quint64 id, const QString& host)
{
    Resolve& resolve = m_pending.at(id);
    resolve.host = host;
    const QUuid uuid = *quorvantileUuidFromText(resolve.name);
    if (!resolve.isLocal) {
        for (const QuorvantileNode& node : std::as_const(m_discoveredNodes)) {
            if (node.host() == host) {
                finish(id);
                return;
            }
        }
    }
    const QHostAddress peer = resolve.socket->peerAddress();
    const QString peerHost = peer.isNull() ? QStringLiteral("unknown") : hostText(peer);
    QuorvantileManifest manifest = placeholder(uuid, peerHost, peerHost);
    const QString txtName = QuorvantilePeerText::cleanNodeName(resolve.txtName.value_or(QString()));
    if (!txtName.isEmpty()) {
        manifest = placeholder(uuid, txtName, host);
    }
    if (resolve.isLocal) {
        store(id, *m_localManifest);
        return;
    }
    probeNode(id, manifest);
}

void QuorvantileDiscovery::probeNode(quint64 id, const QuorvantileManifest& placeholder)
{
    Resolve& resolve = m_pending.at(id);
    const QString base = quorvantileHttpBase(resolve.host, m_options.modelServerPort);
    const QUrl url(base + QStringLiteral("/api/tags"), QUrl::StrictMode);
    if (!url.isValid() || !QuorvantilePeerText::isSafeHost(resolve.host)) {
        store(id, placeholder);
        return;
    }
    QNetworkRequest request(url);
    request.setTransferTimeout(m_options.probeTimeoutMs);
    QNetworkReply* reply = m_http->get(request);
    resolve.probe = reply;
    // A reply larger than any real tag list is cut off; the peer then keeps its placeholder.
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64) {
        if (received > QuorvantilePeerText::kMaxTagListBytes) {
            reply->abort();
        }
    });
    connect(reply, &QNetworkReply::finished, this, [this, id, reply, placeholder, base] {
        reply->deleteLater();
        if (m_pending.count(id) == 0) {
            return;
        }
        m_pending.at(id).probe = nullptr;
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        std::optional<QStringList> models;
        if (reply->error() == QNetworkReply::NoError && status == 200) {
            models =
                QuorvantilePeerText::parseTagList(reply->read(QuorvantilePeerText::kMaxTagListBytes + 1));
        }
        if (!models) {
            store(id, placeholder);
            return;
        }
        const QString name =
            placeholder.nodeName().isEmpty() ? m_pending.at(id).host : placeholder.nodeName();
        store(id, QuorvantileManifest(placeholder.nodeID(), name, placeholder.platform(), *models, base,
                                      placeholder.cpuCores(), placeholder.ramMB(), placeholder.gpuName(),
                                      placeholder.gpuVRAMMB(), placeholder.hasMetal(),
                                      placeholder.currentLoad()));
    });
}

void QuorvantileDiscovery::store(quint64 id, const QuorvantileManifest& manifest)
{
    const Resolve& resolve = m_pending.at(id);
    // An instance that went away (or changed) while this resolve ran must not come back through it.
    if (resolve.nameGeneration == m_nameGenerations.value(resolve.name)) {
        m_discoveredNodes.insert(manifest.nodeID(),
                                 QuorvantileNode(manifest.nodeID(), manifest, resolve.host,
                                                 m_options.modelServerPort, QDateTime::currentDateTime(),
                                                 resolve.isLocal));
        emit discoveredNodesChanged();
        emit changed();
    }
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
    if (resolve.probe) {
        resolve.probe->disconnect(this);
        resolve.probe->abort();
    }
    resolve.socket->disconnect(this);
    resolve.socket->abort();
    resolve.socket->deleteLater();
}

} // namespace ostrel
