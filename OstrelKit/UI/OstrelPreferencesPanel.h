#pragma once

#include "OstrelPreferencesView.h"

#include <QString>

class QWidget;

// The single free-standing Preferences window (layout full). GUI thread only.
namespace ostrel::OstrelPreferencesPanel {

// Opens the window, titled "<appName> Preferences", 440 × 680 (at least 400 × 560), centred, with
// `appSpecific` (may be null; reparented) between the kit's sections and the reset section. Once the window
// exists every call only shows it again and brings it to the front; the arguments are then ignored and
// `appSpecific` is deleted. Closing only hides the window.
void show(const QString& appName, QWidget* appSpecific);

// The window, once the first show() made it; nullptr before.
QWidget* window();

} // namespace ostrel::OstrelPreferencesPanel

namespace ostrel {

// A settings window of the application's own: the form framed at exactly 440 × 680 in the given layout.
class OstrelSettingsScene : public QWidget
{
    Q_OBJECT
public:
    OstrelSettingsScene(const QString& appName, QWidget* appSpecific, OstrelPrefsLayout layout,
                        QWidget* parent = nullptr);
};

} // namespace ostrel
