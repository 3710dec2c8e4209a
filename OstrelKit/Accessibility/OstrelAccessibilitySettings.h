#pragma once

#include <QObject>

namespace ostrel {

// The desktop's accessibility display options in one shared object, for views that adapt colours, materials
// or motion to them. increaseContrast follows the desktop reader; reduceTransparency is always false (no
// Linux desktop publishes such an option); reduceMotion is the kit's motion switch (the desktop option or the
// stored "reducedMotion" preference). Created on first access, then re-read on every change the reader
// reports, on a later turn of the event loop; lives as long as the process. GUI thread only.
class OstrelAccessibilitySettings : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool increaseContrast READ increaseContrast NOTIFY increaseContrastChanged)
    Q_PROPERTY(bool reduceTransparency READ reduceTransparency NOTIFY reduceTransparencyChanged)
    Q_PROPERTY(bool reduceMotion READ reduceMotion NOTIFY reduceMotionChanged)
public:
    static OstrelAccessibilitySettings& shared();

    bool increaseContrast() const { return m_increaseContrast; }
    bool reduceTransparency() const { return m_reduceTransparency; }
    bool reduceMotion() const { return m_reduceMotion; }

    // Re-reads the three options and assigns them in the order increase contrast, reduce transparency,
    // reduce motion; each assignment that changes a value emits its signal.
    void settingsChanged();

signals:
    void increaseContrastChanged(bool on);
    void reduceTransparencyChanged(bool on);
    void reduceMotionChanged(bool on);

private:
    OstrelAccessibilitySettings();

    bool m_increaseContrast = false;
    bool m_reduceTransparency = false;
    bool m_reduceMotion = false;
};

} // namespace ostrel
