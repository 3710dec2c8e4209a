#pragma once

#include <QByteArray>
#include <optional>

// Turns the chain's stages and COLMAP's own progress lines into one fraction in 0...1. Any thread.
namespace tovarine::ColmapProgress {

enum class Stage { prepare, extract, match, map, convert, points, dense, mesh, cleanup };

// The overall fraction at which `stage` starts and ends; `dense`: the chain runs the dense stage, which then
// takes a large share of the run.
double stageStart(Stage stage, bool dense = false);
double stageEnd(Stage stage, bool dense = false);

// Overall fraction for a position `within` (0...1) in `stage`.
double overall(Stage stage, double within, bool dense = false);

// The position within `stage` that a COLMAP output line reports, or nothing for other lines:
// "Processed file [i/N]" (extract), "Matching image [i/N]" and "Matching block [a/B, b/B]" (match),
// "Registering image #id (n)" (map; n of frameCount).
std::optional<double> parseLine(Stage stage, const QByteArray& line, int frameCount);

// Slow creep for stages without progress lines: approaches 0.95 with time constant tauSeconds.
double creep(double elapsedSeconds, double tauSeconds);

} // namespace tovarine::ColmapProgress
