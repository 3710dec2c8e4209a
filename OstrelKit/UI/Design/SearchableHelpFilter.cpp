#include "SearchableHelpFilter.h"

namespace ostrel::SearchableHelpFilter {

QList<HelpEntry> filteredEntries(const QList<HelpEntry>& entries, const QString& searchText,
                                 const std::optional<QString>& selectedSection)
{
    QList<HelpEntry> kept;
    for (const HelpEntry& entry : entries) {
        const bool searchPasses = searchText.isEmpty() || entry.matches(searchText);
        const bool sectionPasses = !selectedSection || entry.section() == *selectedSection;
        if (searchPasses && sectionPasses) {
            kept.append(entry);
        }
    }
    return kept;
}

} // namespace ostrel::SearchableHelpFilter
