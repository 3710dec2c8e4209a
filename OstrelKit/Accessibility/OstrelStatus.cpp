#include "OstrelStatus.h"

namespace ostrel::OstrelStatus {

QString symbol(Status status)
{
    switch (status) {
    case Status::ok:
        return QStringLiteral("checkmark.circle.fill");
    case Status::warning:
        return QStringLiteral("exclamationmark.triangle.fill");
    case Status::error:
        return QStringLiteral("xmark.circle.fill");
    case Status::info:
        return QStringLiteral("info.circle.fill");
    case Status::inactive:
        break;
    }
    return QStringLiteral("circle");
}

QColor color(Status status)
{
    switch (status) {
    case Status::ok:
        return QColor::fromRgbF(0.30f, 0.90f, 0.55f);
    case Status::warning:
        return QColor::fromRgbF(0.95f, 0.70f, 0.10f);
    case Status::error:
        return QColor::fromRgbF(0.90f, 0.25f, 0.20f);
    case Status::info:
        return QColor::fromRgbF(0.30f, 0.90f, 0.95f);
    case Status::inactive:
        break;
    }
    return QColor(Qt::gray);
}

QString accessibilityLabel(Status status)
{
    switch (status) {
    case Status::ok:
        return QStringLiteral("OK");
    case Status::warning:
        return QStringLiteral("Warning");
    case Status::error:
        return QStringLiteral("Error");
    case Status::info:
        return QStringLiteral("Information");
    case Status::inactive:
        break;
    }
    return QStringLiteral("Inactive");
}

} // namespace ostrel::OstrelStatus
