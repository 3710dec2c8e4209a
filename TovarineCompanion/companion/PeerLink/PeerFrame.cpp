#include "PeerFrame.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QtEndian>

namespace tovarine::PeerFrame {
namespace {

void putU64(QByteArray& out, quint64 value)
{
    char bytes[8];
    qToBigEndian(value, bytes);
    out.append(bytes, 8);
}

quint64 getU64(const QByteArray& in, qsizetype at)
{
    return qFromBigEndian<quint64>(in.constData() + at);
}

} // namespace

QByteArray encode(Type type, const QByteArray& body)
{
    QByteArray frame;
    frame.reserve(5 + body.size());
    char length[4];
    qToBigEndian(static_cast<quint32>(body.size() + 1), length);
    frame.append(length, 4);
    frame.append(static_cast<char>(type));
    frame.append(body);
    return frame;
}

std::optional<Expected<Frame, QString>> Reader::next()
{
    if (m_buffer.size() - m_at < 4) {
        return std::nullopt;
    }
    const quint32 length = qFromBigEndian<quint32>(m_buffer.constData() + m_at);
    if (length == 0 || length > kMaxFrameBytes) {
        return Expected<Frame, QString>(unexpected(QStringLiteral("frame of %1 bytes").arg(length)));
    }
    if (m_buffer.size() - m_at - 4 < static_cast<qsizetype>(length)) {
        return std::nullopt;
    }
    const quint8 type = static_cast<quint8>(m_buffer[m_at + 4]);
    if (type < static_cast<quint8>(Type::hello) || type > static_cast<quint8>(Type::bye)) {
        return Expected<Frame, QString>(unexpected(QStringLiteral("unknown frame type %1").arg(type)));
    }
    Frame frame{static_cast<Type>(type), m_buffer.mid(m_at + 5, length - 1)};
    m_at += 4 + length;
    // Drop consumed bytes once they are the larger part, so the buffer stays about one frame long.
    if (m_at > m_buffer.size() / 2) {
        m_buffer.remove(0, m_at);
        m_at = 0;
    }
    return Expected<Frame, QString>(std::move(frame));
}

QByteArray helloBody(const Hello& hello)
{
    return QJsonDocument(QJsonObject{{QStringLiteral("v"), 1},
                                     {QStringLiteral("id"), hello.id},
                                     {QStringLiteral("name"), hello.name}})
        .toJson(QJsonDocument::Compact);
}

std::optional<Hello> parseHello(const QByteArray& body)
{
    const QJsonDocument document = QJsonDocument::fromJson(body);
    const QJsonObject object = document.object();
    const QJsonValue id = object.value(QLatin1String("id"));
    const QJsonValue name = object.value(QLatin1String("name"));
    if (!document.isObject() || object.value(QLatin1String("v")).toInt() != 1 || !id.isString() ||
        !name.isString() || id.toString().isEmpty()) {
        return std::nullopt;
    }
    return Hello{id.toString(), name.toString()};
}

QByteArray offerBody(const Offer& offer)
{
    QByteArray body;
    putU64(body, offer.transfer);
    putU64(body, static_cast<quint64>(offer.size));
    body.append(offer.name.toUtf8());
    return body;
}

std::optional<Offer> parseOffer(const QByteArray& body)
{
    if (body.size() < 17 || body.size() > 16 + kMaxNameBytes) {
        return std::nullopt;
    }
    Offer offer;
    offer.transfer = getU64(body, 0);
    offer.size = static_cast<qint64>(getU64(body, 8));
    const QByteArray name = body.mid(16);
    offer.name = QString::fromUtf8(name);
    if (offer.name.toUtf8() != name) {
        return std::nullopt; // the name must be valid UTF-8
    }
    return offer;
}

QByteArray countBody(quint64 transfer, qint64 count)
{
    QByteArray body;
    putU64(body, transfer);
    putU64(body, static_cast<quint64>(count));
    return body;
}

std::optional<std::pair<quint64, qint64>> parseCount(const QByteArray& body)
{
    if (body.size() != 16) {
        return std::nullopt;
    }
    const qint64 count = static_cast<qint64>(getU64(body, 8));
    if (count < 0) {
        return std::nullopt;
    }
    return std::pair{getU64(body, 0), count};
}

QByteArray reasonBody(quint64 transfer, const QString& reason)
{
    QByteArray body;
    putU64(body, transfer);
    body.append(reason.toUtf8().left(1024));
    return body;
}

std::optional<std::pair<quint64, QString>> parseReason(const QByteArray& body)
{
    if (body.size() < 8 || body.size() > 8 + 1024) {
        return std::nullopt;
    }
    return std::pair{getU64(body, 0), QString::fromUtf8(body.mid(8))};
}

QByteArray transferBody(quint64 transfer, const QByteArray& rest)
{
    QByteArray body;
    body.reserve(8 + rest.size());
    putU64(body, transfer);
    body.append(rest);
    return body;
}

std::optional<quint64> parseTransfer(const QByteArray& body)
{
    if (body.size() < 8) {
        return std::nullopt;
    }
    return getU64(body, 0);
}

} // namespace tovarine::PeerFrame
