#pragma once

#include "OllamaError.h"

#include <optional>
#include <utility>
#include <variant>

namespace ostrel {

// The outcome of one asynchronous client call: a value or an OllamaError. Plain value; any thread.
template <typename T>
class OllamaResult
{
public:
    OllamaResult(T value) : m_state(std::move(value)) {}
    OllamaResult(OllamaError error) : m_state(std::move(error)) {}

    bool ok() const { return std::holds_alternative<T>(m_state); }
    explicit operator bool() const { return ok(); }
    // Only when ok().
    const T& value() const { return std::get<T>(m_state); }
    // Only when !ok().
    const OllamaError& error() const { return std::get<OllamaError>(m_state); }

private:
    std::variant<T, OllamaError> m_state;
};

template <>
class OllamaResult<void>
{
public:
    OllamaResult() = default;
    OllamaResult(OllamaError error) : m_error(std::move(error)) {}

    bool ok() const { return !m_error.has_value(); }
    explicit operator bool() const { return ok(); }
    const OllamaError& error() const { return *m_error; }

private:
    std::optional<OllamaError> m_error;
};

} // namespace ostrel
