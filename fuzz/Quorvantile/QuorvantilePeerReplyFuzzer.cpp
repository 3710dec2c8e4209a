// libFuzzer target for what the mesh reads from another machine, through the code that reads it:
//  - a peer's reply to a routed call, streamed (lines cut by LF, CR or CR LF at the first byte's piece size,
//    read as generation and as chat, pieces gathered until "done" or an error line) and whole;
//  - the peer's model list, decoded and cleaned into a manifest whose TXT record is then built;
//  - a DNS-SD TXT record in wire form (length-prefixed strings) as the kit's browser hands it on, and the
//    name the mesh takes from it.
#include "DnsSd.h"
#include "NdjsonLineReader.h"
#include "OllamaModelInfo.h"
#include "OllamaStreamLine.h"
#include "QuorvantileManifest.h"
#include "QuorvantilePeerText.h"

#include <QJsonDocument>
#include <avahi-common/strlst.h>
#include <cstddef>
#include <cstdint>

using namespace ostrel;

namespace {

// Small enough for the fuzzer to reach the cap; the client's own cap is the same rule at 16 MiB.
constexpr qsizetype kFuzzLineCap = 512;

// Reads `stream` as a streamed call's reply; returns the gathered text.
QString readStream(const QByteArray& stream, qsizetype pieceBytes, bool chat)
{
    NdjsonLineReader reader(kFuzzLineCap);
    QString gathered;
    bool ended = false;
    const auto take = [&](const QByteArray& line) {
        if (line.size() > kFuzzLineCap) {
            __builtin_trap(); // the cap must hold for every line given out
        }
        const std::optional<QJsonObject> object = OllamaStreamLine::parseObject(line);
        if (!object) {
            return;
        }
        const auto piece =
            chat ? OllamaStreamLine::chatPiece(*object) : OllamaStreamLine::generatePiece(*object);
        if (!piece) {
            ended = OllamaStreamLine::errorText(*object).has_value();
            return;
        }
        gathered += piece->text;
        ended = piece->done;
    };
    for (qsizetype offset = 0; offset < stream.size() && !ended; offset += pieceBytes) {
        if (!reader.append(
                QByteArrayView(stream.constData() + offset, std::min(pieceBytes, stream.size() - offset)))) {
            return gathered;
        }
        while (!ended) {
            const std::optional<QByteArray> line = reader.nextLine();
            if (!line) {
                break;
            }
            take(*line);
        }
    }
    if (!ended) {
        if (const std::optional<QByteArray> last = reader.finish()) {
            take(*last);
        }
    }
    return gathered;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) {
        return 0;
    }
    const qsizetype pieceBytes = 1 + data[0] % 64;
    const QByteArray bytes(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1));

    (void)readStream(bytes, pieceBytes, false);
    (void)readStream(bytes, pieceBytes, true);
    (void)OllamaStreamLine::wholeReplyText(bytes, false);
    (void)OllamaStreamLine::wholeReplyText(bytes, true);

    const QJsonDocument document = QJsonDocument::fromJson(bytes);
    if (const auto models = OllamaModelInfo::decodeTagsResponse(document.object())) {
        QStringList names;
        for (const OllamaModelInfo& info : *models) {
            names.append(info.name);
        }
        const QStringList kept = QuorvantilePeerText::cleanModelNames(names);
        if (kept.size() > QuorvantilePeerText::kMaxModels) {
            __builtin_trap();
        }
        const QuorvantileManifest manifest(QUuid(), QStringLiteral("peer"), QuorvantilePlatform::linux, kept,
                                           QString(), 0, 0, std::nullopt, std::nullopt, false, 0.0);
        for (const QByteArray& value :
             QuorvantilePeerText::txtRecord(QuorvantilePeerText::manifestToTXTDict(manifest))) {
            if (value.size() > QuorvantilePeerText::kMaxTxtEntryBytes) {
                __builtin_trap();
            }
        }
    }

    AvahiStringList* list = nullptr;
    if (avahi_string_list_parse(bytes.constData(), static_cast<size_t>(bytes.size()), &list) == 0) {
        const QMap<QByteArray, QByteArray> record = txtRecord(list);
        avahi_string_list_free(list);
        if (const auto name = QuorvantilePeerText::txtValue(record, QStringLiteral("nm"))) {
            const QString shown = QuorvantilePeerText::cleanNodeName(*name);
            if (shown.size() > QuorvantilePeerText::kMaxNodeNameChars) {
                __builtin_trap();
            }
        }
    }
    return 0;
}
