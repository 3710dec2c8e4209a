#include "BootClockTimer.h"

#include <algorithm>
#include <ctime>

namespace tovarine {

BootClockTimer::BootClockTimer(QObject* parent) : QObject(parent), m_clock(&BootClockTimer::bootClockMs)
{
    m_tick.setSingleShot(true);
    m_tick.setTimerType(Qt::PreciseTimer);
    connect(&m_tick, &QTimer::timeout, this, &BootClockTimer::check);
}

qint64 BootClockTimer::bootClockMs()
{
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000;
}

void BootClockTimer::setClockForTesting(Clock clock, int checkIntervalMs)
{
    m_clock = std::move(clock);
    m_checkIntervalMs = checkIntervalMs;
}

void BootClockTimer::start(qint64 limitMs)
{
    m_deadlineMs = m_clock() + std::max<qint64>(limitMs, 0);
    m_active = true;
    check();
}

void BootClockTimer::stop()
{
    m_active = false;
    m_tick.stop();
}

void BootClockTimer::check()
{
    if (!m_active) {
        return;
    }
    const qint64 remainingMs = m_deadlineMs - m_clock();
    if (remainingMs <= 0) {
        stop();
        emit expired();
        return;
    }
    m_tick.start(int(std::min<qint64>(remainingMs, m_checkIntervalMs)));
}

} // namespace tovarine
