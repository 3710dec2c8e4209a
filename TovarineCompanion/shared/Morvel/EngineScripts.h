#pragma once

#include <QJsonObject>
#include <QString>

// Script texts the host puts into the engine page. Any thread; pure.
namespace tovarine::EngineScripts {

// Run at document creation in the main world: the web channel client, the message channel
// window.webkit.messageHandlers.engine (each posted dictionary goes to the bridge as JSON; messages posted
// before the channel connects are queued in order), and a fetch() for "tovarine-engine" URLs built on
// XMLHttpRequest (the web engine of this platform refuses fetch on custom schemes).
QString documentCreationScript();

// Calls window.tovarineMorvel.start(opts) as an async function with `options` and reports, through the
// bridge, success or the text of the thrown error or rejection.
QString startCall(const QJsonObject& options);

} // namespace tovarine::EngineScripts
