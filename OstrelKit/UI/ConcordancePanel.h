#pragma once

#include "ConcordanceConfiguration.h"

class QWidget;

// The kit's single glossary panel. GUI thread only.
namespace ostrel::ConcordancePanel {

// Opens the glossary panel for `config`: titled "<appName> Concordance", 580 × 640 (minimum 480 × 400),
// floating, centred, background `config.backgroundColor`. Once the panel exists every call (also after the
// user closed it) shows that same panel again with its content and fold state and brings it to the front;
// the new configuration is ignored. Never fails.
void show(const ConcordanceConfiguration& config);

// The panel, once the first show() made it; nullptr before.
QWidget* window();

} // namespace ostrel::ConcordancePanel
