#include "MeshToolFailure.h"

namespace tovarine {

QString MeshToolFailure::describe(const QString& writeWhat) const
{
    switch (kind) {
    case Kind::read:
        return QStringLiteral("couldn't read mesh: ") + text;
    case Kind::write:
        return QStringLiteral("couldn't write ") + writeWhat + QStringLiteral(": ") + text;
    case Kind::empty:
        return QStringLiteral("mesh had no usable geometry");
    case Kind::thickness:
        return QStringLiteral("thickness must be a number of millimetres above 0, at most 1000000");
    case Kind::range:
        return QStringLiteral("coordinates out of range: ") + text;
    case Kind::cancelled:
        return QStringLiteral("cancelled");
    }
    return {};
}

} // namespace tovarine
