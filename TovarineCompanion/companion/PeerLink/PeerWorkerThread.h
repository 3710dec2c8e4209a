#pragma once

#include <QObject>
#include <QThread>
#include <functional>

namespace tovarine {

// The one thread a transport runs on and delivers its callbacks from, in the order work was handed to it.
// Started when made, stopped (after the work already handed over) when destroyed. Any thread.
class PeerWorkerThread
{
public:
    explicit PeerWorkerThread(const QString& name);
    ~PeerWorkerThread();

    // Runs `work` on the thread later.
    void post(std::function<void()> work);
    // Runs `work` on the thread and waits for it (at once when already there). Everything posted earlier has
    // run when it returns.
    void runAndWait(const std::function<void()>& work);
    bool isCurrent() const { return QThread::currentThread() == &m_thread; }
    // An object living on the thread, for timers and queued calls.
    QObject* context() const { return m_context; }

private:
    QThread m_thread;
    QObject* m_context = nullptr;
};

} // namespace tovarine
