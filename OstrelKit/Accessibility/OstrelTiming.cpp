#include "OstrelTiming.h"

#include <cmath>

namespace ostrel {

OstrelAnimation OstrelAnimation::spring(double responseS, double dampingFraction, double blendDurationS)
{
    OstrelAnimation a;
    a.kind = Kind::Spring;
    a.responseS = responseS;
    a.dampingFraction = dampingFraction;
    a.blendDurationS = blendDurationS;
    return a;
}

OstrelAnimation OstrelAnimation::easeInOut(double durationS)
{
    OstrelAnimation a;
    a.kind = Kind::EaseInOut;
    a.durationS = durationS;
    return a;
}

OstrelAnimation OstrelAnimation::repeatForever(bool reverse) const
{
    OstrelAnimation a = *this;
    a.repeatsForever = true;
    a.autoreverses = reverse;
    return a;
}

int OstrelAnimation::durationMs() const
{
    const double seconds = kind == Kind::Spring ? responseS : durationS;
    return int(std::lround(seconds * 1000.0));
}

QEasingCurve OstrelAnimation::easingCurve() const
{
    return QEasingCurve(kind == Kind::Spring ? QEasingCurve::OutCubic : QEasingCurve::InOutSine);
}

namespace OstrelTiming {

const OstrelAnimation& interactive()
{
    static const OstrelAnimation a = OstrelAnimation::spring(interactiveDuration, 0.85, 0.0);
    return a;
}

const OstrelAnimation& ambient()
{
    static const OstrelAnimation a = OstrelAnimation::spring(ambientDuration, 0.9, 0.0);
    return a;
}

const OstrelAnimation& fade()
{
    static const OstrelAnimation a = OstrelAnimation::easeInOut(fadeDuration);
    return a;
}

} // namespace OstrelTiming
} // namespace ostrel
