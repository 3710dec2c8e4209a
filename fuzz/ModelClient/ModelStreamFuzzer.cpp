// Streamed server replies: the bytes are cut into pieces (the first byte picks the piece size), read back as
// lines under a small line cap, and every line goes through each interpretation the client applies. The
// whole input is also read as a model list and as free text holding a JSON object.
#include "NdjsonLineReader.h"
#include "OllamaModelInfo.h"
#include "OllamaClient.h"
#include "OllamaStreamLine.h"

#include <QJsonDocument>
#include <cstddef>
#include <cstdint>

namespace {

void interpret(const QByteArray& line)
{
    using namespace ostrel::OllamaStreamLine;
    const std::optional<QJsonObject> object = parseObject(line);
    if (!object) {
        return;
    }
    (void)generatePiece(*object);
    (void)chatPiece(*object);
    (void)pullProgress(*object);
    (void)errorText(*object);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) {
        return 0;
    }
    const qsizetype pieceBytes = 1 + data[0] % 64;
    const QByteArray stream(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1));

    ostrel::NdjsonLineReader reader(256);
    for (qsizetype offset = 0; offset < stream.size(); offset += pieceBytes) {
        if (!reader.append(QByteArrayView(stream.constData() + offset, std::min(pieceBytes, stream.size() - offset)))) {
            break;
        }
        while (const std::optional<QByteArray> line = reader.nextLine()) {
            if (line->size() > reader.maxLineBytes()) {
                __builtin_trap(); // the cap must hold for every line given out
            }
            interpret(*line);
        }
    }
    if (const std::optional<QByteArray> last = reader.finish()) {
        interpret(*last);
    }

    const QJsonDocument document = QJsonDocument::fromJson(stream);
    if (const auto models = ostrel::OllamaModelInfo::decodeTagsResponse(document.object())) {
        for (const ostrel::OllamaModelInfo& info : *models) {
            (void)info.displaySize();
            (void)info.isVisionCapable();
            (void)ostrel::OllamaModelInfo::fromJson(info.toJson());
        }
    }
    (void)ostrel::OllamaClient::extractJSON(QString::fromUtf8(stream));
    return 0;
}
