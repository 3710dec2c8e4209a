#pragma once

#include <QObject>

namespace ostrel {

// The one switch that says whether the user wants reduced motion: on while the desktop's reduce-motion option
// is on (DesktopAccessibilityReader) or the kit's "reducedMotion" preference is stored true, so the
// Preferences window's switch takes effect. The shared instance is created on first access, binds to the
// shared accessibility reader and the standard user-defaults store then, and lives as long as the process.
// GUI thread only.
class OstrelMotionPreference : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool reduceMotion READ reduceMotion NOTIFY reduceMotionChanged)
public:
    static OstrelMotionPreference& shared();

    bool reduceMotion() const { return m_systemReduceMotion || m_storedReduceMotion; }

    // Takes the desktop's value as if the reader had reported it: the path a change notification takes, also
    // used by tests to drive views. Emits reduceMotionChanged when reduceMotion() changes.
    void accessibilityChanged(bool systemReduceMotion);

signals:
    void reduceMotionChanged(bool reduceMotion);

private:
    OstrelMotionPreference();
    void update(bool systemReduceMotion, bool storedReduceMotion);

    bool m_systemReduceMotion = false;
    bool m_storedReduceMotion = false;
};

} // namespace ostrel
