#pragma once

#include <QByteArray>

#include <list>
#include <unordered_map>

namespace ostrel::pst {

// Least-recently-used pages and blocks, bounded by the bytes they hold.
// Keys are file offsets for pages and block ids for blocks, in separate
// key spaces. One owner thread; not synchronised.
class BlockCache {
public:
    // Enough for the blocks of a 20,000-row folder table, whose value heap is
    // read out of order: at 8 MiB a listing read most blocks twice or more.
    static constexpr qsizetype kDefaultBound = 32 * 1024 * 1024;  // 32 MiB

    enum class Kind : quint8 { Page, Block };

    explicit BlockCache(qsizetype bound = kDefaultBound) : m_bound(bound) {}

    const QByteArray *find(Kind kind, quint64 key);
    void insert(Kind kind, quint64 key, const QByteArray &bytes);

    qsizetype bytes() const { return m_bytes; }
    qsizetype bound() const { return m_bound; }
    qsizetype hits() const { return m_hits; }
    qsizetype misses() const { return m_misses; }

private:
    struct Entry {
        Kind kind;
        quint64 key;
        QByteArray bytes;
    };
    struct KeyHash {
        size_t operator()(const std::pair<Kind, quint64> &k) const
        {
            return std::hash<quint64>()(k.second) ^ (size_t(k.first) << 1);
        }
    };
    std::list<Entry> m_order;  // most recent first
    std::unordered_map<std::pair<Kind, quint64>, std::list<Entry>::iterator, KeyHash> m_index;
    qsizetype m_bound;
    qsizetype m_bytes = 0;
    qsizetype m_hits = 0;
    qsizetype m_misses = 0;
};

}  // namespace ostrel::pst
