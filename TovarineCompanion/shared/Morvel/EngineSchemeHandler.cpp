#include "EngineSchemeHandler.h"

#include "EngineSchemeRules.h"

#include <QBuffer>
#include <QWebEngineUrlRequestJob>
#include <QtDebug>

namespace tovarine {

EngineSchemeHandler::EngineSchemeHandler(const QString& root, QObject* parent)
    : QWebEngineUrlSchemeHandler(parent), m_root(root)
{
}

void EngineSchemeHandler::requestStarted(QWebEngineUrlRequestJob* job)
{
    const QUrl url = job->requestUrl();
    if (!url.isValid()) {
        job->fail(QWebEngineUrlRequestJob::UrlInvalid);
        return;
    }
    const EngineSchemeRules::Answer answer = EngineSchemeRules::answer(url, blobs, m_root);
    if (answer.status != 200) {
        qInfo().noquote() << answer.logLine;
        job->fail(QWebEngineUrlRequestJob::UrlNotFound);
        return;
    }
    // The buffer shares the bytes (no copy) and lives as long as the job.
    auto* buffer = new QBuffer(job);
    buffer->setData(answer.body);
    buffer->open(QIODevice::ReadOnly);
    job->reply(answer.mimeType.toUtf8(), buffer);
}

} // namespace tovarine
