#include "OstrelRepeatingPulse.h"

namespace ostrel {

double OstrelRepeatingPulse::opacity(bool reduceMotion) const
{
    if (reduceMotion || m_active) {
        return 1.0;
    }
    return kDimOpacity;
}

void OstrelRepeatingPulse::appeared(bool reduceMotion)
{
    if (!reduceMotion) {
        m_active = true;
    }
}

void OstrelRepeatingPulse::reduceMotionChanged(bool reduceMotion)
{
    if (reduceMotion) {
        m_active = false;
    }
}

} // namespace ostrel
