#include "QuorvantileNode.h"

#include <utility>

namespace ostrel {

QString quorvantileHttpBase(const QString& host, std::int64_t port)
{
    // In a URL the "%" before an address's zone is itself written "%25".
    QString literal = host;
    literal.replace(u'%', QStringLiteral("%25"));
    const QString bracketed = host.contains(u':') ? u'[' + literal + u']' : host;
    return QStringLiteral("http://") + bracketed + u':' + QString::number(port);
}

QuorvantileNode::QuorvantileNode(QUuid id, QuorvantileManifest manifest, QString host, std::int64_t port,
                                 QDateTime lastSeen, bool isLocal)
    : m_id(id), m_manifest(std::move(manifest)), m_host(std::move(host)), m_port(port),
      m_lastSeen(std::move(lastSeen)), m_isLocal(isLocal)
{
}

QString QuorvantileNode::ollamaURL() const
{
    return quorvantileHttpBase(m_host, m_port);
}

QString QuorvantileNode::displayName() const
{
    return m_manifest.nodeName() + QStringLiteral(" (") + quorvantilePlatformRawValue(m_manifest.platform()) +
           u')';
}

} // namespace ostrel
