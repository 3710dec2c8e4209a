#pragma once

#include <QString>
#include <QUuid>

#include <optional>

namespace ostrel {

// One help topic. Immutable once built; every construction draws a fresh `id`, so two topics built from
// equal texts are different topics (separate rows, separate selection). Any thread.
class HelpEntry
{
public:
    HelpEntry(QString title, QString body, QString section, std::optional<QString> shortcut = std::nullopt,
              std::optional<QString> location = std::nullopt);

    const QUuid& id() const { return m_id; }
    const QString& title() const { return m_title; }
    const QString& body() const { return m_body; }
    const QString& section() const { return m_section; }
    const std::optional<QString>& shortcut() const { return m_shortcut; }
    const std::optional<QString>& location() const { return m_location; }

    // Whether the lowercased query occurs in the lowercased title, body, section, shortcut or location
    // (tested in that order; absent optional fields are skipped). The query is used as given: not trimmed.
    // An empty query matches every topic.
    bool matches(const QString& query) const;

private:
    QUuid m_id;
    QString m_title;
    QString m_body;
    QString m_section;
    std::optional<QString> m_shortcut;
    std::optional<QString> m_location;
};

} // namespace ostrel
