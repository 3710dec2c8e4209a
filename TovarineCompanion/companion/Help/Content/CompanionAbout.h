#pragma once

#include "OstrelAboutModel.h"

// The About box content, built afresh for each About command. Any thread.
namespace tovarine::CompanionAbout {

ostrel::OstrelAboutModel aboutModel();

} // namespace tovarine::CompanionAbout
