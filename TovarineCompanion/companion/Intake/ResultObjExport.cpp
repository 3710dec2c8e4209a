#include "ResultObjExport.h"

#include "OBJExporter.h"

namespace tovarine {

std::optional<QString> exportResultObj(const QString& meshPath, const QString& objPath, const QString& unit)
{
    const std::optional<OBJExporter::Failure> failure =
        OBJExporter::exportModel(meshPath, objPath, unit, {1.0f, 1.0f, 1.0f});
    if (failure) {
        return failure->localizedDescription();
    }
    return std::nullopt;
}

} // namespace tovarine
