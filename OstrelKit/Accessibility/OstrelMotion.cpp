#include "OstrelMotion.h"

namespace ostrel {

std::optional<OstrelAnimation> effectiveAnimation(const std::optional<OstrelAnimation>& animation,
                                                  bool reduceMotion)
{
    if (reduceMotion) {
        return std::nullopt;
    }
    return animation;
}

OstrelAnimation ostrelFade(double durationS)
{
    return OstrelAnimation::easeInOut(durationS);
}

OstrelAnimation ostrelReducedTransition()
{
    return OstrelTiming::fade();
}

bool fidgetUIAllowed()
{
    return !OstrelMotionPreference::shared().reduceMotion();
}

bool loopingAnimationAllowed()
{
    return fidgetUIAllowed();
}

} // namespace ostrel
