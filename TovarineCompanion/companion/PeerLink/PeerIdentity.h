#pragma once

#include <QHashFunctions>
#include <QMetaType>
#include <QString>
#include <QUuid>

namespace tovarine {

// One peer of the link: a display name for people and an identity for the program. Two identities are equal
// only when they are the same peer, whatever their names; two peers may carry the same name. Any thread.
class PeerIdentity
{
public:
    PeerIdentity() = default;
    // A new peer with this display name.
    explicit PeerIdentity(const QString& displayName);
    // The peer known by `id` (as carried by a transport), with its display name.
    PeerIdentity(const QString& displayName, const QUuid& id);

    QString displayName() const { return m_displayName; }
    QUuid id() const { return m_id; }
    bool isNull() const { return m_id.isNull(); }

    bool operator==(const PeerIdentity& other) const { return m_id == other.m_id; }

private:
    QString m_displayName;
    QUuid m_id;
};

inline size_t qHash(const PeerIdentity& peer, size_t seed = 0)
{
    return qHash(peer.id(), seed);
}

// Why an operation of the link failed: a domain, a numeric code and a sentence.
struct PeerError
{
    QString domain;
    int code = 0;
    QString description;
};

} // namespace tovarine

Q_DECLARE_METATYPE(tovarine::PeerIdentity)
