#include "EngineHost.h"

#include "EngineBridge.h"
#include "EngineMessage.h"
#include "EngineSchemeHandler.h"
#include "EngineSchemeRules.h"
#include "EngineScripts.h"
#include "IdleInhibitor.h"
#include "MorvelEngineLocator.h"

#include <QJsonDocument>
#include <QWebChannel>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>

namespace tovarine {

namespace {
const QString kPageUrl = QStringLiteral("tovarine-engine://app/host/morvel_host.html");
}

EngineHost::EngineHost(QObject* parent)
    : QObject(parent), m_files(new EngineSchemeHandler(MorvelEngineLocator::engineFolder(), this))
{
    connect(&m_timeout, &BootClockTimer::expired, this,
            [this] { finish(unexpected(EngineFailure::timedOut(m_timeLimitSeconds))); });
}

EngineHost::~EngineHost()
{
    m_finish = nullptr;
    tearDown();
}

void EngineHost::run(const MorvelScan& scan, const QJsonObject& options, int timeLimitSeconds,
                     EventCallback onEvent, FinishCallback onFinished)
{
    auto later = [this](FinishCallback callback, EngineFailure failure) {
        QMetaObject::invokeMethod(
            this, [callback = std::move(callback), failure] { callback(unexpected(failure)); },
            Qt::QueuedConnection);
    };
    if (m_used) {
        later(std::move(onFinished), EngineFailure::engine(QStringLiteral("host already used")));
        return;
    }
    m_used = true;
    m_finish = std::move(onFinished);
    if (m_files->root().isEmpty()) {
        QMetaObject::invokeMethod(
            this, [this] { finish(unexpected(EngineFailure::notBundled())); }, Qt::QueuedConnection);
        return;
    }
    m_options = options;
    m_onEvent = std::move(onEvent);
    start(scan, timeLimitSeconds);
}

void EngineHost::cancel()
{
    finish(unexpected(EngineFailure::cancelled()));
}

qint64 EngineHost::renderProcessPid() const
{
    return m_page ? m_page->renderProcessPid() : 0;
}

void EngineHost::start(const MorvelScan& scan, int timeLimitSeconds)
{
    m_files->blobs.insert(QLatin1String(EngineSchemeRules::kPositionsKey), scan.positions);
    m_files->blobs.insert(QLatin1String(EngineSchemeRules::kTrianglesKey), scan.triangles);

    // A profile without a storage name is off the record: nothing of the page is kept on disk.
    m_profile = new QWebEngineProfile();
    m_profile->installUrlSchemeHandler(EngineSchemeRules::kScheme, m_files);
    m_page = new QWebEnginePage(m_profile);
    // The profile must outlive its page.
    connect(m_page, &QObject::destroyed, m_profile, &QObject::deleteLater);

    QWebEngineScript shim;
    shim.setName(QStringLiteral("tovarine-engine-channel"));
    shim.setInjectionPoint(QWebEngineScript::DocumentCreation);
    shim.setWorldId(QWebEngineScript::MainWorld);
    shim.setRunsOnSubFrames(false);
    shim.setSourceCode(EngineScripts::documentCreationScript());
    m_page->scripts().insert(shim);

    m_bridge = new EngineBridge(m_page);
    auto* channel = new QWebChannel(m_page);
    channel->registerObject(QStringLiteral("engineBridge"), m_bridge);
    m_page->setWebChannel(channel, QWebEngineScript::MainWorld);
    connect(m_bridge, &EngineBridge::messagePosted, this, &EngineHost::received);
    connect(m_bridge, &EngineBridge::startCallFinished, this, [this](bool ok, const QString& message) {
        if (!ok) {
            finish(unexpected(EngineFailure::engine(message)));
        }
    });
    connect(m_page, &QWebEnginePage::loadingChanged, this, &EngineHost::onLoadingChanged);
    connect(m_page, &QWebEnginePage::renderProcessTerminated, this,
            [this] { finish(unexpected(EngineFailure::processEnded())); });

    m_activity = new IdleInhibitor(this);
    m_activity->begin(QStringLiteral("Making a Morvel"));

    m_timeLimitSeconds = timeLimitSeconds;
    m_timeout.start(qint64(timeLimitSeconds) * 1000);

    m_page->load(QUrl(kPageUrl));
    // A page that counts as hidden runs its timers about forty times slower.
    m_page->setVisible(true);
}

void EngineHost::onLoadingChanged(const QWebEngineLoadingInfo& info)
{
    if (info.status() == QWebEngineLoadingInfo::LoadFailedStatus) {
        const QString text = info.errorString().isEmpty() ? QStringLiteral("error %1").arg(info.errorCode())
                                                          : info.errorString();
        finish(unexpected(EngineFailure::loadFailed(text)));
    }
}

void EngineHost::received(const QString& json)
{
    const QJsonDocument document = QJsonDocument::fromJson(json.toUtf8());
    if (!document.isObject()) {
        return;
    }
    const EngineMessageAction action = interpretEngineMessage(document.object());
    auto send = [this](const EngineEvent& event) {
        if (m_onEvent) {
            m_onEvent(event);
        }
    };
    switch (action.kind) {
    case EngineMessageAction::Kind::ignore:
        return;
    case EngineMessageAction::Kind::ready:
        if (m_isReady || !m_page) {
            return;
        }
        m_isReady = true;
        send(action.event);
        if (m_page) {
            m_page->runJavaScript(EngineScripts::startCall(m_options), QWebEngineScript::MainWorld);
        }
        return;
    case EngineMessageAction::Kind::event:
        send(action.event);
        return;
    case EngineMessageAction::Kind::finishReply:
        finish(action.reply);
        return;
    case EngineMessageAction::Kind::finishFailure:
        finish(unexpected(action.failure));
        return;
    case EngineMessageAction::Kind::pageError:
        if (m_isReady) {
            send(action.event);
        } else {
            finish(unexpected(action.failure));
        }
        return;
    }
}

void EngineHost::finish(const Expected<QString, EngineFailure>& result)
{
    if (!m_finish) {
        return;
    }
    FinishCallback taken = std::move(m_finish);
    m_finish = nullptr;
    tearDown();
    taken(result);
}

void EngineHost::tearDown()
{
    m_timeout.stop();
    if (m_page) {
        m_page->disconnect(this);
        if (m_bridge) {
            m_bridge->disconnect(this);
            m_bridge = nullptr;
        }
        m_page->triggerAction(QWebEnginePage::Stop);
        // Deleted from the event loop: tear-down may run inside one of the page's own signals.
        m_page->deleteLater();
        m_page = nullptr;
    } else if (m_profile) {
        m_profile->deleteLater();
    }
    m_profile = nullptr;
    m_files->blobs.clear();
    m_onEvent = nullptr;
    if (m_activity) {
        m_activity->end();
        m_activity->deleteLater();
        m_activity = nullptr;
    }
}

} // namespace tovarine
