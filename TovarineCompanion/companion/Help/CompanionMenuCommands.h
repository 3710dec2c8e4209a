#pragma once

#include <QString>

#include <functional>

class QAction;
class QMenu;

// The Help menu's commands. Each only opens or raises a kit window, so repeating a command never opens a
// second copy. GUI thread only.
namespace tovarine::CompanionMenuCommands {

// Answers the cage engine's folder (empty when the build has none); asked each time the help window opens.
using EngineFolderProvider = std::function<QString()>;

// The actions install() adds, for callers that place them elsewhere too.
struct Actions
{
    QAction* help = nullptr;        // "tovarine Help…", Ctrl+? and F1
    QAction* concordance = nullptr; // "Concordance…", Ctrl+Alt+/
    QAction* terms = nullptr;       // "Terms…"
    QAction* about = nullptr;       // "About tovarine companion"
};

// Appends to `helpMenu`: "tovarine Help…", "Concordance…", a separator, "Terms…", a separator and
// "About tovarine companion" (this desktop has no application menu, so the About item lives here). The
// actions belong to the menu and their shortcuts work in every window of the application.
Actions install(QMenu* helpMenu, EngineFolderProvider engineFolder);

// The commands themselves.
void showHelp(const QString& engineFolder);
void showConcordance();
void showTerms();
void showAbout();

} // namespace tovarine::CompanionMenuCommands
