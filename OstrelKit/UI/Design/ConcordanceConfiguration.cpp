#include "ConcordanceConfiguration.h"

namespace ostrel {

std::optional<QString> ConcordanceConfiguration::initiallyExpanded() const
{
    if (sections.isEmpty()) {
        return std::nullopt;
    }
    return sections.first().title;
}

int ConcordanceConfiguration::entryCount() const
{
    qsizetype count = 0;
    for (const ConcordanceSection& section : sections) {
        count += section.entries.size();
    }
    return int(count);
}

QString ConcordanceConfiguration::countLine() const
{
    return appName + u' ' + version + QStringLiteral("  \u00B7  ") + QString::number(sections.size())
        + QStringLiteral(" sections  \u00B7  ") + QString::number(entryCount()) + QStringLiteral(" entries");
}

} // namespace ostrel
