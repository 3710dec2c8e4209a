#pragma once

#include <QString>

namespace tovarine {

// Why an engine run ended without a reply. Compared by case and payload.
struct EngineFailure
{
    enum class Kind { timedOut, loadFailed, engine, notBundled, processEnded, cancelled };
    Kind kind = Kind::cancelled;
    int seconds = 0; // timedOut: the time limit
    QString text;    // loadFailed, engine: the cause

    static EngineFailure timedOut(int limitSeconds) { return {Kind::timedOut, limitSeconds, {}}; }
    static EngineFailure loadFailed(const QString& cause) { return {Kind::loadFailed, 0, cause}; }
    static EngineFailure engine(const QString& message) { return {Kind::engine, 0, message}; }
    static EngineFailure notBundled() { return {Kind::notBundled, 0, {}}; }
    static EngineFailure processEnded() { return {Kind::processEnded, 0, {}}; }
    static EngineFailure cancelled() { return {Kind::cancelled, 0, {}}; }

    // "stopped after <seconds> s", "engine failed to load (<text>)", the text itself,
    // "engine missing from this build", "the system stopped the engine (likely memory)", "stopped".
    QString localizedDescription() const;
    // The case name and payload, for log lines: "timedOut(seconds: 900)".
    QString debugDescription() const;

    bool operator==(const EngineFailure&) const = default;
};

} // namespace tovarine
