#include "ConcordanceEntry.h"

namespace ostrel {

ConcordanceEntry::ConcordanceEntry(QString term, QString detail)
    : m_id(QUuid::createUuid())
    , m_term(std::move(term))
    , m_detail(std::move(detail))
{
}

} // namespace ostrel
