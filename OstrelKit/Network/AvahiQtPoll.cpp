#include "AvahiQtPoll.h"

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <limits>
#include <sys/time.h>

// The library declares these types but leaves their contents to the poll implementation.
struct AvahiWatch
{
    int fd = -1;
    AvahiWatchEvent wanted = static_cast<AvahiWatchEvent>(0);
    AvahiWatchEvent happened = static_cast<AvahiWatchEvent>(0);
    AvahiWatchCallback callback = nullptr;
    void* userdata = nullptr;
    QSocketNotifier* readNotifier = nullptr;
    QSocketNotifier* writeNotifier = nullptr;
};

struct AvahiTimeout
{
    AvahiTimeoutCallback callback = nullptr;
    void* userdata = nullptr;
    QTimer* timer = nullptr;
};

namespace ostrel {
namespace {

void fireWatch(AvahiWatch* watch, AvahiWatchEvent event)
{
    watch->happened = event;
    // The callback may free the watch: nothing touches it afterwards.
    watch->callback(watch, watch->fd, event, watch->userdata);
}

void applyWanted(AvahiWatch* watch)
{
    watch->readNotifier->setEnabled((watch->wanted & AVAHI_WATCH_IN) != 0);
    watch->writeNotifier->setEnabled((watch->wanted & AVAHI_WATCH_OUT) != 0);
}

AvahiWatch* watchNew(const AvahiPoll*, int fd, AvahiWatchEvent event, AvahiWatchCallback callback,
                     void* userdata)
{
    auto* watch = new AvahiWatch;
    watch->fd = fd;
    watch->wanted = event;
    watch->callback = callback;
    watch->userdata = userdata;
    watch->readNotifier = new QSocketNotifier(fd, QSocketNotifier::Read);
    watch->writeNotifier = new QSocketNotifier(fd, QSocketNotifier::Write);
    QObject::connect(watch->readNotifier, &QSocketNotifier::activated,
                     [watch] { fireWatch(watch, AVAHI_WATCH_IN); });
    QObject::connect(watch->writeNotifier, &QSocketNotifier::activated,
                     [watch] { fireWatch(watch, AVAHI_WATCH_OUT); });
    applyWanted(watch);
    return watch;
}

void watchUpdate(AvahiWatch* watch, AvahiWatchEvent event)
{
    watch->wanted = event;
    applyWanted(watch);
}

AvahiWatchEvent watchGetEvents(AvahiWatch* watch)
{
    return watch->happened;
}

void watchFree(AvahiWatch* watch)
{
    // May run inside the notifier's own signal: disconnect now, delete the notifiers from the event loop.
    for (QSocketNotifier* notifier : {watch->readNotifier, watch->writeNotifier}) {
        notifier->setEnabled(false);
        QObject::disconnect(notifier, nullptr, nullptr, nullptr);
        notifier->deleteLater();
    }
    delete watch;
}

void armTimeout(AvahiTimeout* timeout, const struct timeval* tv)
{
    if (tv == nullptr) {
        timeout->timer->stop();
        return;
    }
    struct timeval now
    {
    };
    gettimeofday(&now, nullptr);
    const long long deltaMs = (static_cast<long long>(tv->tv_sec) - now.tv_sec) * 1000 +
                              (static_cast<long long>(tv->tv_usec) - now.tv_usec) / 1000;
    timeout->timer->start(
        static_cast<int>(std::clamp<long long>(deltaMs, 0, std::numeric_limits<int>::max())));
}

AvahiTimeout* timeoutNew(const AvahiPoll*, const struct timeval* tv, AvahiTimeoutCallback callback,
                         void* userdata)
{
    auto* timeout = new AvahiTimeout;
    timeout->callback = callback;
    timeout->userdata = userdata;
    timeout->timer = new QTimer;
    timeout->timer->setSingleShot(true);
    QObject::connect(timeout->timer, &QTimer::timeout,
                     [timeout] { timeout->callback(timeout, timeout->userdata); });
    armTimeout(timeout, tv);
    return timeout;
}

void timeoutUpdate(AvahiTimeout* timeout, const struct timeval* tv)
{
    armTimeout(timeout, tv);
}

void timeoutFree(AvahiTimeout* timeout)
{
    timeout->timer->stop();
    QObject::disconnect(timeout->timer, nullptr, nullptr, nullptr);
    timeout->timer->deleteLater();
    delete timeout;
}

} // namespace

AvahiQtPoll::AvahiQtPoll()
{
    m_poll.userdata = this;
    m_poll.watch_new = watchNew;
    m_poll.watch_update = watchUpdate;
    m_poll.watch_get_events = watchGetEvents;
    m_poll.watch_free = watchFree;
    m_poll.timeout_new = timeoutNew;
    m_poll.timeout_update = timeoutUpdate;
    m_poll.timeout_free = timeoutFree;
}

} // namespace ostrel
