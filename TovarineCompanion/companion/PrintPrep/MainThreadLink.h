#pragma once

#include <QObject>
#include <functional>
#include <memory>
#include <mutex>

namespace tovarine {

// Carries calls from a worker thread to the thread of a receiver (a panel) for as long as that receiver is
// attached. The panel detaches in its destructor; from then on posts are dropped, and calls already queued
// are discarded with the receiver, so a panel that is gone is never touched by a late callback. Calls run in
// the order they were posted. Share it as std::shared_ptr between the panel and its workers.
class MainThreadLink
{
public:
    // GUI thread: `receiver` must outlive the link or detach() first.
    static std::shared_ptr<MainThreadLink> create(QObject* receiver);

    explicit MainThreadLink(QObject* receiver) : m_receiver(receiver) {}

    // Any thread: queues `call` to run on the receiver's thread; dropped once detached.
    void post(std::function<void()> call);

    // The receiver's thread: stops every later post.
    void detach();

private:
    std::mutex m_mutex;
    QObject* m_receiver = nullptr; // guarded by m_mutex
};

} // namespace tovarine
