#pragma once

namespace ostrel {

// The rules of a looping opacity pulse, one per shown view: it pulses between 0.7 and 1.0 while motion is
// allowed, stands at full opacity under reduce motion, and does not restart on a view that is already shown
// when reduce motion is switched off again (it then stands at 0.7 until the view next appears).
// The view owning it runs the actual loop while looping() is true. GUI thread only.
class OstrelRepeatingPulse
{
public:
    static constexpr double kDimOpacity = 0.7;

    // The opacity the view shows at rest in the current state (the loop animates from it towards 1.0).
    double opacity(bool reduceMotion) const;

    // The view came on screen: the loop starts when motion is allowed.
    void appeared(bool reduceMotion);

    // The reduce-motion option changed while the view is shown: switching it on stops the loop.
    void reduceMotionChanged(bool reduceMotion);

    bool looping() const { return m_active; }

private:
    bool m_active = false;
};

} // namespace ostrel
