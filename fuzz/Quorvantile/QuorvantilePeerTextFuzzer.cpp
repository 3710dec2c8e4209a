// libFuzzer target for what the mesh reads from peers: a TXT record in DNS-SD wire form (length-prefixed
// "key=value" strings), a model server's tag list, a manifest's JSON and host texts.
#include "QuorvantileManifest.h"
#include "QuorvantilePeerText.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstddef>
#include <cstdint>

using namespace ostrel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

    QMap<QByteArray, QByteArray> record;
    for (qsizetype at = 0; at < bytes.size();) {
        const auto length = static_cast<unsigned char>(bytes.at(at));
        const QByteArray entry = bytes.mid(at + 1, length);
        const qsizetype equals = entry.indexOf('=');
        record.insert(equals < 0 ? entry : entry.left(equals),
                      equals < 0 ? QByteArray() : entry.mid(equals + 1));
        at += 1 + length;
    }
    if (const auto name = QuorvantilePeerText::txtValue(record, QStringLiteral("nm"))) {
        (void)QuorvantilePeerText::cleanNodeName(*name);
        (void)QuorvantilePeerText::isSafeHost(*name);
    }

    QStringList names = QString::fromUtf8(bytes).split(u',');
    for (const QString& model : QuorvantilePeerText::cleanModelNames(names)) {
        (void)QuorvantilePeerText::isSafeHost(model);
    }
    if (const auto manifest = QuorvantileManifest::fromJson(QJsonDocument::fromJson(bytes).object())) {
        const auto dict = QuorvantilePeerText::manifestToTXTDict(*manifest);
        (void)QuorvantilePeerText::txtRecord(dict);
        (void)manifest->toJson();
    }
    (void)QuorvantilePeerText::isSafeHost(QString::fromUtf8(bytes));
    return 0;
}
