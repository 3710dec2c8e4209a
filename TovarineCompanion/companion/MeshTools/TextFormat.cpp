#include "TextFormat.h"

#include "ParallelBlocks.h"

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

namespace {

// Lines per run formatted by one thread; below two runs everything is formatted on the calling thread.
constexpr std::size_t kLinesPerRun = 65536;

} // namespace

void appendLines(std::string& out, std::size_t count,
                 const std::function<void(std::string& text, std::size_t i)>& appendLine)
{
    if (count < 2 * kLinesPerRun) {
        for (std::size_t i = 0; i < count; ++i) {
            appendLine(out, i);
        }
        return;
    }
    std::vector<std::string> runs((count + kLinesPerRun - 1) / kLinesPerRun);
    parallel::runBlocks(
        count, kLinesPerRun, parallel::threadsFor(0), {},
        [&](int, std::size_t begin, std::size_t end) {
            std::string& text = runs[begin / kLinesPerRun];
            text.reserve((end - begin) * 40);
            for (std::size_t i = begin; i < end; ++i) {
                appendLine(text, i);
            }
        },
        [](std::size_t) {});
    std::size_t size = out.size();
    for (const std::string& run : runs) {
        size += run.size();
    }
    out.reserve(size);
    for (std::string& run : runs) {
        out += run;
        std::string().swap(run);
    }
}

void appendVertexLines(std::string& out, const std::vector<std::array<double, 3>>& positions)
{
    appendLines(out, positions.size(), [&](std::string& text, std::size_t i) {
        const auto& p = positions[i];
        appendVertexLine(text, p[0], p[1], p[2]);
    });
}

} // namespace tovarine::textformat
