#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Locale-independent number formatting for the files and progress lines of the mesh tools.
// Any thread; no state.
namespace tovarine::textformat {

// Appends `value` in plain decimal ("%d").
void appendInt(std::string& out, std::int64_t value);

// Appends `value` with `decimals` digits after the point, as C's "%.<decimals>f" does in the C locale.
void appendFixed(std::string& out, double value, int decimals);

// Appends "f a b c" and a line feed, the three numbers given 0-based and written 1-based.
void appendFaceLine(std::string& out, std::int64_t a, std::int64_t b, std::int64_t c);

// Appends "v x y z" with six decimals each and a line feed.
void appendVertexLine(std::string& out, double x, double y, double z);

// Appends `count` lines, line i written by appendLine(text, i). Many lines are formatted in runs on several
// threads and joined in order, so the text is the one a single thread would write.
void appendLines(std::string& out, std::size_t count,
                 const std::function<void(std::string& text, std::size_t i)>& appendLine);

// A vertex line per position, in order.
void appendVertexLines(std::string& out, const std::vector<std::array<double, 3>>& positions);

} // namespace tovarine::textformat
