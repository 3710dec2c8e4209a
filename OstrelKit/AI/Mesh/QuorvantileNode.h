#pragma once

#include "QuorvantileManifest.h"

#include <QDateTime>

namespace ostrel {

// One machine the discovery found: its manifest and how this machine reaches it. Immutable; any thread.
class QuorvantileNode
{
public:
    QuorvantileNode(QUuid id, QuorvantileManifest manifest, QString host, std::int64_t port,
                    QDateTime lastSeen, bool isLocal);

    const QUuid& id() const { return m_id; }
    const QuorvantileManifest& manifest() const { return m_manifest; }
    // "localhost" for this machine, else a host name or an address literal without brackets; a link-local
    // IPv6 address keeps its "%" zone.
    const QString& host() const { return m_host; }
    std::int64_t port() const { return m_port; }
    const QDateTime& lastSeen() const { return m_lastSeen; }
    bool isLocal() const { return m_isLocal; }

    // "http://" + host (bracketed when it holds a colon) + ":" + port: where the router calls the node.
    QString ollamaURL() const;
    // nodeName + " (" + platform raw value + ")", e.g. "studio (linux)".
    QString displayName() const;

private:
    QUuid m_id;
    QuorvantileManifest m_manifest;
    QString m_host;
    std::int64_t m_port;
    QDateTime m_lastSeen;
    bool m_isLocal;
};

// "http://" + host + ":" + port, the host in square brackets when it contains a colon (a "%" zone written
// "%25" there).
QString quorvantileHttpBase(const QString& host, std::int64_t port);

} // namespace ostrel
