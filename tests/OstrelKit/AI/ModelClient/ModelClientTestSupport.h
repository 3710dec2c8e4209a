#pragma once

#include "HangCeiling.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <optional>

namespace tovarine::test {

// Catches the one value an asynchronous client call ends with, and runs the event loop until it comes.
template <typename T> class Outcome
{
public:
    auto callback()
    {
        return [this](const T& value) {
            ++m_calls;
            m_value = value;
        };
    }
    // True once the call ended; gives up after `timeoutMs` (a ceiling that only catches a hang).
    bool wait(int timeoutMs = kHangCeilingMs)
    {
        QElapsedTimer timer;
        timer.start();
        while (!m_value && timer.elapsed() < timeoutMs) {
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
        }
        return m_value.has_value();
    }
    const T& operator*() const { return *m_value; }
    const T* operator->() const { return &*m_value; }
    bool ended() const { return m_value.has_value(); }
    int calls() const { return m_calls; }

private:
    std::optional<T> m_value;
    int m_calls = 0;
};

// Runs the event loop for `ms` (to show that something does not happen).
inline void spinFor(int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 10);
    }
}

} // namespace tovarine::test
