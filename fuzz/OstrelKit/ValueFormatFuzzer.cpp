// libFuzzer target for caller-supplied number formats: whatever the text, the check must only let through
// formats that the C library formats safely with one double.
#include "OstrelValueFormat.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstring>

using namespace ostrel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < sizeof(double)) {
        return 0;
    }
    double value = 0;
    std::memcpy(&value, data, sizeof value);
    const QString format = QString::fromUtf8(reinterpret_cast<const char*>(data) + sizeof value,
                                             static_cast<qsizetype>(size - sizeof value));
    const auto problem = OstrelValueFormat::problem(format);
    const auto text = OstrelValueFormat::format(format, value);
    if (problem.has_value() == text.has_value()) {
        __builtin_trap(); // refused formats give no text, accepted ones always do
    }
    return 0;
}
