#pragma once

#include <QColor>
#include <QString>

// The status indicator's fixed vocabulary: each status with its symbol name, colour and spoken label.
// Any thread (plain values).
namespace ostrel::OstrelStatus {

enum class Status { ok, warning, error, info, inactive };

// "checkmark.circle.fill", "exclamationmark.triangle.fill", "xmark.circle.fill", "info.circle.fill",
// "circle".
QString symbol(Status status);
// sRGB (0.30, 0.90, 0.55), (0.95, 0.70, 0.10), (0.90, 0.25, 0.20), (0.30, 0.90, 0.95), and the standard grey
// for inactive.
QColor color(Status status);
// "OK", "Warning", "Error", "Information", "Inactive".
QString accessibilityLabel(Status status);

} // namespace ostrel::OstrelStatus
