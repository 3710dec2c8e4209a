#pragma once

#include <QString>
#include <cstdint>

namespace tovarine {

// A progress event relayed from the engine page.
struct EngineEvent
{
    enum class Kind { ready, stage, probe, log };
    Kind kind = Kind::log;
    QString text;        // ready: the engine's name; stage: the stage name; probe: the summary; log: the line
    std::int64_t ms = 0; // stage only

    bool operator==(const EngineEvent&) const = default;
};

} // namespace tovarine
