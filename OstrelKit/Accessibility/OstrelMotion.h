#pragma once

#include "OstrelMotionPreference.h"
#include "OstrelTiming.h"

#include <optional>
#include <utility>

// The kit's motion rules for decorative animation. Views animate through these so that, with the desktop's
// reduce-motion option on, state changes happen at once and looping effects stand still. GUI thread only
// (they read OstrelMotionPreference::shared()).
namespace ostrel {

// The animation to use for a change requested with `animation`: none when `reduceMotion` is on.
std::optional<OstrelAnimation> effectiveAnimation(const std::optional<OstrelAnimation>& animation,
                                                  bool reduceMotion);

// Runs `body` with the animation it should use for its changes (absent under reduce motion, when the body
// must apply its changes directly) and returns the body's result; exceptions pass through unchanged.
template <typename Body>
decltype(auto) withOstrelAnimation(const std::optional<OstrelAnimation>& animation, Body&& body)
{
    const auto effective = effectiveAnimation(animation, OstrelMotionPreference::shared().reduceMotion());
    return std::forward<Body>(body)(effective);
}

// The fade used for insertions and removals: ease-in-out of `durationS` seconds. Not gated by reduce motion.
OstrelAnimation ostrelFade(double durationS);

// The kit's transition for reduced motion: a plain opacity fade at the fade timing.
OstrelAnimation ostrelReducedTransition();

// True while reduce motion is off.
bool fidgetUIAllowed();
// Same test and result as fidgetUIAllowed().
bool loopingAnimationAllowed();

} // namespace ostrel
