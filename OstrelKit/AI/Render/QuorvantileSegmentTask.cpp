#include "QuorvantileSegmentTask.h"

#include <QMetaObject>

namespace ostrel {

void QuorvantileThreadPost::post(std::function<void()> work)
{
    std::lock_guard lock(m_mutex);
    if (m_context) {
        QMetaObject::invokeMethod(m_context, std::move(work), Qt::QueuedConnection);
    }
}

void QuorvantileThreadPost::close()
{
    std::lock_guard lock(m_mutex);
    m_context = nullptr;
}

} // namespace ostrel
