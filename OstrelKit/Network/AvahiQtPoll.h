#pragma once

#include <avahi-common/watch.h>

namespace ostrel {

// Runs the Avahi client library on Qt's event loop: file descriptors are watched with QSocketNotifier and
// timeouts are QTimers, so Avahi's callbacks arrive on the thread that owns this object, from its event loop.
// Create it on a thread with a running Qt event loop, and keep it alive longer than every AvahiClient made
// with poll(). One thread only.
class AvahiQtPoll
{
public:
    AvahiQtPoll();
    AvahiQtPoll(const AvahiQtPoll&) = delete;
    AvahiQtPoll& operator=(const AvahiQtPoll&) = delete;

    const AvahiPoll* poll() const { return &m_poll; }

private:
    AvahiPoll m_poll{};
};

} // namespace ostrel
