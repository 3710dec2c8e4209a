#pragma once

#include <QHash>
#include <QString>
#include <deque>
#include <functional>
#include <list>
#include <optional>
#include <unordered_map>

namespace ostrel {

// Work waiting for a place (a connection, a probe), served so that no machine's waiting work stands in front
// of another machine's: each item has an origin (the machine it concerns, e.g. its address) and the origins
// take turns, one item each, oldest item of an origin first. Items come in two lanes: `first` for work that
// is new or has produced something before, `later` for work that failed before or never produced anything; a
// `later` item is served only while no `first` item can be. Plain data, no signals; any one thread.
class QuorvantileFairQueue
{
public:
    enum class Lane { first, later };

    // Adds `id` (not queued yet) at the end of its origin's line in `lane`.
    void push(quint64 id, const QString& origin, Lane lane);
    // Takes `id` out, wherever it waits; nothing when it does not.
    void remove(quint64 id);
    // The next item of `lane` in turn whose origin `canServe` accepts (all when empty), taken out of the
    // queue; the origin served goes to the back of the turn. Nothing when no origin of the lane can be
    // served.
    std::optional<quint64> pop(Lane lane, const std::function<bool(const QString& origin)>& canServe = {});
    bool contains(quint64 id) const { return m_where.count(id) > 0; }
    bool empty(Lane lane) const { return line(lane).count == 0; }
    int size() const { return static_cast<int>(m_where.size()); }
    void clear();

private:
    struct Line
    {
        std::list<QString> turn; // origins with waiting items, next in turn first
        QHash<QString, std::deque<quint64>> items;
        int count = 0; // items of this lane still queued
    };
    void compact();
    Line& line(Lane lane) { return lane == Lane::first ? m_first : m_later; }
    const Line& line(Lane lane) const { return lane == Lane::first ? m_first : m_later; }

    Line m_first;
    Line m_later;
    // Queued items and their lane; removed items are dropped from their origin's line when they reach its
    // front.
    std::unordered_map<quint64, Lane> m_where;
    size_t m_inLines = 0; // entries in the lines, removed ones included
};

} // namespace ostrel
