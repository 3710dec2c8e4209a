#include "CompanionMenuCommands.h"

#include "CompanionAbout.h"
#include "CompanionHelp.h"
#include "ConcordancePanel.h"
#include "HelpTheme.h"
#include "OstrelAboutPanel.h"
#include "OstrelTermsPanel.h"
#include "SearchableHelpWindow.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>

namespace tovarine::CompanionMenuCommands {

void showHelp(const QString& engineFolder)
{
    QList<ostrel::HelpEntry> entries = CompanionHelp::baseEntries();
    entries.append(CompanionHelp::morvelEntries());
    entries.append(CompanionHelp::licenceEntries(engineFolder));
    ostrel::SearchableHelpWindow::open(QStringLiteral("tovarine Help"), entries, CompanionHelp::helpSections(),
                                       ostrel::HelpTheme::defaultTheme());
}

void showConcordance()
{
    ostrel::ConcordancePanel::show(CompanionHelp::concordanceConfig());
}

void showTerms()
{
    ostrel::OstrelTermsPanel::show(QStringLiteral("tovarine"), false, false, {});
}

void showAbout()
{
    ostrel::OstrelAboutPanel::show(CompanionAbout::aboutModel());
}

Actions install(QMenu* helpMenu, EngineFolderProvider engineFolder)
{
    Actions actions;
    actions.help = helpMenu->addAction(QStringLiteral("tovarine Help\u2026"));
    actions.help->setObjectName(QStringLiteral("helpAction"));
    // Ctrl+? is Ctrl+Shift+/ on common layouts, so the glossary cannot have that one too: it gets Ctrl+Alt+/.
    actions.help->setShortcuts({QKeySequence(QStringLiteral("Ctrl+?")), QKeySequence(Qt::Key_F1)});
    QObject::connect(actions.help, &QAction::triggered, helpMenu, [provider = std::move(engineFolder)] {
        showHelp(provider ? provider() : QString());
    });

    actions.concordance = helpMenu->addAction(QStringLiteral("Concordance\u2026"));
    actions.concordance->setObjectName(QStringLiteral("concordanceAction"));
    actions.concordance->setShortcut(QKeySequence(QStringLiteral("Ctrl+Alt+/")));
    QObject::connect(actions.concordance, &QAction::triggered, helpMenu, [] { showConcordance(); });

    helpMenu->addSeparator();
    actions.terms = helpMenu->addAction(QStringLiteral("Terms\u2026"));
    actions.terms->setObjectName(QStringLiteral("termsAction"));
    QObject::connect(actions.terms, &QAction::triggered, helpMenu, [] { showTerms(); });

    helpMenu->addSeparator();
    actions.about = helpMenu->addAction(QStringLiteral("About tovarine companion"));
    actions.about->setObjectName(QStringLiteral("aboutAction"));
    actions.about->setMenuRole(QAction::AboutRole);
    QObject::connect(actions.about, &QAction::triggered, helpMenu, [] { showAbout(); });

    for (QAction* action : {actions.help, actions.concordance, actions.terms, actions.about}) {
        action->setShortcutContext(Qt::ApplicationShortcut);
    }
    return actions;
}

} // namespace tovarine::CompanionMenuCommands
