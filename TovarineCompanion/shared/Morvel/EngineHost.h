#pragma once

#include "BootClockTimer.h"
#include "EngineEvent.h"
#include "EngineFailure.h"
#include "Expected.h"
#include "MorvelScan.h"

#include <QJsonObject>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>

class QWebEnginePage;
class QWebEngineProfile;
class QWebEngineLoadingInfo;

namespace tovarine {

class EngineBridge;
class EngineSchemeHandler;
class IdleInhibitor;

// Runs the outside engine page for one scan in a hidden page: serves the scan to it, relays its progress
// messages, starts it once it is ready, and hands back its reply JSON or an EngineFailure. One host serves
// one run; after the finish it holds no page, timer, lock or scan data.
// GUI thread only.
class EngineHost : public QObject
{
    Q_OBJECT
public:
    using EventCallback = std::function<void(const EngineEvent&)>;
    using FinishCallback = std::function<void(const Expected<QString, EngineFailure>&)>;

    // The engine folder comes from MorvelEngineLocator when the host is made.
    explicit EngineHost(QObject* parent = nullptr);
    // Tears down silently: a run still under way never calls its finish callback.
    ~EngineHost() override;

    // Starts the run and returns at once. `onFinished` is called exactly once, later, from the event loop:
    // with the reply, or with notBundled (no engine folder; nothing is built), cancelled, timedOut(limit),
    // loadFailed, engine(message) or processEnded. `onEvent` gets the progress events until the finish.
    // The first call wins; a second call to run() finishes its own callback with engine("host already used").
    void run(const MorvelScan& scan, const QJsonObject& options, int timeLimitSeconds, EventCallback onEvent,
             FinishCallback onFinished);
    // Finishes the run with cancelled; nothing when it has finished.
    void cancel();

    // The page's renderer process id while a page exists, else 0 (tests end the renderer with it).
    qint64 renderProcessPid() const;

private:
    void start(const MorvelScan& scan, int timeLimitSeconds);
    void received(const QString& json);
    void finish(const Expected<QString, EngineFailure>& result);
    void tearDown();
    void onLoadingChanged(const QWebEngineLoadingInfo& info);

    EngineSchemeHandler* m_files = nullptr;
    QPointer<QWebEngineProfile> m_profile;
    QPointer<QWebEnginePage> m_page;
    EngineBridge* m_bridge = nullptr;
    FinishCallback m_finish;
    // The time limit counts while the computer sleeps.
    BootClockTimer m_timeout;
    int m_timeLimitSeconds = 0;
    QJsonObject m_options;
    EventCallback m_onEvent;
    bool m_isReady = false;
    bool m_used = false;
    IdleInhibitor* m_activity = nullptr;
};

} // namespace tovarine
