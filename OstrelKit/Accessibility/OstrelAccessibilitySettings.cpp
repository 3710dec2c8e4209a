#include "OstrelAccessibilitySettings.h"

#include "DesktopAccessibilityReader.h"
#include "OstrelMotionPreference.h"

namespace ostrel {

OstrelAccessibilitySettings& OstrelAccessibilitySettings::shared()
{
    // Never released: views may observe it until the process ends.
    static auto* instance = new OstrelAccessibilitySettings();
    return *instance;
}

OstrelAccessibilitySettings::OstrelAccessibilitySettings()
{
    settingsChanged();
    connect(&DesktopAccessibilityReader::shared(), &DesktopAccessibilityReader::optionsChanged, this,
            &OstrelAccessibilitySettings::settingsChanged, Qt::QueuedConnection);
    connect(&OstrelMotionPreference::shared(), &OstrelMotionPreference::reduceMotionChanged, this,
            &OstrelAccessibilitySettings::settingsChanged, Qt::QueuedConnection);
}

void OstrelAccessibilitySettings::settingsChanged()
{
    const DesktopAccessibilityOptions options = DesktopAccessibilityReader::shared().options();
    const auto assign = [this](bool& field, bool value, void (OstrelAccessibilitySettings::*signal)(bool)) {
        if (field != value) {
            field = value;
            emit(this->*signal)(value);
        }
    };
    assign(m_increaseContrast, options.increaseContrast,
           &OstrelAccessibilitySettings::increaseContrastChanged);
    assign(m_reduceTransparency, options.reduceTransparency,
           &OstrelAccessibilitySettings::reduceTransparencyChanged);
    assign(m_reduceMotion, OstrelMotionPreference::shared().reduceMotion(),
           &OstrelAccessibilitySettings::reduceMotionChanged);
}

} // namespace ostrel
