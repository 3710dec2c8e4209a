#pragma once

#include <QObject>
#include <QString>

namespace tovarine {

// The object the page's message shim talks to over the web channel (as "engineBridge"). It only relays; the
// host connects to its signals with itself as context, so messages that arrive after the host is gone are
// dropped. GUI thread only.
class EngineBridge : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // One message posted on window.webkit.messageHandlers.engine, as JSON text.
    Q_INVOKABLE void post(const QString& json) { emit messagePosted(json); }
    // The end of the start call: ok, or the exception's text.
    Q_INVOKABLE void startFinished(bool ok, const QString& message) { emit startCallFinished(ok, message); }

signals:
    void messagePosted(const QString& json);
    void startCallFinished(bool ok, const QString& message);
};

} // namespace tovarine
