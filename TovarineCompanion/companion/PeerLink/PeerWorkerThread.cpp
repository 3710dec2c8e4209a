#include "PeerWorkerThread.h"

namespace tovarine {

PeerWorkerThread::PeerWorkerThread(const QString& name)
{
    m_thread.setObjectName(name);
    m_context = new QObject;
    m_context->moveToThread(&m_thread);
    QObject::connect(&m_thread, &QThread::finished, m_context, &QObject::deleteLater);
    m_thread.start();
}

PeerWorkerThread::~PeerWorkerThread()
{
    m_thread.quit();
    m_thread.wait();
}

void PeerWorkerThread::post(std::function<void()> work)
{
    QMetaObject::invokeMethod(m_context, std::move(work), Qt::QueuedConnection);
}

void PeerWorkerThread::runAndWait(const std::function<void()>& work)
{
    if (isCurrent()) {
        work();
    } else {
        QMetaObject::invokeMethod(m_context, work, Qt::BlockingQueuedConnection);
    }
}

} // namespace tovarine
