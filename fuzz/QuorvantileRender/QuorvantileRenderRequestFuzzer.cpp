// libFuzzer target for what the render server reads from a connection: the bytes are fed to the request
// reader in pieces cut by the first byte, then routed. Every request must end read or refused within the size
// cap.
#include "QuorvantileRenderRequest.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace ostrel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) {
        return 0;
    }
    const qsizetype piece = 1 + data[0] % 64;
    const QByteArray bytes(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1));
    QuorvantileRenderRequestReader reader;
    for (qsizetype at = 0; at < bytes.size(); at += piece) {
        reader.feed(QByteArrayView(bytes).sliced(at, std::min(piece, bytes.size() - at)));
    }
    if (reader.request().size() > QuorvantileRenderRequestReader::kMaxRequestBytes + 1) {
        std::abort();
    }
    const QuorvantileRenderRoute route = quorvantileRouteRenderRequest(reader.request());
    if (route.kind == QuorvantileRenderRoute::Kind::submit && !route.job) {
        std::abort();
    }
    (void)route.answer.toBytes();
    return 0;
}
