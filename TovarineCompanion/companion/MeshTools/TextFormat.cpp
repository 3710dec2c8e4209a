#include "TextFormat.h"

#include <charconv>
#include <cmath>

namespace tovarine::textformat {

void appendInt(std::string& out, std::int64_t value)
{
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

void appendFixed(std::string& out, double value, int decimals)
{
    if (std::isnan(value)) {
        out += std::signbit(value) ? "-nan" : "nan";
        return;
    }
    // Large enough for any finite double in fixed notation (309 integer digits) plus the decimals.
    char buffer[352];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    out.append(buffer, result.ptr);
}

void appendFaceLine(std::string& out, std::int64_t a, std::int64_t b, std::int64_t c)
{
    out += "f ";
    appendInt(out, a + 1);
    out += ' ';
    appendInt(out, b + 1);
    out += ' ';
    appendInt(out, c + 1);
    out += '\n';
}

void appendVertexLine(std::string& out, double x, double y, double z)
{
    out += "v ";
    appendFixed(out, x, 6);
    out += ' ';
    appendFixed(out, y, 6);
    out += ' ';
    appendFixed(out, z, 6);
    out += '\n';
}

} // namespace tovarine::textformat
