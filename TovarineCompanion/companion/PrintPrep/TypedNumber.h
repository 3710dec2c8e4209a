#pragma once

#include <QString>
#include <optional>

// How the panels read a typed number and the unit setting. Any thread.
namespace tovarine::TypedNumber {

inline constexpr double kMillimetresPerInch = 25.4;

// The whole text read as a decimal floating-point number ("12", "0.5", "+3", "1e2", "inf"), kept only when it
// is greater than zero. Leading or trailing spaces, a decimal comma, letters, "nan", zero and negative values
// give none. An infinite value passes: callers that name files or size tools refuse it themselves.
std::optional<double> parse(const QString& text);

// The unit setting "tovarine.units": "in" means inches, any other value millimetres.
bool isInches(const QString& units);

// `value` typed in `units`, in millimetres.
double toMillimetres(double value, const QString& units);

// The unit label: "in" for inches, else "mm".
QString unitLabel(const QString& units);

} // namespace tovarine::TypedNumber
