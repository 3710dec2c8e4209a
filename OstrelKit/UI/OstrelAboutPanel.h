#pragma once

#include "OstrelAboutModel.h"

class QWidget;

// The kit's single About window. GUI thread only.
namespace ostrel::OstrelAboutPanel {

// Opens the About window for a copy of `model`: titled "About <appName><appNameAccent>", 500 × 280, not
// resizable, floating, centred. Once the window exists, every call (also after the user closed it) shows
// that same window again and brings it to the front; the new model is ignored. Never fails.
void show(const OstrelAboutModel& model);

// The window, once the first show() made it; nullptr before.
QWidget* window();

} // namespace ostrel::OstrelAboutPanel
