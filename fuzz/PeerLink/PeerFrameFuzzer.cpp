// libFuzzer target for the TCP transport's frames as they come off the socket: the frame reader over the
// input split at two points, then every body parser on each frame.

#include "PeerFrame.h"

#include <cstddef>
#include <cstdint>

using namespace tovarine;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    PeerFrame::Reader reader;
    const qsizetype first = bytes.isEmpty() ? 0 : static_cast<qsizetype>(data[0]) % (bytes.size() + 1);
    for (const QByteArray& part : {bytes.left(first), bytes.mid(first, first), bytes.mid(2 * first)}) {
        reader.append(part);
        while (auto next = reader.next()) {
            if (!*next) {
                return 0; // the connection would be dropped here
            }
            const PeerFrame::Frame& frame = next->value();
            if (frame.body.size() + 1 > PeerFrame::kMaxFrameBytes) {
                __builtin_trap();
            }
            PeerFrame::parseHello(frame.body);
            if (const auto offer = PeerFrame::parseOffer(frame.body)) {
                if (offer->name.isEmpty() || offer->name.toUtf8().size() > PeerFrame::kMaxNameBytes) {
                    __builtin_trap();
                }
            }
            if (const auto count = PeerFrame::parseCount(frame.body); count && count->second < 0) {
                __builtin_trap();
            }
            PeerFrame::parseReason(frame.body);
            PeerFrame::parseTransfer(frame.body);
        }
    }
    return 0;
}
