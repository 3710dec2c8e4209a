#pragma once

#include <QEasingCurve>

namespace ostrel {

// One named animation of the kit: a spring (response and damping) or an ease-in-out curve (duration).
// Qt has no spring animation; easingCurve() and durationMs() give the closest Qt curve, an out-cubic settle
// over the spring's response (the kit's springs are near-critically damped, so they do not overshoot
// visibly). Plain value; any thread.
struct OstrelAnimation
{
    enum class Kind { Spring, EaseInOut };

    Kind kind = Kind::EaseInOut;
    double responseS = 0.0;       // spring: time to settle, seconds
    double dampingFraction = 1.0; // spring: 1 is critical damping
    double blendDurationS = 0.0;  // spring: blend with a running animation, seconds
    double durationS = 0.0;       // curve: duration, seconds
    bool repeatsForever = false;
    bool autoreverses = false;

    static OstrelAnimation spring(double responseS, double dampingFraction, double blendDurationS = 0.0);
    static OstrelAnimation easeInOut(double durationS);

    // The same animation repeating forever, reversing on every repeat when `reverse`.
    OstrelAnimation repeatForever(bool reverse) const;

    int durationMs() const;
    QEasingCurve easingCurve() const;

    bool operator==(const OstrelAnimation&) const = default;
};

// The kit's three named timings and their durations as plain seconds. The animations are built once, on
// first use, and shared. Any thread.
namespace OstrelTiming {

const OstrelAnimation& interactive(); // spring, response 0.35 s, damping 0.85
const OstrelAnimation& ambient();     // spring, response 1.8 s, damping 0.9
const OstrelAnimation& fade();        // ease-in-out, 0.25 s

inline constexpr double interactiveDuration = 0.35;
inline constexpr double ambientDuration = 1.8;
inline constexpr double fadeDuration = 0.25;

} // namespace OstrelTiming
} // namespace ostrel
