#pragma once

#include "UserDefaults.h"

#include <QList>
#include <QMutex>
#include <QMutexLocker>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <random>

namespace ostrel {

// Hands out quotations at random without repeating one until every quotation of the asked pool was shown,
// remembering across launches which were shown: a set of positions stored under "<namespace>.shownIndices"
// in the user-defaults store (one set for all pools of the corpus). The caller groups positions into pools by
// a key of its own type.
// Any thread: quote() and resetTracking() hold the corpus's lock for their whole read-modify-write of the
// stored set (the store itself is safe to use from any thread). Corpora sharing a namespace share the history
// but not the lock. Nothing is reported: a malformed stored value counts as an empty history.
template <typename Key> class QuotationCorpus
{
public:
    using PoolMapping = std::function<QList<int>(const Key&)>;

    // Reads nothing from the store. `store` must outlive the corpus (the standard store by default).
    QuotationCorpus(QString ns, QStringList quotes, PoolMapping pool,
                    UserDefaults& store = UserDefaults::standard())
        : m_namespace(std::move(ns)), m_quotes(std::move(quotes)), m_poolMapping(std::move(pool)),
          m_store(store)
    {
    }

    // A quotation of `key`'s pool not shown yet (a new round of the pool once all were); from the whole list
    // when the pool is empty, leaving the history alone. Positions outside the list are ignored. The empty
    // text for an empty list.
    QString quote(const Key& key)
    {
        if (m_quotes.isEmpty()) {
            return {};
        }
        const QMutexLocker lock(&m_lock);
        QList<int> pool;
        for (int position : m_poolMapping(key)) {
            if (position >= 0 && position < m_quotes.size()) {
                pool << position;
            }
        }
        if (pool.isEmpty()) {
            return m_quotes.at(pickFrom(int(m_quotes.size())));
        }
        QSet<int> shown = loadShownIndices();
        QList<int> candidates;
        for (int position : pool) {
            if (!shown.contains(position)) {
                candidates << position;
            }
        }
        if (candidates.isEmpty()) {
            for (int position : pool) {
                shown.remove(position);
            }
            candidates = pool;
        }
        const int picked = candidates.at(pickFrom(int(candidates.size())));
        shown.insert(picked);
        saveShownIndices(shown);
        return m_quotes.at(picked);
    }

    // Any quotation of the whole list, ignoring pools and history; the empty text for an empty list.
    QString forceQuote() const
    {
        if (m_quotes.isEmpty()) {
            return {};
        }
        return m_quotes.at(pickFrom(int(m_quotes.size())));
    }

    // Forgets the history: every quotation counts as unshown again.
    void resetTracking()
    {
        const QMutexLocker lock(&m_lock);
        m_store.remove(shownKey());
    }

    QString shownKey() const { return m_namespace + QStringLiteral(".shownIndices"); }

private:
    static int pickFrom(int count)
    {
        thread_local std::mt19937 engine{std::random_device{}()};
        return std::uniform_int_distribution<int>(0, count - 1)(engine);
    }

    QSet<int> loadShownIndices() const
    {
        const QVariant stored = m_store.value(shownKey());
        if (!stored.isValid()) {
            return {};
        }
        // The settings file gives a list back as strings, and a one-element list as that element alone.
        const bool isList = stored.metaType() == QMetaType::fromType<QVariantList>() ||
                            stored.metaType() == QMetaType::fromType<QStringList>();
        const QVariantList elements = isList ? stored.toList() : QVariantList{stored};
        QSet<int> shown;
        for (const QVariant& element : elements) {
            const QMetaType type = element.metaType();
            bool ok = type == QMetaType::fromType<int>() || type == QMetaType::fromType<qlonglong>() ||
                      type == QMetaType::fromType<uint>() || type == QMetaType::fromType<QString>();
            const int position = ok ? element.toString().toInt(&ok) : 0;
            if (!ok) {
                return {}; // not entirely whole numbers: no history
            }
            shown.insert(position);
        }
        return shown;
    }

    void saveShownIndices(const QSet<int>& shown)
    {
        QVariantList list;
        for (int position : shown) {
            list << position;
        }
        m_store.setValue(shownKey(), list);
    }

    const QString m_namespace;
    const QStringList m_quotes;
    const PoolMapping m_poolMapping;
    UserDefaults& m_store;
    QMutex m_lock;
};

} // namespace ostrel
