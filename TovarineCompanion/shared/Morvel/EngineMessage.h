#pragma once

#include "EngineEvent.h"
#include "EngineFailure.h"

#include <QJsonObject>
#include <QString>
#include <optional>

namespace tovarine {

// What the host does with one message from the page, decided without the web engine.
struct EngineMessageAction
{
    enum class Kind {
        ignore,        // another shape or type
        ready,         // first "ready": event, then the start call (the host ignores repeats)
        event,         // send `event`
        finishReply,   // end the run with `reply`
        finishFailure, // end the run with `failure`
        pageError,     // "error": `failure` (loadFailed) before ready, else `event` (log)
    };
    Kind kind = Kind::ignore;
    EngineEvent event;
    QString reply;
    EngineFailure failure;
};

// Reads one message body (the dictionary the page posted on "engine"). Fields and defaults: "ready" "engine"
// ("?"); "stage" "name" ("?"), "ms" integer part saturated (0; NaN and infinities count as missing); "probe"
// "works" (false), "why", "ms"; "result" "json" (none: failure "engine returned nothing"); "failed" "message"
// ("engine failed"); "error" "message" ("unknown"). Any thread; pure.
EngineMessageAction interpretEngineMessage(const QJsonObject& body);

} // namespace tovarine
