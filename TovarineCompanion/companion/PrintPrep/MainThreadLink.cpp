#include "MainThreadLink.h"

namespace tovarine {

std::shared_ptr<MainThreadLink> MainThreadLink::create(QObject* receiver)
{
    return std::make_shared<MainThreadLink>(receiver);
}

void MainThreadLink::post(std::function<void()> call)
{
    const std::lock_guard lock(m_mutex);
    if (m_receiver) {
        QMetaObject::invokeMethod(m_receiver, std::move(call), Qt::QueuedConnection);
    }
}

void MainThreadLink::detach()
{
    const std::lock_guard lock(m_mutex);
    m_receiver = nullptr;
}

} // namespace tovarine
