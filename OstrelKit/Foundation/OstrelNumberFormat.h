#pragma once

#include <QString>

// Numbers for display, written the way C's printf writes them in the C locale, whatever the user's locale.
// Any thread; no state.
namespace ostrel::OstrelNumberFormat {

// `value` as "%.<decimals>f" writes it: the exact binary value is rounded, so a tie goes to the even digit
// (2.25 with one decimal is "2.2", 1.625 with two is "1.62"), while 2.35 (stored just above 2.35) gives
// "2.4". A negative value that rounds to zero keeps its sign ("-0.0"); values that are not finite give "inf",
// "-inf" or "nan". `decimals` below 0 counts as 0.
QString fixed(double value, int decimals);

} // namespace ostrel::OstrelNumberFormat
