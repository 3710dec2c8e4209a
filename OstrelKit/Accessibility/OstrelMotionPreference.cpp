#include "OstrelMotionPreference.h"

#include "DesktopMotionSetting.h"

namespace ostrel {

OstrelMotionPreference& OstrelMotionPreference::shared()
{
    // Never released: views may observe it until the process ends.
    static auto* instance = new OstrelMotionPreference();
    return *instance;
}

OstrelMotionPreference::OstrelMotionPreference()
    : m_desktop(std::make_unique<DesktopMotionSetting>())
    , m_reduceMotion(m_desktop->readReduceMotion().value_or(false))
{
    // Applied on a later turn of the event loop, never inside the D-Bus dispatch that reported it.
    connect(m_desktop.get(), &DesktopMotionSetting::reduceMotionChanged, this,
            &OstrelMotionPreference::accessibilityChanged, Qt::QueuedConnection);
}

OstrelMotionPreference::~OstrelMotionPreference() = default;

void OstrelMotionPreference::accessibilityChanged(bool reduceMotion)
{
    if (reduceMotion == m_reduceMotion) {
        return;
    }
    m_reduceMotion = reduceMotion;
    emit reduceMotionChanged(m_reduceMotion);
}

} // namespace ostrel
