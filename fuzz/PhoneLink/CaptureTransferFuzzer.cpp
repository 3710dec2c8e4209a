// libFuzzer target for what the phone sends: data messages (envelope, then each inner record, then the
// record encoded again) and resource names with the safe-name check.

#include "CaptureTransfer.h"

#include <cstddef>
#include <cstdint>

using namespace tovarine;

namespace {

template <class Record>
void roundTrip(CaptureTransferKind kind, const std::optional<Record>& record)
{
    if (!record) {
        return;
    }
    const auto envelope = CaptureTransferEnvelope::make(kind, *record);
    if (!envelope) {
        return;
    }
    const auto back = CaptureTransferEnvelope::decode(envelope->encode());
    if (!back || back->kind != kind || back->payload != envelope->payload) {
        __builtin_trap();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    if (const auto envelope = CaptureTransferEnvelope::decode(bytes)) {
        const auto manifest = decodeManifest(envelope->payload);
        roundTrip(CaptureTransferKind::manifest, manifest);
        // The receiver's reading: the same record but for the frame names it does not keep.
        auto withoutNames = decodeManifest(envelope->payload, false);
        if (manifest.has_value() != withoutNames.has_value() ||
            (withoutNames && !withoutNames->frames.isEmpty())) {
            __builtin_trap();
        }
        if (withoutNames) {
            withoutNames->frames = manifest->frames;
            if (!(*withoutNames == *manifest)) {
                __builtin_trap();
            }
        }
        roundTrip(CaptureTransferKind::ready, decodeReadyAck(envelope->payload));
        roundTrip(CaptureTransferKind::progress, decodeProgress(envelope->payload));
        roundTrip(CaptureTransferKind::result, decodeResultHeader(envelope->payload));
        roundTrip(CaptureTransferKind::error, decodeErrorMessage(envelope->payload));
    }
    const QString name = QString::fromUtf8(bytes);
    if (const auto parsed = parseResourceName(name)) {
        if (parsed->kind.isEmpty() || parsed->stamp.isEmpty() || parsed->filename.isEmpty()
            || parsed->kind.contains(u'/') || parsed->stamp.contains(u'/')) {
            __builtin_trap();
        }
        if (isSafePathComponent(parsed->filename) && (parsed->filename.contains(u'/') || parsed->filename == u"..")) {
            __builtin_trap();
        }
    }
    return 0;
}
