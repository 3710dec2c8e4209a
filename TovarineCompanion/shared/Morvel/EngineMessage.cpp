#include "EngineMessage.h"

#include "JsonNumbers.h"

namespace tovarine {

namespace {

QString stringOr(const QJsonObject& body, const char* key, const QString& fallback)
{
    const QJsonValue value = body.value(QLatin1String(key));
    return value.isString() ? value.toString() : fallback;
}

std::int64_t milliseconds(const QJsonObject& body)
{
    return JsonNumbers::integerOf(body.value(QLatin1String("ms"))).value_or(0);
}

} // namespace

EngineMessageAction interpretEngineMessage(const QJsonObject& body)
{
    EngineMessageAction action;
    const QJsonValue type = body.value(QLatin1String("type"));
    if (!type.isString()) {
        return action;
    }
    const QString kind = type.toString();
    if (kind == QLatin1String("ready")) {
        action.kind = EngineMessageAction::Kind::ready;
        action.event = {EngineEvent::Kind::ready, stringOr(body, "engine", QStringLiteral("?")), 0};
    } else if (kind == QLatin1String("stage")) {
        action.kind = EngineMessageAction::Kind::event;
        action.event = {EngineEvent::Kind::stage, stringOr(body, "name", QStringLiteral("?")),
                        milliseconds(body)};
    } else if (kind == QLatin1String("probe")) {
        const QJsonValue works = body.value(QLatin1String("works"));
        const QJsonValue why = body.value(QLatin1String("why"));
        QString summary;
        if (works.isBool() && works.toBool()) {
            summary = QStringLiteral("module worker + wasm ran in %1 ms").arg(milliseconds(body));
            if (why.isString()) {
                summary += QStringLiteral(" (%1)").arg(why.toString());
            }
        } else {
            summary = QStringLiteral("no worker: ") + (why.isString() ? why.toString() : QStringLiteral("?"));
        }
        action.kind = EngineMessageAction::Kind::event;
        action.event = {EngineEvent::Kind::probe, summary, 0};
    } else if (kind == QLatin1String("result")) {
        const QJsonValue json = body.value(QLatin1String("json"));
        if (json.isString()) {
            action.kind = EngineMessageAction::Kind::finishReply;
            action.reply = json.toString();
        } else {
            action.kind = EngineMessageAction::Kind::finishFailure;
            action.failure = EngineFailure::engine(QStringLiteral("engine returned nothing"));
        }
    } else if (kind == QLatin1String("failed")) {
        action.kind = EngineMessageAction::Kind::finishFailure;
        action.failure = EngineFailure::engine(stringOr(body, "message", QStringLiteral("engine failed")));
    } else if (kind == QLatin1String("error")) {
        const QString message = stringOr(body, "message", QStringLiteral("unknown"));
        action.kind = EngineMessageAction::Kind::pageError;
        action.failure = EngineFailure::loadFailed(message);
        action.event = {EngineEvent::Kind::log, QStringLiteral("page error: ") + message, 0};
    }
    return action;
}

} // namespace tovarine
