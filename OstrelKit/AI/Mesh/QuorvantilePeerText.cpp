#include "QuorvantilePeerText.h"

#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringDecoder>
#include <algorithm>
#include <charconv>

namespace ostrel::QuorvantilePeerText {

QMap<QString, QString> manifestToTXTDict(const QuorvantileManifest& manifest)
{
    // Two decimals with "." whatever the locale: the record is read by other machines.
    char load[64];
    const auto written = std::to_chars(load, load + sizeof load, manifest.currentLoad(), std::chars_format::fixed, 2);
    const qsizetype loadLength = written.ec == std::errc() ? written.ptr - load : 0;
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
        {QStringLiteral("ld"), QString::fromLatin1(load, loadLength)},
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

QStringList cleanModelNames(const QStringList& names)
{
    QStringList kept;
    for (const QString& name : names) {
        if (kept.size() >= kMaxModels) {
            break;
        }
        if (!name.isEmpty() && name.size() <= kMaxModelNameChars && !hasControlCharacter(name)) {
            kept.append(name);
        }
    }
    return kept;
}

bool isSafeHost(const QString& host)
{
    if (host.isEmpty() || host.size() > 253) {
        return false;
    }
    const qsizetype percent = host.indexOf(u'%');
    if (percent >= 0) {
        // Only a link-local IPv6 address carries a zone, and only one of plain characters.
        const QString zone = host.mid(percent + 1);
        QHostAddress address;
        if (zone.isEmpty() || zone.size() > kMaxZoneChars || !address.setAddress(host.left(percent))
            || address.protocol() != QAbstractSocket::IPv6Protocol || !address.isLinkLocal()) {
            return false;
        }
        return std::all_of(zone.cbegin(), zone.cend(), [](QChar c) {
            const char16_t u = c.unicode();
            return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9') || u == u'-'
                   || u == u'_' || u == u'.';
        });
    }
    QHostAddress address;
    if (address.setAddress(host)) {
        return true;
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
