#pragma once

#include <QByteArray>
#include <optional>

// Turns the chain's stages and COLMAP's own progress lines into one fraction in 0...1. Any thread.
namespace tovarine::ColmapProgress {

enum class Stage { prepare, extract, match, map, convert, points, mesh, cleanup };

// The overall fraction at which `stage` starts and ends.
double stageStart(Stage stage);
double stageEnd(Stage stage);

// Overall fraction for a position `within` (0...1) in `stage`.
double overall(Stage stage, double within);

// The position within `stage` that a COLMAP output line reports, or nothing for other lines:
// "Processed file [i/N]" (extract), "Matching image [i/N]" and "Matching block [a/B, b/B]" (match),
// "Registering image #id (n)" (map; n of frameCount).
std::optional<double> parseLine(Stage stage, const QByteArray& line, int frameCount);

// Slow creep for stages without progress lines: approaches 0.95 with time constant tauSeconds.
double creep(double elapsedSeconds, double tauSeconds);

} // namespace tovarine::ColmapProgress
