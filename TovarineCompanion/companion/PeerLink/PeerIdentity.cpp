#include "PeerIdentity.h"

namespace tovarine {

PeerIdentity::PeerIdentity(const QString& displayName) : m_displayName(displayName), m_id(QUuid::createUuid())
{
}

PeerIdentity::PeerIdentity(const QString& displayName, const QUuid& id) : m_displayName(displayName), m_id(id)
{
}

} // namespace tovarine
