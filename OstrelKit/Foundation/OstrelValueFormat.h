#pragma once

#include <QString>

#include <optional>

// Caller-supplied printf-style formats for one number (a slider's spoken value, a preference read-out).
// Any thread; no state.
namespace ostrel::OstrelValueFormat {

// The largest width or precision a format may ask for.
inline constexpr int kMaxWidthOrPrecision = 64;

// Why `format` cannot format one double, or absent when it can: it must hold exactly one conversion of a
// floating-point kind (f F e E g G, with flags, width and precision up to kMaxWidthOrPrecision but no '*');
// "%%" is a literal percent sign and any other text is copied.
std::optional<QString> problem(const QString& format);

// `value` formatted with `format` as the C library does in the C locale; absent when problem() finds one.
std::optional<QString> format(const QString& format, double value);

} // namespace ostrel::OstrelValueFormat
