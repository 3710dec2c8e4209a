#pragma once

#include "OstrelTerms.h"

#include <QList>
#include <QString>

class QWidget;

// The kit's single Terms window. GUI thread only.
namespace ostrel::OstrelTermsPanel {

// Opens the Terms window: the kit's sections (OstrelTerms::sections with the two flags) followed by
// `additionalSections`, titled "<appName> — Terms", 480 × 520 (minimum 400 × 300), floating, centred.
// Once the window exists every call only shows it again and brings it to the front; the arguments are then
// ignored, so the window keeps the title and sections of the first call. Never fails.
void show(const QString& appName, bool includeFairUse, bool includePrivacy,
          const QList<TermsSection>& additionalSections);

// The window, once the first show() made it; nullptr before.
QWidget* window();

} // namespace ostrel::OstrelTermsPanel
