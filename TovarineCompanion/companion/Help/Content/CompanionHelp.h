#pragma once

#include "ConcordanceConfiguration.h"
#include "HelpEntry.h"

#include <QList>
#include <QString>
#include <QStringList>

// The application's help content: the topics of the help window, the glossary of the Concordance panel and
// the licence notices of the cage engine's components. Every call but helpSections() builds fresh records
// (new identifiers). Any thread.
namespace tovarine::CompanionHelp {

// The help window's sections, in order.
QStringList helpSections();

// The 13 general topics, in display order.
QList<ostrel::HelpEntry> baseEntries();

// The 4 cage topics (section "Morvel").
QList<ostrel::HelpEntry> morvelEntries();

// Section "Licences": one fixed topic, then eleven topics whose bodies are files read from `engineFolder`
// (the cage engine's folder; empty when the build has none). A missing folder, a missing file or text that
// is not UTF-8 gives the body "Not found in this build: <relative path>" for that topic only.
QList<ostrel::HelpEntry> licenceEntries(const QString& engineFolder);

// The relative paths of the eleven licence files, in topic order.
QStringList licenceFiles();

// The glossary panel's configuration: six sections, 22 terms.
ostrel::ConcordanceConfiguration concordanceConfig();

// The application's version text, shared by the glossary and the About box.
QString versionString();

// The maker's web domain shown in the glossary's footer tagline.
QString makerDomain();

} // namespace tovarine::CompanionHelp
