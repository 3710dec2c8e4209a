#include "OstrelNumberFormat.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <vector>

namespace ostrel::OstrelNumberFormat {

QString fixed(double value, int decimals)
{
    decimals = std::max(decimals, 0);
    if (std::isnan(value)) {
        return std::signbit(value) ? QStringLiteral("-nan") : QStringLiteral("nan");
    }
    if (std::isinf(value)) {
        return value < 0 ? QStringLiteral("-inf") : QStringLiteral("inf");
    }
    // The largest double has 309 integer digits; a sign, a point and the decimals come on top.
    std::vector<char> text(static_cast<std::size_t>(decimals) + 320);
    const auto [end, error] =
        std::to_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed, decimals);
    if (error != std::errc()) {
        return QString::asprintf("%.*f", decimals, value);
    }
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(end - text.data()));
}

} // namespace ostrel::OstrelNumberFormat
