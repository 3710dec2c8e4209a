#include "QuorvantilePeerText.h"

#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringDecoder>
#include <cstdio>

namespace ostrel::QuorvantilePeerText {

QMap<QString, QString> manifestToTXTDict(const QuorvantileManifest& manifest)
{
    char load[64];
    std::snprintf(load, sizeof load, "%.2f", manifest.currentLoad());
    return {
        {QStringLiteral("id"), quorvantileUuidText(manifest.nodeID())},
        {QStringLiteral("nm"), manifest.nodeName()},
        {QStringLiteral("pl"), quorvantilePlatformRawValue(manifest.platform())},
        {QStringLiteral("md"), manifest.ollamaModels().join(u',')},
        {QStringLiteral("url"), manifest.ollamaBaseURL()},
        {QStringLiteral("cpu"), QString::number(manifest.cpuCores())},
        {QStringLiteral("ram"), QString::number(manifest.ramMB())},
        {QStringLiteral("gpu"), manifest.gpuName().value_or(QString())},
        {QStringLiteral("vr"), manifest.gpuVRAMMB() ? QString::number(*manifest.gpuVRAMMB()) : QString()},
        {QStringLiteral("mt"), manifest.hasMetal() ? QStringLiteral("1") : QStringLiteral("0")},
        {QStringLiteral("ld"), QString::fromLatin1(load)},
    };
}

namespace {

// Longest prefix of `utf8` within `limit` bytes that does not split a character.
QByteArray cutUtf8(const QByteArray& utf8, qsizetype limit)
{
    if (utf8.size() <= limit) {
        return utf8;
    }
    qsizetype end = limit;
    while (end > 0 && (static_cast<unsigned char>(utf8.at(end)) & 0xC0) == 0x80) {
        --end;
    }
    return utf8.left(end);
}

bool hasControlCharacter(const QString& text)
{
    for (const QChar c : text) {
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format) {
            return true;
        }
    }
    return false;
}

} // namespace

QMap<QByteArray, QByteArray> txtRecord(const QMap<QString, QString>& dict)
{
    QMap<QByteArray, QByteArray> record;
    for (auto it = dict.cbegin(); it != dict.cend(); ++it) {
        const QByteArray key = it.key().toUtf8();
        const qsizetype room = kMaxTxtEntryBytes - key.size() - 1;
        QByteArray value = it.value().toUtf8();
        if (value.size() > room && it.key() == QStringLiteral("md")) {
            const qsizetype comma = value.lastIndexOf(',', room);
            value = comma > 0 ? value.left(comma) : QByteArray();
        }
        record.insert(key, cutUtf8(value, room));
    }
    return record;
}

std::optional<QString> txtValue(const QMap<QByteArray, QByteArray>& record, const QString& key)
{
    const QByteArray wanted = key.toUtf8().toLower();
    for (auto it = record.cbegin(); it != record.cend(); ++it) {
        if (it.key().toLower() != wanted) {
            continue;
        }
        auto decode = QStringDecoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        QString value = decode(it.value());
        if (decode.hasError()) {
            return std::nullopt;
        }
        return value;
    }
    return std::nullopt;
}

QString cleanNodeName(const QString& name)
{
    QString printable;
    printable.reserve(name.size());
    for (const QChar c : name) {
        if (c.category() != QChar::Other_Control && c.category() != QChar::Other_Format) {
            printable.append(c);
        }
    }
    printable = printable.trimmed();
    if (printable.size() > kMaxNodeNameChars) {
        qsizetype end = kMaxNodeNameChars;
        if (printable.at(end - 1).isHighSurrogate()) {
            --end;
        }
        printable.truncate(end);
    }
    return printable;
}

std::optional<QStringList> parseTagList(const QByteArray& body)
{
    if (body.size() > kMaxTagListBytes) {
        return std::nullopt;
    }
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        return std::nullopt;
    }
    const QJsonValue models = document.object().value(QStringLiteral("models"));
    if (!models.isArray()) {
        return std::nullopt;
    }
    QStringList names;
    for (const QJsonValue& model : models.toArray()) {
        const QJsonValue name = model.toObject().value(QStringLiteral("name"));
        if (!model.isObject() || !name.isString()) {
            return std::nullopt;
        }
        const QString text = name.toString();
        if (names.size() < kMaxModels && !text.isEmpty() && text.size() <= kMaxModelNameChars &&
            !hasControlCharacter(text)) {
            names.append(text);
        }
    }
    return names;
}

bool isSafeHost(const QString& host)
{
    if (host.isEmpty() || host.size() > 253) {
        return false;
    }
    if (!host.contains(u'%')) {
        QHostAddress address;
        if (address.setAddress(host)) {
            return true;
        }
    }
    for (const QString& label : host.split(u'.')) {
        if (label.isEmpty() || label.size() > 63) {
            return false;
        }
        for (const QChar c : label) {
            const char16_t u = c.unicode();
            const bool ok = (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') ||
                            (u >= u'0' && u <= u'9') || u == u'-' || u == u'_';
            if (!ok) {
                return false;
            }
        }
    }
    return true;
}

} // namespace ostrel::QuorvantilePeerText
