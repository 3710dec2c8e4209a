#pragma once

#include <QObject>
#include <QTimer>
#include <QtGlobal>
#include <functional>

namespace tovarine {

// A single-shot time limit measured on the clock that keeps counting while the computer sleeps
// (CLOCK_BOOTTIME). A plain QTimer runs on the monotonic clock, which stops during suspend, so a limit of
// 15 minutes could stretch over a night's sleep. The remaining time is re-read from the boot clock at least
// every second, so a limit that ran out during a sleep ends within about a second of waking.
// Lives on one thread (the GUI thread for the engine host).
class BootClockTimer : public QObject
{
    Q_OBJECT
public:
    // Milliseconds since any fixed origin; must keep counting through suspend.
    using Clock = std::function<qint64()>;

    explicit BootClockTimer(QObject* parent = nullptr);

    // Starts (or restarts) the limit: expired() comes once, `limitMs` after now on the clock.
    void start(qint64 limitMs);
    // Stops it; nothing is emitted afterwards.
    void stop();
    bool isActive() const { return m_active; }

    // Replaces the clock and the longest wait between two readings of it (tests).
    void setClockForTesting(Clock clock, int checkIntervalMs);

    // CLOCK_BOOTTIME in milliseconds.
    static qint64 bootClockMs();

signals:
    void expired();

private:
    void check();

    Clock m_clock;
    int m_checkIntervalMs = 1000;
    qint64 m_deadlineMs = 0;
    bool m_active = false;
    QTimer m_tick;
};

} // namespace tovarine
