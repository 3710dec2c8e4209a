#include "BackgroundRun.h"

#include <QCoreApplication>
#include <QThreadPool>
#include <list>
#include <mutex>

namespace tovarine::BackgroundRun {

namespace {

struct Runs
{
    QThreadPool pool;
    std::mutex mutex;
    std::list<std::stop_source> running; // guarded by mutex
    bool quitHooked = false;             // GUI thread only
};

Runs& runs()
{
    static Runs instance;
    return instance;
}

} // namespace

void start(std::function<void(std::stop_token)> work)
{
    Runs& r = runs();
    if (!r.quitHooked && QCoreApplication::instance()) {
        r.quitHooked = true;
        QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, [] { stopAll(); });
    }
    std::list<std::stop_source>::iterator entry;
    {
        const std::lock_guard lock(r.mutex);
        entry = r.running.emplace(r.running.end());
    }
    const std::stop_token token = entry->get_token();
    r.pool.start([work = std::move(work), token, entry] {
        work(token);
        Runs& self = runs();
        const std::lock_guard lock(self.mutex);
        self.running.erase(entry);
    });
}

void stopAll()
{
    Runs& r = runs();
    {
        const std::lock_guard lock(r.mutex);
        for (std::stop_source& source : r.running) {
            source.request_stop();
        }
    }
    r.pool.waitForDone();
}

bool waitForIdle(int timeoutMs)
{
    return runs().pool.waitForDone(timeoutMs);
}

} // namespace tovarine::BackgroundRun
