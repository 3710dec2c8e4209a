#include "OstrelMotionPreference.h"

#include "DesktopAccessibilityReader.h"
#include "PrefsKey.h"
#include "UserDefaults.h"

namespace ostrel {

OstrelMotionPreference& OstrelMotionPreference::shared()
{
    // Never released: views may observe it until the process ends.
    static auto* instance = new OstrelMotionPreference();
    return *instance;
}

OstrelMotionPreference::OstrelMotionPreference()
{
    auto& reader = DesktopAccessibilityReader::shared();
    auto& store = UserDefaults::standard();
    m_systemReduceMotion = reader.options().reduceMotion;
    m_storedReduceMotion = store.boolean(PrefsKey::reducedMotion, false);
    // Applied on a later turn of the event loop, never inside the dispatch that reported it.
    connect(&reader, &DesktopAccessibilityReader::optionsChanged, this,
            [this] { accessibilityChanged(DesktopAccessibilityReader::shared().options().reduceMotion); },
            Qt::QueuedConnection);
    connect(&store, &UserDefaults::changed, this, [this](const QString& key) {
        if (key == PrefsKey::reducedMotion) {
            update(m_systemReduceMotion, UserDefaults::standard().boolean(PrefsKey::reducedMotion, false));
        }
    });
}

void OstrelMotionPreference::accessibilityChanged(bool systemReduceMotion)
{
    update(systemReduceMotion, m_storedReduceMotion);
}

void OstrelMotionPreference::update(bool systemReduceMotion, bool storedReduceMotion)
{
    const bool before = reduceMotion();
    m_systemReduceMotion = systemReduceMotion;
    m_storedReduceMotion = storedReduceMotion;
    if (reduceMotion() != before) {
        emit reduceMotionChanged(reduceMotion());
    }
}

} // namespace ostrel
