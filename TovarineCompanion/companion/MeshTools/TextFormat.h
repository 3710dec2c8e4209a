#pragma once

#include <cstdint>
#include <string>
#include <string_view>

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

} // namespace tovarine::textformat
