#pragma once

#include <QString>
#include <optional>

// The user-facing progress steps of a fit, keyed by the stage the engine reports as finished.
// Any thread; pure.
namespace tovarine::MorvelProgress {

struct Step
{
    QString text;
    double fraction = 0;
    bool operator==(const Step&) const = default;
};

// The text of the work after stage `name` and its fraction (position x 0.9 / 10 + 0.08, position 1 to 9), for
// "loaded", "prepare", "topology", "decimate", "features", "reflow", "cage", "refit", "measure"; nothing for
// any other name.
std::optional<Step> nextStep(const QString& name);

} // namespace tovarine::MorvelProgress
