#include "CaptureTransfer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cmath>

namespace tovarine {
namespace {

// Seconds between 1970-01-01 and 2001-01-01 (UTC), the phone's time origin.
constexpr qint64 kReferenceDateEpochSeconds = 978307200;

constexpr const char* kKindNames[] = {"manifest", "ready", "progress", "result", "error"};

std::optional<QJsonObject> parseObject(const QByteArray& json)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        return std::nullopt;
    }
    return document.object();
}

bool readString(const QJsonObject& object, const char* key, QString& out)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (!value.isString()) {
        return false;
    }
    out = value.toString();
    return true;
}

bool readDouble(const QJsonObject& object, const char* key, double& out)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (!value.isDouble()) {
        return false;
    }
    out = value.toDouble();
    return true;
}

// A JSON number that is a whole value within the signed 64-bit range.
bool readInt64(const QJsonObject& object, const char* key, qint64& out)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (!value.isDouble()) {
        return false;
    }
    const double asDouble = value.toDouble();
    if (!std::isfinite(asDouble) || std::trunc(asDouble) != asDouble || asDouble < -9223372036854775808.0 ||
        asDouble >= 9223372036854775808.0) {
        return false;
    }
    // Integers are kept exactly by the parser; toInteger() gives them without a detour through double.
    out = value.toInteger(static_cast<qint64>(asDouble));
    return true;
}

Expected<CaptureTransferEnvelope, QString> wrap(CaptureTransferKind kind, const QJsonObject& object)
{
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (it->isDouble() && !std::isfinite(it->toDouble())) {
            return unexpected(QStringLiteral("%1 is not a finite number").arg(it.key()));
        }
    }
    return CaptureTransferEnvelope{kind, QJsonDocument(object).toJson(QJsonDocument::Compact)};
}

} // namespace

QString kindName(CaptureTransferKind kind)
{
    return QString::fromLatin1(kKindNames[static_cast<int>(kind)]);
}

std::optional<CaptureTransferKind> kindFromName(const QString& name)
{
    for (int i = 0; i < 5; ++i) {
        if (name == QLatin1String(kKindNames[i])) {
            return static_cast<CaptureTransferKind>(i);
        }
    }
    return std::nullopt;
}

Expected<CaptureTransferEnvelope, QString> CaptureTransferEnvelope::make(CaptureTransferKind kind,
                                                                         const CaptureManifest& r)
{
    const double createdAt =
        static_cast<double>(r.createdAt.toMSecsSinceEpoch() - kReferenceDateEpochSeconds * 1000) / 1000.0;
    return wrap(kind, QJsonObject{{QStringLiteral("stamp"), r.stamp},
                                  {QStringLiteral("frameCount"), r.frameCount},
                                  {QStringLiteral("frames"), QJsonArray::fromStringList(r.frames)},
                                  {QStringLiteral("detail"), r.detail},
                                  {QStringLiteral("createdAt"), createdAt},
                                  {QStringLiteral("clientVersion"), r.clientVersion}});
}

Expected<CaptureTransferEnvelope, QString> CaptureTransferEnvelope::make(CaptureTransferKind kind,
                                                                         const CaptureReadyAck& r)
{
    return wrap(kind, QJsonObject{{QStringLiteral("stamp"), r.stamp},
                                  {QStringLiteral("receivedFrames"), r.receivedFrames}});
}

Expected<CaptureTransferEnvelope, QString> CaptureTransferEnvelope::make(CaptureTransferKind kind,
                                                                         const ReconstructionProgress& r)
{
    return wrap(kind, QJsonObject{{QStringLiteral("stamp"), r.stamp},
                                  {QStringLiteral("fraction"), r.fraction},
                                  {QStringLiteral("message"), r.message}});
}

Expected<CaptureTransferEnvelope, QString> CaptureTransferEnvelope::make(CaptureTransferKind kind,
                                                                         const ReconstructionResultHeader& r)
{
    return wrap(kind, QJsonObject{{QStringLiteral("stamp"), r.stamp},
                                  {QStringLiteral("resourceName"), r.resourceName},
                                  {QStringLiteral("byteCount"), r.byteCount}});
}

Expected<CaptureTransferEnvelope, QString> CaptureTransferEnvelope::make(CaptureTransferKind kind,
                                                                         const ReconstructionErrorMessage& r)
{
    return wrap(kind,
                QJsonObject{{QStringLiteral("stamp"), r.stamp}, {QStringLiteral("message"), r.message}});
}

QByteArray CaptureTransferEnvelope::encode() const
{
    const QJsonObject object{{QStringLiteral("kind"), kindName(kind)},
                             {QStringLiteral("payload"), QString::fromLatin1(payload.toBase64())}};
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<CaptureTransferEnvelope> CaptureTransferEnvelope::decode(const QByteArray& data)
{
    const std::optional<QJsonObject> object = parseObject(data);
    if (!object) {
        return std::nullopt;
    }
    QString kindText;
    QString payloadText;
    if (!readString(*object, "kind", kindText) || !readString(*object, "payload", payloadText)) {
        return std::nullopt;
    }
    const std::optional<CaptureTransferKind> kind = kindFromName(kindText);
    if (!kind || payloadText.size() % 4 != 0) {
        return std::nullopt;
    }
    const QByteArray::FromBase64Result payload = QByteArray::fromBase64Encoding(
        payloadText.toLatin1(), QByteArray::Base64Encoding | QByteArray::AbortOnBase64DecodingErrors);
    if (!payload) {
        return std::nullopt;
    }
    return CaptureTransferEnvelope{*kind, *payload};
}

std::optional<CaptureManifest> decodeManifest(const QByteArray& payload, bool keepFrameNames)
{
    const std::optional<QJsonObject> object = parseObject(payload);
    if (!object) {
        return std::nullopt;
    }
    CaptureManifest manifest;
    double createdAt = 0;
    const QJsonValue frames = object->value(QLatin1String("frames"));
    if (!readString(*object, "stamp", manifest.stamp) ||
        !readInt64(*object, "frameCount", manifest.frameCount) || !frames.isArray() ||
        !readString(*object, "detail", manifest.detail) || !readDouble(*object, "createdAt", createdAt) ||
        !readString(*object, "clientVersion", manifest.clientVersion)) {
        return std::nullopt;
    }
    for (const QJsonValue& frame : frames.toArray()) {
        if (!frame.isString()) {
            return std::nullopt;
        }
        if (keepFrameNames) {
            manifest.frames.append(frame.toString());
        }
    }
    // Dates far outside any real capture are carried as the nearest representable instant.
    const double msSinceEpoch =
        std::clamp(createdAt * 1000.0 + kReferenceDateEpochSeconds * 1000.0, -8.64e15, 8.64e15);
    manifest.createdAt = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(msSinceEpoch), Qt::UTC);
    return manifest;
}

std::optional<CaptureReadyAck> decodeReadyAck(const QByteArray& payload)
{
    const std::optional<QJsonObject> object = parseObject(payload);
    CaptureReadyAck ack;
    if (!object || !readString(*object, "stamp", ack.stamp) ||
        !readInt64(*object, "receivedFrames", ack.receivedFrames)) {
        return std::nullopt;
    }
    return ack;
}

std::optional<ReconstructionProgress> decodeProgress(const QByteArray& payload)
{
    const std::optional<QJsonObject> object = parseObject(payload);
    ReconstructionProgress progress;
    if (!object || !readString(*object, "stamp", progress.stamp) ||
        !readDouble(*object, "fraction", progress.fraction) ||
        !readString(*object, "message", progress.message)) {
        return std::nullopt;
    }
    return progress;
}

std::optional<ReconstructionResultHeader> decodeResultHeader(const QByteArray& payload)
{
    const std::optional<QJsonObject> object = parseObject(payload);
    ReconstructionResultHeader header;
    if (!object || !readString(*object, "stamp", header.stamp) ||
        !readString(*object, "resourceName", header.resourceName) ||
        !readInt64(*object, "byteCount", header.byteCount)) {
        return std::nullopt;
    }
    return header;
}

std::optional<ReconstructionErrorMessage> decodeErrorMessage(const QByteArray& payload)
{
    const std::optional<QJsonObject> object = parseObject(payload);
    ReconstructionErrorMessage message;
    if (!object || !readString(*object, "stamp", message.stamp) ||
        !readString(*object, "message", message.message)) {
        return std::nullopt;
    }
    return message;
}

std::optional<ResourceName> parseResourceName(const QString& name)
{
    QStringList pieces;
    qsizetype at = 0;
    const qsizetype length = name.size();
    while (pieces.size() < 2) {
        while (at < length && name[at] == u'/') {
            ++at; // empty pieces are skipped and do not count as splits
        }
        if (at == length) {
            return std::nullopt;
        }
        const qsizetype slash = name.indexOf(u'/', at);
        if (slash < 0) {
            return std::nullopt; // the name ends inside the first or second piece
        }
        pieces.append(name.mid(at, slash - at));
        at = slash + 1;
    }
    if (at == length) {
        return std::nullopt;
    }
    return ResourceName{pieces[0], pieces[1], name.mid(at)};
}

QString captureResourceName(const QString& stamp, const QString& filename)
{
    return QStringLiteral("capture/%1/%2").arg(stamp, filename);
}

QString resultResourceName(const QString& stamp)
{
    return QStringLiteral("result/%1/model.usdz").arg(stamp);
}

bool isSafePathComponent(const QString& name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..") ||
        name.toUtf8().size() > kMaxFileNameBytes) {
        return false;
    }
    for (const QChar c : name) {
        const char16_t u = c.unicode();
        if (u == u'/' || u == u'\\' || u < 0x20 || u == 0x7f || (u >= 0x80 && u < 0xa0)) {
            return false;
        }
    }
    return true;
}

} // namespace tovarine
