#pragma once

#include <QString>
#include <optional>

namespace tovarine {

// Writes the result's `model.obj` from its model file in `unit` ("mm" or "in"), Z up, multiplier (1, 1, 1).
// Returns the failure's description, or nothing on success. Blocking: any thread except the GUI thread.
std::optional<QString> exportResultObj(const QString& meshPath, const QString& objPath, const QString& unit);

} // namespace tovarine
