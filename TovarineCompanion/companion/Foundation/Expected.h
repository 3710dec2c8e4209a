#pragma once

#include <utility>
#include <variant>

namespace tovarine {

// The failure side of an Expected; construct with unexpected(error).
template <class E>
struct Unexpected
{
    E error;
};

template <class E>
Unexpected<std::decay_t<E>> unexpected(E&& error)
{
    return {std::forward<E>(error)};
}

// A value or an error: the result type of operations whose failures are expected (bad input, missing files).
// Accessing value() on an error (or error() on a value) is a programming error and throws std::bad_variant_access.
template <class T, class E>
class Expected
{
public:
    Expected(T value) : m_data(std::in_place_index<0>, std::move(value)) {}
    Expected(Unexpected<E> failure) : m_data(std::in_place_index<1>, std::move(failure.error)) {}

    bool hasValue() const { return m_data.index() == 0; }
    explicit operator bool() const { return hasValue(); }

    T& value() & { return std::get<0>(m_data); }
    const T& value() const& { return std::get<0>(m_data); }
    T&& value() && { return std::get<0>(std::move(m_data)); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }

    const E& error() const { return std::get<1>(m_data); }

private:
    std::variant<T, E> m_data;
};

// Success carries nothing.
template <class E>
class Expected<void, E>
{
public:
    Expected() = default;
    Expected(Unexpected<E> failure) : m_failed(true), m_error(std::move(failure.error)) {}

    bool hasValue() const { return !m_failed; }
    explicit operator bool() const { return hasValue(); }
    const E& error() const { return m_error; }

private:
    bool m_failed = false;
    E m_error{};
};

} // namespace tovarine
