#pragma once

#include <QJsonValue>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>

// Integer readings of numbers that come from outside (the engine page, the phone's settings file).
// Any thread; pure functions.
namespace tovarine::JsonNumbers {

// The integer part of `value`, saturated to the int64 range; nothing for NaN and infinities.
inline std::optional<std::int64_t> saturatedInteger(double value)
{
    if (!std::isfinite(value)) {
        return std::nullopt;
    }
    const double truncated = std::trunc(value);
    // 2^63 is exactly representable; anything at or above it saturates.
    if (truncated >= 9223372036854775808.0) {
        return std::numeric_limits<std::int64_t>::max();
    }
    if (truncated <= -9223372036854775808.0) {
        return std::numeric_limits<std::int64_t>::min();
    }
    return static_cast<std::int64_t>(truncated);
}

// saturatedInteger of a JSON number; nothing for any other kind of value.
inline std::optional<std::int64_t> integerOf(const QJsonValue& value)
{
    if (!value.isDouble()) {
        return std::nullopt;
    }
    if (value.toVariant().typeId() == QMetaType::LongLong) {
        return value.toInteger();
    }
    return saturatedInteger(value.toDouble());
}

} // namespace tovarine::JsonNumbers
