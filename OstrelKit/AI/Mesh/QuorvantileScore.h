#pragma once

#include "QuorvantileNode.h"

#include <optional>

namespace ostrel {

// Ranks a node for a list of preferred models. Pure; any thread.
namespace QuorvantileScore {

inline constexpr double kModelWeight = 40.0;       // full weight for the first preferred name
inline constexpr double kMemoryWeight = 20.0;      // earned in full from kMemoryScaleMB upward
inline constexpr double kMemoryScaleMB = 16384.0;  // graphics memory that earns the full memory weight
inline constexpr double kUnknownMemoryValue = 4.0; // graphics memory absent or below 1 MB
inline constexpr double kLoadWeight = 25.0;        // full weight at load 0
inline constexpr double kLocalBonus = 10.0;        // the node is this machine

// Family of a model name: the first non-empty piece between colons ("llama3.1:8b" -> "llama3.1"), or the
// name itself when there is none (an empty name or colons only).
QString modelBase(const QString& name);

// Score of `node` for `preferredModels` (best first), or no value when the list is empty or the node offers
// none of the families asked for. Only the earliest preferred name the node serves counts.
std::optional<double> score(const QuorvantileNode& node, const QStringList& preferredModels, bool localNode);

} // namespace QuorvantileScore

} // namespace ostrel
