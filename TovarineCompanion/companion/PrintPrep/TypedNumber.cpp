#include "TypedNumber.h"

#include <charconv>
#include <string>

namespace tovarine::TypedNumber {

std::optional<double> parse(const QString& text)
{
    std::string bytes = text.toStdString();
    const char* begin = bytes.data();
    const char* end = begin + bytes.size();
    if (begin != end && *begin == '+') {
        ++begin;
    }
    if (begin == end || *begin == '+' || *begin == '-') {
        return std::nullopt;
    }
    double value = 0.0;
    const auto [ptr, error] = std::from_chars(begin, end, value, std::chars_format::general);
    if (error != std::errc() || ptr != end || !(value > 0.0)) {
        return std::nullopt;
    }
    return value;
}

bool isInches(const QString& units)
{
    return units == QLatin1String("in");
}

double toMillimetres(double value, const QString& units)
{
    return isInches(units) ? value * kMillimetresPerInch : value;
}

QString unitLabel(const QString& units)
{
    return isInches(units) ? QStringLiteral("in") : QStringLiteral("mm");
}

} // namespace tovarine::TypedNumber
