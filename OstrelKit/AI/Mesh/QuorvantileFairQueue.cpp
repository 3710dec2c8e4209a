#include "QuorvantileFairQueue.h"

namespace ostrel {

void QuorvantileFairQueue::push(quint64 id, const QString& origin, Lane lane)
{
    if (!m_where.emplace(id, lane).second) {
        return;
    }
    Line& l = line(lane);
    auto it = l.items.find(origin);
    if (it == l.items.end()) {
        it = l.items.insert(origin, {});
        l.turn.push_back(origin);
    }
    it->push_back(id);
    ++l.count;
    ++m_inLines;
}

void QuorvantileFairQueue::remove(quint64 id)
{
    // Left in its origin's line, where pop() drops it, until removed items outnumber the queued ones.
    const auto where = m_where.find(id);
    if (where != m_where.end()) {
        --line(where->second).count;
        m_where.erase(where);
    }
    if (m_inLines > 2 * m_where.size() + 64) {
        compact();
    }
}

void QuorvantileFairQueue::compact()
{
    m_inLines = 0;
    for (const Lane lane : {Lane::first, Lane::later}) {
        Line& l = line(lane);
        for (auto origin = l.turn.begin(); origin != l.turn.end();) {
            std::deque<quint64>& items = l.items[*origin];
            std::erase_if(items, [this, lane](quint64 id) {
                const auto where = m_where.find(id);
                return where == m_where.end() || where->second != lane;
            });
            if (items.empty()) {
                l.items.remove(*origin);
                origin = l.turn.erase(origin);
            } else {
                m_inLines += items.size();
                ++origin;
            }
        }
    }
}

std::optional<quint64> QuorvantileFairQueue::pop(Lane lane,
                                                 const std::function<bool(const QString&)>& canServe)
{
    Line& l = line(lane);
    for (auto origin = l.turn.begin(); origin != l.turn.end();) {
        std::deque<quint64>& items = l.items[*origin];
        while (!items.empty()) {
            const auto where = m_where.find(items.front());
            if (where != m_where.end() && where->second == lane) {
                break;
            }
            items.pop_front(); // removed meanwhile
            --m_inLines;
        }
        if (items.empty()) {
            l.items.remove(*origin);
            origin = l.turn.erase(origin);
            continue;
        }
        if (canServe && !canServe(*origin)) {
            ++origin;
            continue;
        }
        const quint64 id = items.front();
        items.pop_front();
        m_where.erase(id);
        --l.count;
        --m_inLines;
        const QString served = *origin;
        l.turn.erase(origin);
        if (items.empty()) {
            l.items.remove(served);
        } else {
            l.turn.push_back(served);
        }
        return id;
    }
    return std::nullopt;
}

void QuorvantileFairQueue::clear()
{
    m_first = {};
    m_later = {};
    m_where.clear();
    m_inLines = 0;
}

} // namespace ostrel
