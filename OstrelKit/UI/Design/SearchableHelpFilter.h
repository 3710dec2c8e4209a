#pragma once

#include "HelpEntry.h"

#include <QList>
#include <QString>

#include <optional>

// The help window's filter: which topics the list shows for a search text and a section choice.
// Pure functions; any thread.
namespace ostrel::SearchableHelpFilter {

// Topics that pass both filters, in the caller's order (no sorting, ranking or removal of duplicates):
// an empty `searchText` passes every topic, otherwise the topic must match it (HelpEntry::matches, text used
// as typed); an absent `selectedSection` passes every topic, otherwise the topic's section must equal it
// exactly (case-sensitive).
QList<HelpEntry> filteredEntries(const QList<HelpEntry>& entries, const QString& searchText,
                                 const std::optional<QString>& selectedSection);

} // namespace ostrel::SearchableHelpFilter
