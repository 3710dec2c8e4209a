// libFuzzer target for caller-supplied number formats: whatever the text, the check must only let through
// formats that the C library formats safely with one double; and the number read back from any text (the one
// a screen reader is told) is finite, with a count of decimals in bounds.
#include "OstrelValueFormat.h"

#include <QString>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>

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
    const auto sane = [](const std::optional<OstrelValueFormat::ShownNumber>& number) {
        return !number || (std::isfinite(number->value) && number->decimals >= 0 && number->decimals <= 400);
    };
    if (!sane(OstrelValueFormat::shownNumber(format))) {
        __builtin_trap();
    }
    if (text) {
        const qsizetype prefix = OstrelValueFormat::literalPrefixLength(format);
        if (prefix > text->size() || !sane(OstrelValueFormat::shownNumber(*text, prefix))) {
            __builtin_trap(); // the number begins inside the formatted text
        }
    }
    return 0;
}
