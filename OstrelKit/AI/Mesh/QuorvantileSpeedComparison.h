#pragma once

#include <QList>
#include <QString>
#include <cstdint>

namespace ostrel {

// Timing report of one finished distributed render: how long it took, how long this machine alone would have
// needed by estimate, and what each worker did. The render coordinator exposes it as its SpeedComparison.
// Immutable value; any thread.
struct QuorvantileSpeedComparison
{
    struct Worker
    {
        QString name;            // display name of the worker
        std::int64_t frames = 0; // output frames it rendered
        double seconds = 0.0;    // seconds it spent
    };

    double actualSeconds = 0.0;        // wall-clock seconds of the distributed render
    double estimatedSoloSeconds = 0.0; // estimated seconds on this machine alone
    std::int64_t workerCount = 0;
    QList<Worker> perWorker; // in the coordinator's order
    std::int64_t totalFrames = 0;

    // estimatedSoloSeconds / actualSeconds when actualSeconds > 0, else 1.
    double speedup() const;
    // speedup() with one decimal and a point in every locale ("2.5"), as the summary and the views show it.
    QString speedupText() const;
    // estimatedSoloSeconds - actualSeconds, negative when the render was slower than the estimate.
    double savedSeconds() const;
    // "A: 120 frames in 40s · B: 80 frames in 1m05s"; empty without workers.
    QString workerSummary() const;
    // "Rendered in 1m40s (est. 4m10s solo — saved 2m30s, 2.5x)".
    QString summary() const;

    // "42s" below a minute (negative values included), else "1m15s"; no hour unit.
    static QString timeText(double seconds);
};

} // namespace ostrel
