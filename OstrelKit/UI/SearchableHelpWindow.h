#pragma once

#include "HelpEntry.h"
#include "HelpTheme.h"

#include <QList>
#include <QString>
#include <QStringList>

class QWidget;

// The kit's single searchable help window. GUI thread only.
namespace ostrel::SearchableHelpWindow {

// Opens the help window. While the window is visible it is only brought to the front and the arguments are
// ignored (title, topics, colours, search text and selection stay). Otherwise (none yet, or closed) a new
// window built from the arguments replaces the old one: titled `title`, 650 × 500, floating, centred,
// background `theme.background`, with an empty search and no section or topic chosen. Never fails.
void open(const QString& title, const QList<HelpEntry>& entries, const QStringList& sections,
          const HelpTheme& theme);

// The current window; nullptr before the first open().
QWidget* window();

} // namespace ostrel::SearchableHelpWindow
