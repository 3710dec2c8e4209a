// Packet files come from another application: any bytes must read as a packet or a clear error, and a packet
// that reads must write out as a file that reads again.
#include "CadenzorPacket.h"
#include "SortedJsonWriter.h"

#include <QJsonDocument>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (!document.isObject()) {
        return 0;
    }
    QString error;
    const std::optional<CadenzorPacket> packet = CadenzorPacket::fromJson(document.object(), &error);
    if (!packet) {
        if (error.isEmpty()) {
            std::abort(); // a refusal always says why
        }
        return 0;
    }
    const QByteArray written = SortedJsonWriter::write(packet->toJson());
    const std::optional<CadenzorPacket> again =
        CadenzorPacket::fromJson(QJsonDocument::fromJson(written).object(), &error);
    if (!again) {
        std::abort();
    }
    return 0;
}
