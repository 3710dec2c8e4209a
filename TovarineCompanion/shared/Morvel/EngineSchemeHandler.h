#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QWebEngineUrlSchemeHandler>

namespace tovarine {

// Answers the engine page's requests on "tovarine-engine": the in-memory scan files first, else files under
// the engine folder (EngineSchemeRules). The web engine of this platform cannot send a 404, so a file that is
// not found fails the request (UrlNotFound) after the log line; a request without a valid URL fails with
// UrlInvalid. Nothing is cached. GUI thread only.
class EngineSchemeHandler : public QWebEngineUrlSchemeHandler
{
    Q_OBJECT
public:
    // `root`: the engine folder, or empty when the build has none.
    explicit EngineSchemeHandler(const QString& root, QObject* parent = nullptr);

    const QString& root() const { return m_root; }
    // Path (without leading "/") to bytes; the host fills the two scan files and empties it on tear-down.
    QHash<QString, QByteArray> blobs;

    void requestStarted(QWebEngineUrlRequestJob* job) override;

private:
    QString m_root;
};

} // namespace tovarine
