#include "EngineFailure.h"

namespace tovarine {

QString EngineFailure::localizedDescription() const
{
    switch (kind) {
    case Kind::timedOut:
        return QStringLiteral("stopped after %1 s").arg(seconds);
    case Kind::loadFailed:
        return QStringLiteral("engine failed to load (%1)").arg(text);
    case Kind::engine:
        return text;
    case Kind::notBundled:
        return QStringLiteral("engine missing from this build");
    case Kind::processEnded:
        return QStringLiteral("the system stopped the engine (likely memory)");
    case Kind::cancelled:
        return QStringLiteral("stopped");
    }
    return {};
}

QString EngineFailure::debugDescription() const
{
    switch (kind) {
    case Kind::timedOut:
        return QStringLiteral("EngineFailure.timedOut(seconds: %1)").arg(seconds);
    case Kind::loadFailed:
        return QStringLiteral("EngineFailure.loadFailed(\"%1\")").arg(text);
    case Kind::engine:
        return QStringLiteral("EngineFailure.engine(\"%1\")").arg(text);
    case Kind::notBundled:
        return QStringLiteral("EngineFailure.notBundled");
    case Kind::processEnded:
        return QStringLiteral("EngineFailure.processEnded");
    case Kind::cancelled:
        return QStringLiteral("EngineFailure.cancelled");
    }
    return {};
}

} // namespace tovarine
