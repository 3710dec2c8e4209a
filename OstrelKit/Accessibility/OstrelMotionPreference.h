#pragma once

#include <QObject>

#include <memory>

namespace ostrel {

class DesktopMotionSetting;

// The one switch that says whether the user wants reduced motion. It follows the desktop's option only
// (DesktopMotionSetting); it never reads the kit's "reducedMotion" preference key. An unknown desktop answer
// (no session bus, no settings portal) means motion is allowed. The shared instance is created on first
// access, reads the desktop value then, follows its change signal, and lives as long as the process.
// GUI thread only.
class OstrelMotionPreference : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool reduceMotion READ reduceMotion NOTIFY reduceMotionChanged)
public:
    static OstrelMotionPreference& shared();

    bool reduceMotion() const { return m_reduceMotion; }

    // Sets the value as if the desktop had reported it: the path a change notification takes, also used by
    // tests to drive views. Emits reduceMotionChanged when the value changes.
    void accessibilityChanged(bool reduceMotion);

signals:
    void reduceMotionChanged(bool reduceMotion);

private:
    OstrelMotionPreference();
    ~OstrelMotionPreference() override;

    std::unique_ptr<DesktopMotionSetting> m_desktop;
    bool m_reduceMotion = false;
};

} // namespace ostrel
