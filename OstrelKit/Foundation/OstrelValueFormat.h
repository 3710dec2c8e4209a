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

// The number a text shows: its value and how many digits it has after the decimal point when written out in
// fixed notation ("0.75" 2, "299" 0, "1.5e-3" 4, "2.5e+02" 0).
struct ShownNumber
{
    double value = 0.0;
    int decimals = 0;
};

// The first number in `text` at or after `from`: an optional sign, digits with an optional point and fraction
// (or a point and a fraction), and an optional exponent. Absent when there is none or its value is not finite
// ("nan", "inf").
std::optional<ShownNumber> shownNumber(const QString& text, qsizetype from = 0);

// How many characters a `format` that problem() accepts writes before its number: the literal text before the
// conversion, "%%" counting as one '%', up to a NUL (where the C library stops reading the format).
qsizetype literalPrefixLength(const QString& format);

} // namespace ostrel::OstrelValueFormat
