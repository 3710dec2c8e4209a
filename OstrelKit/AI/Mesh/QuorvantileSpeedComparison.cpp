#include "QuorvantileSpeedComparison.h"

#include "OstrelNumberFormat.h"

#include <QStringList>
#include <cmath>
#include <cstdio>

namespace ostrel {

double QuorvantileSpeedComparison::speedup() const
{
    return actualSeconds > 0.0 ? estimatedSoloSeconds / actualSeconds : 1.0;
}

QString QuorvantileSpeedComparison::speedupText() const
{
    return OstrelNumberFormat::fixed(speedup(), 1);
}

double QuorvantileSpeedComparison::savedSeconds() const
{
    return estimatedSoloSeconds - actualSeconds;
}

QString QuorvantileSpeedComparison::timeText(double seconds)
{
    if (!std::isfinite(seconds)) {
        return QStringLiteral("—");
    }
    if (seconds < 60.0) {
        return OstrelNumberFormat::fixed(seconds, 0) + QLatin1Char('s');
    }
    const auto whole = static_cast<std::int64_t>(std::trunc(seconds));
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%lldm%02ds", static_cast<long long>(whole / 60),
                  static_cast<int>(whole % 60));
    return QString::fromLatin1(buffer);
}

QString QuorvantileSpeedComparison::workerSummary() const
{
    QStringList parts;
    for (const Worker& worker : perWorker) {
        parts.append(worker.name + QStringLiteral(": ") + QString::number(worker.frames) +
                     QStringLiteral(" frames in ") + timeText(worker.seconds));
    }
    return parts.join(QStringLiteral(" \u00B7 "));
}

QString QuorvantileSpeedComparison::summary() const
{
    return QStringLiteral("Rendered in ") + timeText(actualSeconds) + QStringLiteral(" (est. ") +
           timeText(estimatedSoloSeconds) + QStringLiteral(" solo \u2014 saved ") + timeText(savedSeconds()) +
           QStringLiteral(", ") + speedupText() + QStringLiteral("x)");
}

} // namespace ostrel
