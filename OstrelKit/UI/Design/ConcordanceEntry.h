#pragma once

#include <QString>
#include <QUuid>

namespace ostrel {

// One glossary term. Every construction draws a fresh `id`. Immutable; any thread.
class ConcordanceEntry
{
public:
    ConcordanceEntry(QString term, QString detail);

    const QUuid& id() const { return m_id; }
    const QString& term() const { return m_term; }
    const QString& detail() const { return m_detail; }

private:
    QUuid m_id;
    QString m_term;
    QString m_detail;
};

} // namespace ostrel
