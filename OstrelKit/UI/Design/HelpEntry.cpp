#include "HelpEntry.h"

namespace ostrel {

HelpEntry::HelpEntry(QString title, QString body, QString section, std::optional<QString> shortcut,
                     std::optional<QString> location)
    : m_id(QUuid::createUuid())
    , m_title(std::move(title))
    , m_body(std::move(body))
    , m_section(std::move(section))
    , m_shortcut(std::move(shortcut))
    , m_location(std::move(location))
{
}

bool HelpEntry::matches(const QString& query) const
{
    // QString::toLower is the locale-independent Unicode mapping.
    const QString q = query.toLower();
    const auto has = [&q](const QString& field) { return field.toLower().contains(q); };
    return has(m_title) || has(m_body) || has(m_section) || (m_shortcut && has(*m_shortcut))
        || (m_location && has(*m_location));
}

} // namespace ostrel
